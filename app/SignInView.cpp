#include "app/SignInView.h"

#include "app/icons/SymbolIcon.h"
#include "app/table/TableStyle.h"
#include "auth/AuthManager.h"
#include "auth/SignInPrompt.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
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

constexpr int cardWidth = 360;
constexpr int cardMargin = 48;

QLabel *line(int pixels, QFont::Weight weight, const QColor &colour, QWidget *parent)
{
    auto *label = new QLabel(parent);
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
    card->setFixedWidth(cardWidth);
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
    m_welcome = line(30, QFont::Bold, table::primaryText(pal), card);
    m_pitch = line(15, QFont::Normal, table::secondaryText(pal), card);
    m_waiting = line(12, QFont::Normal, table::secondaryText(pal), card);
    m_error = line(12, QFont::Normal, table::red(pal), card);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_footnote = line(11, QFont::Normal, table::secondaryText(pal), card);

    m_signIn->setObjectName(QStringLiteral("signIn"));
    m_stopWaiting->setObjectName(QStringLiteral("stopWaiting"));
    m_error->setObjectName(QStringLiteral("signInError"));
    m_signIn->setDefault(true);
    m_signIn->setFixedSize(250, 44);
    m_signIn->setFont(table::uiFont(15, QFont::DemiBold));
    m_stopWaiting->setFlat(true);

    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(cardMargin, cardMargin, cardMargin, cardMargin);
    column->setSpacing(24);
    column->addWidget(mark);
    column->addWidget(m_welcome);
    column->addWidget(m_pitch);
    column->addWidget(m_signIn, 0, Qt::AlignHCenter);
    column->addWidget(m_waiting);
    column->addWidget(m_stopWaiting, 0, Qt::AlignHCenter);
    column->addWidget(m_error);
    column->addWidget(m_footnote);

    // Centred between stretches rather than by alignment, so the card's wrapped lines are measured at the
    // card's own width, not the window's.
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(card);
    row->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addLayout(row);
    layout->addStretch();

    connect(m_signIn, &QPushButton::clicked, &m_auth, &AuthManager::signInWithGoogle);
    connect(m_stopWaiting, &QPushButton::clicked, &m_auth, &AuthManager::cancelSignIn);
    connect(&m_auth, &AuthManager::isSigningInChanged, this, &SignInView::refresh);
    connect(&m_auth, &AuthManager::errorMessageChanged, this, &SignInView::refresh);
    connect(&m_auth, &AuthManager::signInProviderChanged, this, &SignInView::refresh);
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

void SignInView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The service may have been restarted with another provider, and the language chosen again, since the
    // view was last on screen.
    m_auth.checkSignInProvider();
    refresh();
}

void SignInView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The window changes its locale when the user picks another language.
    if ((event->type() == QEvent::LocaleChange || event->type() == QEvent::LanguageChange) && m_footnote)
        refresh();
}

void SignInView::retranslate()
{
    refresh();
}

void SignInView::fitTitle()
{
    // The title stays on one line where it can: it shrinks a little where the font runs wider than the
    // card, and wraps only where even the smallest size does not fit.
    constexpr int room = cardWidth - 2 * cardMargin;
    m_welcome->setWordWrap(false);
    int pixels = 30;
    m_welcome->setFont(table::uiFont(pixels, QFont::Bold));
    while (pixels > 20 && m_welcome->sizeHint().width() > room)
        m_welcome->setFont(table::uiFont(--pixels, QFont::Bold));
    m_welcome->setWordWrap(m_welcome->sizeHint().width() > room);
}

void SignInView::refresh()
{
    const bool signingIn = m_auth.isSigningIn();
    const SignInPrompt prompt = signInPrompt(m_auth.signInProvider(), signingIn, m_auth.signInLanguage());
    if (m_welcome->text() != prompt.title) {
        m_welcome->setText(prompt.title);
        fitTitle();
    }
    m_pitch->setText(prompt.pitch);
    m_waiting->setText(prompt.waiting);
    m_footnote->setText(prompt.footnote);
    m_stopWaiting->setText(prompt.stopWaiting);
    // The browser may be left open for good: the button shows the wait, and stopping it is offered.
    m_signIn->setText(prompt.button);
    m_signIn->setAccessibleName(prompt.buttonName);
    m_signIn->setEnabled(!signingIn);
    m_waiting->setVisible(signingIn);
    m_stopWaiting->setVisible(signingIn);
    const std::optional<QString> error = m_auth.errorMessage();
    m_error->setText(error.value_or(QString()));
    m_error->setVisible(error.has_value());
}

} // namespace quillfern
