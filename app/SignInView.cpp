#include "app/SignInView.h"

#include "app/icons/SymbolIcon.h"
#include "app/table/TableStyle.h"
#include "auth/AuthManager.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillfern {

namespace {

// The centred card: control background, rounded, outlined, with a soft shadow.
class SignInCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath card;
        card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 20, 20);
        painter.fillPath(card, palette().color(QPalette::Base));
        QPen outline(table::separator(palette()));
        outline.setWidthF(1);
        painter.setPen(outline);
        painter.drawPath(card);
    }
};

QLabel *line(const QString &text, int pixels, QFont::Weight weight, const QColor &colour, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(table::uiFont(pixels, weight));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    QPalette tinted = label->palette();
    tinted.setColor(QPalette::WindowText, colour);
    label->setPalette(tinted);
    return label;
}

} // namespace

SignInView::SignInView(AuthManager &auth, QWidget *parent)
    : QWidget(parent), m_auth(auth), m_signIn(new QPushButton(this)), m_stopWaiting(new QPushButton(this))
{
    auto *card = new SignInCard(this);
    // A fixed width lets the wrapped lines below claim the height they need.
    card->setFixedWidth(360);
    auto *shadow = new QGraphicsDropShadowEffect(card);
    shadow->setBlurRadius(30);
    shadow->setOffset(0, 8);
    shadow->setColor(QColor(0, 0, 0, 20));
    card->setGraphicsEffect(shadow);

    const QPalette &pal = palette();
    auto *mark = new QLabel(card);
    mark->setPixmap(
        symbolIcon(QStringLiteral("chart.line.uptrend.xyaxis.circle.fill"), table::green(pal)).pixmap(64, 64));
    mark->setAlignment(Qt::AlignCenter);
    mark->setMinimumHeight(64);
    auto *welcome = line(QStringLiteral("Welcome to Quillfern"), 30, QFont::Bold, table::primaryText(pal), card);
    welcome->setWordWrap(false);
    // The title stays on one line: it shrinks a little where the font runs wider than the card.
    for (int pixels = 30; pixels > 20 && welcome->sizeHint().width() > 360 - 2 * 48; --pixels)
        welcome->setFont(table::uiFont(pixels, QFont::Bold));
    auto *pitch = line(QStringLiteral("Sign in to securely access your portfolio."), 15, QFont::Normal,
                       table::secondaryText(pal), card);
    m_waiting = line(QStringLiteral("Finish signing in in your browser; Quillfern continues when you come back."), 12,
                     QFont::Normal, table::secondaryText(pal), card);
    m_error = line(QString(), 12, QFont::Normal, table::red(pal), card);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *footnote = line(QStringLiteral("Authentication is handled by Google. Quillfern never sees your password."),
                          11, QFont::Normal, table::secondaryText(pal), card);

    m_signIn->setObjectName(QStringLiteral("signIn"));
    m_stopWaiting->setObjectName(QStringLiteral("stopWaiting"));
    m_error->setObjectName(QStringLiteral("signInError"));
    m_signIn->setDefault(true);
    m_signIn->setFixedSize(250, 44);
    m_signIn->setFont(table::uiFont(15, QFont::DemiBold));
    m_stopWaiting->setText(QStringLiteral("Stop Waiting"));
    m_stopWaiting->setFlat(true);

    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(48, 48, 48, 48);
    column->setSpacing(24);
    column->addWidget(mark);
    column->addWidget(welcome);
    column->addWidget(pitch);
    column->addWidget(m_signIn, 0, Qt::AlignHCenter);
    column->addWidget(m_waiting);
    column->addWidget(m_stopWaiting, 0, Qt::AlignHCenter);
    column->addWidget(m_error);
    column->addWidget(footnote);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(card, 0, Qt::AlignHCenter);
    layout->addStretch();

    connect(m_signIn, &QPushButton::clicked, &m_auth, &AuthManager::signInWithGoogle);
    connect(m_stopWaiting, &QPushButton::clicked, &m_auth, &AuthManager::cancelSignIn);
    connect(&m_auth, &AuthManager::isSigningInChanged, this, &SignInView::refresh);
    connect(&m_auth, &AuthManager::errorMessageChanged, this, &SignInView::refresh);
    refresh();
}

void SignInView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient wash(rect().topLeft(), rect().bottomRight());
    wash.setColorAt(0, table::withOpacity(table::green(palette()), 0.14));
    wash.setColorAt(0.5, table::withOpacity(table::blue(palette()), 0.08));
    wash.setColorAt(1, Qt::transparent);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.fillRect(rect(), wash);
}

void SignInView::refresh()
{
    const bool signingIn = m_auth.isSigningIn();
    // The browser may be left open for good: the button shows the wait, and stopping it is offered.
    m_signIn->setText(signingIn ? QStringLiteral("Opening Google\u2026") : QStringLiteral("G   Continue with Google"));
    m_signIn->setEnabled(!signingIn);
    m_waiting->setVisible(signingIn);
    m_stopWaiting->setVisible(signingIn);
    m_error->setText(m_auth.errorMessage().value_or(QString()));
    m_error->setVisible(m_auth.errorMessage().has_value());
}

} // namespace quillfern
