#include "app/table/AddTableButton.h"

#include "app/icons/SymbolIcon.h"
#include "app/table/TableStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace quillfern::table {

AddTableButton::AddTableButton(const QString &title, QWidget *parent) : QToolButton(parent)
{
    setText(title);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIcon(symbolIcon(QStringLiteral("plus"), green(palette())));
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(30);
}

QSize AddTableButton::sizeHint() const
{
    const QSize content = QToolButton::sizeHint();
    return QSize(fontMetrics().horizontalAdvance(text()) + iconSize().width() + 6 + 24, 30)
        .expandedTo(QSize(content.width(), 30));
}

void AddTableButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = green(palette());
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.fillPath(shape, withOpacity(colour, isDown() ? 0.3 : (underMouse() ? 0.24 : 0.18)));
    if (hasFocus()) {
        // Reached by Tab, the button shows a ring as the other controls do.
        QPainterPath ring;
        ring.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawPath(ring);
    } else {
        QPen outline(withOpacity(colour, 0.35));
        outline.setWidthF(1);
        painter.setPen(outline);
        painter.drawPath(shape);
    }

    const QSize iconArea = iconSize();
    const int textWidth = fontMetrics().horizontalAdvance(text());
    const int total = iconArea.width() + 6 + textWidth;
    int x = (width() - total) / 2;
    icon().paint(&painter, QRect(QPoint(x, (height() - iconArea.height()) / 2), iconArea), Qt::AlignCenter,
                 isEnabled() ? QIcon::Normal : QIcon::Disabled);
    x += iconArea.width() + 6;
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(QRect(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
}

} // namespace quillfern::table
