#include "app/charts/StatsCollapseButton.h"

#include "app/charts/Palette.h"
#include "app/charts/Typography.h"
#include "app/icons/SymbolIcon.h"
#include "text/Localization.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPropertyAnimation>
#include <QVariantAnimation>

namespace quillfern {

namespace {

QFont chevronFont()
{
    return systemFont(StatsCollapseButton::chevronPixelSize, QFont::DemiBold);
}

QFont textFont()
{
    return systemFont(StatsCollapseButton::textPixelSize, QFont::Medium);
}

} // namespace

CollapseButtonLabel collapseButtonLabel(bool expanded, QStringView languageCode)
{
    if (expanded)
        return {QStringLiteral("chevron.up"), AppText::value(u"hideStatistics", languageCode),
                AppText::value(u"collapseStatistics", languageCode)};
    return {QStringLiteral("chevron.down"), AppText::value(u"showStatistics", languageCode),
            AppText::value(u"expandStatistics", languageCode)};
}

StatsCollapseButton::StatsCollapseButton(QWidget *parent)
    : QAbstractButton(parent), m_animation(new QVariantAnimation(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    m_animation->setDuration(int(statsAnimationDuration.count()));
    m_animation->setEasingCurve(statsAnimationCurve);
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { setChevronTurn(value.toReal()); });
    connect(this, &QAbstractButton::clicked, this, &StatsCollapseButton::toggle);
    showState(true);
}

void StatsCollapseButton::bind(std::function<bool()> read, std::function<void(bool)> write)
{
    m_read = std::move(read);
    m_write = std::move(write);
    refresh();
}

bool StatsCollapseButton::isExpanded() const
{
    return m_read ? m_read() : true;
}

void StatsCollapseButton::refresh()
{
    const bool expanded = isExpanded();
    const qreal target = expanded ? 0 : 1;
    // A change this button made itself is already turning the chevron; let it finish.
    if (m_animation->state() == QAbstractAnimation::Running && m_animation->endValue().toReal() == target) {
        showState(expanded);
        return;
    }
    m_animation->stop();
    setChevronTurn(target);
    showState(expanded);
}

void StatsCollapseButton::setLanguageCode(const QString &languageCode)
{
    if (m_language == languageCode)
        return;
    m_language = languageCode;
    showState(isExpanded());
}

void StatsCollapseButton::toggle()
{
    if (!m_write)
        return;
    const bool expanded = !isExpanded();
    m_animation->stop();
    m_animation->setStartValue(m_turn);
    m_animation->setEndValue(expanded ? 0.0 : 1.0);
    m_animation->start();
    m_write(expanded);
    showState(isExpanded());
}

void StatsCollapseButton::showState(bool expanded)
{
    const CollapseButtonLabel label = collapseButtonLabel(expanded, m_language);
    if (text() != label.text) {
        setText(label.text);
        updateGeometry();
    }
    setToolTip(label.toolTip);
    setAccessibleName(label.text);
    update();
}

void StatsCollapseButton::setChevronTurn(qreal turn)
{
    if (qFuzzyCompare(1 + m_turn, 1 + turn))
        return;
    m_turn = turn;
    update();
}

QRect StatsCollapseButton::labelRect() const
{
    const int textWidth = QFontMetrics(textFont()).horizontalAdvance(text());
    const int width = chevronPixelSize + labelGap + textWidth;
    return QRect((this->width() - width) / 2, 0, width, height());
}

QSize StatsCollapseButton::sizeHint() const
{
    const int height = qMax(QFontMetrics(textFont()).height(), QFontMetrics(chevronFont()).height()) + 8;
    return {labelRect().width() + 2 * (lineGap + 40), height};
}

QSize StatsCollapseButton::minimumSizeHint() const
{
    return {labelRect().width(), sizeHint().height()};
}

bool StatsCollapseButton::hitButton(const QPoint &position) const
{
    return labelRect().adjusted(-6, 0, 6, 0).contains(position);
}

void StatsCollapseButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect label = labelRect();
    const int middle = height() / 2;

    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::separator(palette()));
    painter.drawRect(QRect(0, middle, qMax(0, label.left() - lineGap), 1));
    const int rightStart = label.right() + 1 + lineGap;
    painter.drawRect(QRect(rightStart, middle, qMax(0, width() - rightStart), 1));

    const QColor ink = underMouse() || hasFocus() ? Palette::primaryText(palette()) : Palette::secondaryText(palette());
    // At rest the symbol of the state is drawn as it stands; while turning, the up chevron rotates.
    const bool resting = m_turn <= 0 || m_turn >= 1;
    const QString symbol = resting ? collapseButtonLabel(m_turn <= 0, m_language).symbol : QStringLiteral("chevron.up");
    const QRectF chevron(label.left(), middle - chevronPixelSize / 2.0, chevronPixelSize, chevronPixelSize);
    painter.save();
    if (!resting) {
        painter.translate(chevron.center());
        painter.rotate(180 * m_turn);
        painter.translate(-chevron.center());
    }
    symbolIcon(symbol, ink).paint(&painter, chevron.toAlignedRect());
    painter.restore();

    painter.setPen(ink);
    painter.setFont(textFont());
    painter.drawText(
        QRect(label.left() + chevronPixelSize + labelGap, 0, label.width() - chevronPixelSize - labelGap, height()),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}

void revealAnimated(QWidget *area, bool shown)
{
    auto *running =
        area->findChild<QPropertyAnimation *>(QStringLiteral("revealAnimation"), Qt::FindDirectChildrenOnly);
    if (running)
        running->stop();
    else {
        running = new QPropertyAnimation(area, "maximumHeight", area);
        running->setObjectName(QStringLiteral("revealAnimation"));
        running->setDuration(int(statsAnimationDuration.count()));
        running->setEasingCurve(statsAnimationCurve);
    }
    QObject::disconnect(running, &QAbstractAnimation::finished, nullptr, nullptr);
    const int from = area->isVisible() ? area->height() : 0;
    const int to = shown ? area->sizeHint().height() : 0;
    running->setStartValue(from);
    running->setEndValue(to);
    QObject::connect(running, &QAbstractAnimation::finished, area, [area, shown] {
        area->setVisible(shown);
        area->setMaximumHeight(QWIDGETSIZE_MAX);
    });
    // Without a window on screen there is nothing to watch; the area takes its final state at once.
    if (!area->window()->isVisible()) {
        area->setMaximumHeight(QWIDGETSIZE_MAX);
        area->setVisible(shown);
        return;
    }
    area->setMaximumHeight(from);
    area->setVisible(true);
    running->start();
}

} // namespace quillfern
