#include "app/ContentView.h"

#include "app/SignInView.h"
#include "app/balances/BalancePage.h"
#include "app/holdings/HoldingsPage.h"
#include "app/performance/PerformancePage.h"
#include "app/icons/SymbolIcon.h"
#include "app/table/TableStyle.h"
#include "app/transactions/TransactionEditorSheet.h"
#include "app/transactions/TransactionView.h"
#include "app/workspace/Workspace.h"
#include "auth/AuthManager.h"
#include "text/Dates.h"
#include "text/Localization.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <unicode/ucurr.h>

namespace quillfern {

namespace {

QString text(const Workspace &workspace, QStringView key)
{
    return AppText::value(key, workspace.selectedLanguage().code);
}

QToolButton *capsuleMenuButton(QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setFont(table::uiFont(12, QFont::Medium));
    button->setAutoRaise(true);
    // The focus ring takes the place of a transparent border, so that the button keeps its size.
    button->setStyleSheet(QStringLiteral("QToolButton { padding: 2px 10px; border-radius: 13px;"
                                         " border: 2px solid transparent; background: palette(button); }"
                                         "QToolButton:focus { border-color: palette(highlight); }"
                                         "QToolButton::menu-indicator { image: none; }"));
    button->setMenu(new QMenu(button));
    return button;
}

// The currency's name as ICU writes it in locale ("ja_JP"); the service's name for a code ICU does not know.
QString currencyName(const CurrencyOption &currency, const QString &locale)
{
    if (currency.code.size() != 3)
        return currency.name;
    const QByteArray localeID = locale.toLatin1();
    UBool isChoiceFormat = false;
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    const UChar *name = ucurr_getName(reinterpret_cast<const UChar *>(currency.code.utf16()), localeID.constData(),
                                      UCURR_LONG_NAME, &isChoiceFormat, &length, &status);
    // An unknown code comes back as itself, with a warning rather than a failure.
    if (U_FAILURE(status) || status == U_USING_DEFAULT_WARNING || !name)
        return currency.name;
    return QString(reinterpret_cast<const QChar *>(name), length);
}

QWidget *makeLoadingView(QWidget *parent)
{
    auto *view = new QWidget(parent);
    auto *layout = new QVBoxLayout(view);
    layout->addStretch();
    auto *spinner = new QProgressBar(view);
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedSize(220, 10);
    layout->addWidget(spinner, 0, Qt::AlignHCenter);
    auto *label = new QLabel(view);
    label->setObjectName(QStringLiteral("loadingText"));
    label->setFont(table::uiFont(15));
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addStretch();
    return view;
}

} // namespace

ContentView::ContentView(Workspace &workspace, QWidget *parent)
    : QWidget(parent), m_workspace(workspace), m_auth(workspace.auth()), m_stack(new QStackedWidget(this)),
      m_loading(makeLoadingView(this)), m_loadingText(m_loading->findChild<QLabel *>(QStringLiteral("loadingText")))
{
    setMinimumSize(1280, 780);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    m_stack->addWidget(m_loading);

    connect(&m_auth, &AuthManager::userChanged, this, &ContentView::showState);
    connect(&m_auth, &AuthManager::accessTokenChanged, this, &ContentView::showState);
    connect(&workspace, &Workspace::syncStateChanged, this, &ContentView::showState);
    connect(&workspace, &Workspace::sessionLoaded, this, &ContentView::showState);
    connect(&workspace, &Workspace::syncStateChanged, this, &ContentView::refreshBanner);
    // The language's table may arrive after the window opens, with the list of languages.
    connect(&workspace, &Workspace::preferencesChanged, this, &ContentView::retranslate);
    connect(&workspace, &Workspace::referenceDataChanged, this, &ContentView::retranslate);
    retranslate();
    showState();
}

void ContentView::buildSignedIn()
{
    m_signedIn = new QWidget(this);
    auto *column = new QVBoxLayout(m_signedIn);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(0);

    auto *menus = new QHBoxLayout;
    menus->setContentsMargins(16, 0, 16, 8);
    menus->setSpacing(8);
    menus->addStretch();
    m_currencyMenu = capsuleMenuButton(m_signedIn);
    m_currencyMenu->setObjectName(QStringLiteral("reportingCurrencyMenu"));
    m_languageMenu = capsuleMenuButton(m_signedIn);
    m_languageMenu->setObjectName(QStringLiteral("languageMenu"));
    m_accountMenu = capsuleMenuButton(m_signedIn);
    m_accountMenu->setObjectName(QStringLiteral("accountMenu"));
    m_accountMenu->setIcon(symbolIcon(QStringLiteral("person.crop.circle.fill")));
    menus->addWidget(m_currencyMenu);
    menus->addWidget(m_languageMenu);
    menus->addWidget(m_accountMenu);
    column->addLayout(menus);

    m_banner = new QWidget(m_signedIn);
    m_banner->setObjectName(QStringLiteral("errorBanner"));
    m_banner->setMinimumHeight(36);
    m_banner->setAutoFillBackground(true);
    QPalette tinted = m_banner->palette();
    tinted.setColor(QPalette::Window, table::withOpacity(table::red(tinted), 0.09));
    tinted.setColor(QPalette::WindowText, table::red(tinted));
    m_banner->setPalette(tinted);
    auto *bannerRow = new QHBoxLayout(m_banner);
    bannerRow->setContentsMargins(16, 0, 16, 0);
    bannerRow->setSpacing(10);
    auto *warning = new QLabel(m_banner);
    warning->setPixmap(symbolIcon(QStringLiteral("exclamationmark.triangle.fill"), table::red(tinted)).pixmap(16, 16));
    bannerRow->addWidget(warning);
    m_bannerText = new QLabel(m_banner);
    m_bannerText->setFont(table::uiFont(12));
    m_bannerText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bannerRow->addWidget(m_bannerText, 1);
    m_retry = new QPushButton(m_banner);
    m_retry->setFont(table::uiFont(12));
    bannerRow->addWidget(m_retry);
    connect(m_retry, &QPushButton::clicked, this, [this] { m_workspace.retryLoadPortfolio(); });
    column->addWidget(m_banner);

    m_copyNotice = new QLabel(m_signedIn);
    m_copyNotice->setObjectName(QStringLiteral("localCopyNotice"));
    m_copyNotice->setFont(table::uiFont(12));
    m_copyNotice->setContentsMargins(16, 6, 16, 6);
    m_copyNotice->setVisible(false);
    column->addWidget(m_copyNotice);

    m_tabs = new QTabWidget(m_signedIn);
    m_tabs->setDocumentMode(true);
    m_holdings = new HoldingsPage(m_workspace);
    connect(m_holdings, &HoldingsPage::addBrokerageRequested, this, &ContentView::openAddBrokerageDialog);
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setWidget(m_holdings);
    m_holdings->setMinimumHeight(760);
    m_tabs->addTab(scroll, symbolIcon(QStringLiteral("chart.pie")), QString());
    // The other pages are built when their tab is first shown, so the window opens on holdings sooner.
    const auto lazyPage = [this](std::function<QWidget *()> build) {
        auto *holder = new QWidget;
        auto *layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        m_pendingPages.insert(holder, std::move(build));
        return holder;
    };
    m_tabs->addTab(lazyPage([this] { return new BalancePage(m_workspace); }), symbolIcon(QStringLiteral("banknote")),
                   QString());
    m_tabs->addTab(lazyPage([this] { return new TransactionPage(m_workspace); }),
                   symbolIcon(QStringLiteral("list.bullet.rectangle")), QString());
    m_tabs->addTab(lazyPage([this] {
                       auto *scrolled = new QScrollArea;
                       scrolled->setWidgetResizable(true);
                       scrolled->setFrameShape(QFrame::NoFrame);
                       auto *page = new PerformancePage(m_workspace);
                       page->setMinimumHeight(820);
                       scrolled->setWidget(page);
                       return scrolled;
                   }),
                   symbolIcon(QStringLiteral("chart.line.uptrend.xyaxis.circle.fill")), QString());
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        QWidget *holder = m_tabs->widget(index);
        const auto build = m_pendingPages.take(holder);
        if (build)
            holder->layout()->addWidget(build());
    });
    column->addWidget(m_tabs, 1);
    m_stack->addWidget(m_signedIn);
    retranslate();
}

QWidget *ContentView::signInView()
{
    // Built when first needed: a restored session never shows it, and its card costs a noticeable part of
    // the start.
    if (!m_signIn) {
        m_signIn = new SignInView(m_auth, this);
        m_stack->addWidget(m_signIn);
    }
    return m_signIn;
}

void ContentView::showState()
{
    if (!m_auth.user() || !m_auth.accessToken()) {
        m_stack->setCurrentWidget(signInView());
        return;
    }
    // A restored session shows the loading view until its chain has run, not the pages of nothing.
    // This computer's copy of the portfolio is shown at once instead, marked as not yet up to date.
    // Rows typed in after a start without the service stay on screen while it is tried again.
    const bool nothingToShow =
        !m_workspace.hasPortfolioCopy() && m_workspace.rows().isEmpty() && m_workspace.cashRows().isEmpty();
    if ((m_workspace.isLoadingPortfolio() || !m_workspace.isSessionReady()) && nothingToShow) {
        m_stack->setCurrentWidget(m_loading);
        return;
    }
    if (!m_signedIn)
        buildSignedIn();
    m_stack->setCurrentWidget(m_signedIn);
    refreshMenus();
    if (!m_pagesShown) {
        m_pagesShown = true;
        Q_EMIT pagesShown();
    }
}

void ContentView::refreshBanner()
{
    if (!m_banner)
        return;
    const auto &error = m_workspace.portfolioError();
    m_banner->setVisible(error.has_value());
    const QString notice = m_workspace.reconnectNotice();
    m_bannerText->setText(notice.isEmpty() ? error.value_or(QString())
                                           : error.value_or(QString()) + QLatin1Char(' ') + notice);
    m_copyNotice->setVisible(m_workspace.isShowingLocalCopy() && !error);
}

void ContentView::refreshMenus()
{
    if (!m_signedIn)
        return;
    const CurrencyOption currency = m_workspace.reportingCurrency();
    m_currencyMenu->setText(currency.flag + QStringLiteral("  ") + currency.code);
    QMenu *currencies = m_currencyMenu->menu();
    currencies->clear();
    const LanguageOption shownIn = m_workspace.selectedLanguage();
    const QString ratesDate = ratesDateText(m_workspace.currencies(), shownIn.code, shownIn.locale, systemTimeZoneID());
    if (!ratesDate.isEmpty()) {
        currencies->addAction(ratesDate)->setEnabled(false);
        currencies->addSeparator();
    }
    for (const CurrencyOption &option : m_workspace.currencies()) {
        QAction *entry = currencies->addAction(option.flag + QStringLiteral("  ") + option.code +
                                               QStringLiteral(" \u2014 ") + currencyName(option, shownIn.locale));
        entry->setCheckable(true);
        entry->setChecked(option.code == currency.code);
        const QString code = option.code;
        connect(entry, &QAction::triggered, this, [this, code] { m_workspace.setReportingCurrencyCode(code); });
    }

    const LanguageOption language = m_workspace.selectedLanguage();
    m_languageMenu->setText(language.flag + QStringLiteral("  ") + language.nativeName);
    QMenu *languages = m_languageMenu->menu();
    languages->clear();
    for (const LanguageOption &option : m_workspace.languages()) {
        QAction *entry = languages->addAction(option.flag + QStringLiteral("  ") + option.nativeName);
        entry->setCheckable(true);
        entry->setChecked(option.code == language.code);
        const QString code = option.code;
        connect(entry, &QAction::triggered, this, [this, code] { m_workspace.setLanguageCode(code); });
    }

    QMenu *account = m_accountMenu->menu();
    account->clear();
    if (const auto &user = m_auth.user()) {
        m_accountMenu->setText(user->name);
        if (user->email && !user->email->isEmpty())
            account->addAction(*user->email)->setEnabled(false);
    }
    account->addSeparator();
    QAction *signOut = account->addAction(text(m_workspace, u"signOut"));
    signOut->setObjectName(QStringLiteral("signOut"));
    connect(signOut, &QAction::triggered, this, &ContentView::confirmSignOut);
}

void ContentView::confirmSignOut()
{
    if (!m_workspace.hasUnsyncedEdits()) {
        m_workspace.signOut();
        return;
    }
    // Signing out removes this account's copy from the computer, and with it edits the service never got.
    QMessageBox question(QMessageBox::Warning, text(m_workspace, u"signOutUnsentTitle"),
                         text(m_workspace, u"signOutUnsentText"), QMessageBox::NoButton, this);
    question.addButton(text(m_workspace, u"staySignedIn"), QMessageBox::RejectRole);
    QPushButton *leave = question.addButton(text(m_workspace, u"signOutAnyway"), QMessageBox::DestructiveRole);
    question.setDefaultButton(qobject_cast<QPushButton *>(question.buttons().constFirst()));
    question.exec();
    if (question.clickedButton() == leave)
        m_workspace.signOut();
}

void ContentView::retranslate()
{
    m_loadingText->setText(text(m_workspace, u"loadingPortfolio"));
    if (!m_signedIn)
        return;
    m_currencyMenu->setToolTip(text(m_workspace, u"reportingCurrency"));
    m_copyNotice->setText(text(m_workspace, u"localCopyNotice"));
    m_tabs->setTabText(0, text(m_workspace, u"holdings"));
    m_tabs->setTabText(1, text(m_workspace, u"balances"));
    m_tabs->setTabText(2, text(m_workspace, u"transactions"));
    m_tabs->setTabText(3, text(m_workspace, u"performance"));
    m_retry->setText(text(m_workspace, u"retry"));
    m_languageMenu->setToolTip(text(m_workspace, u"language"));
    // The window's own controls (pickers, date fields) follow the chosen language's locale.
    setLocale(QLocale(m_workspace.selectedLanguage().locale));
    refreshMenus();
    refreshBanner();
}

void ContentView::openAddBrokerageDialog()
{
    if (m_addBrokerage)
        return;
    auto *dialog = new QDialog(this);
    m_addBrokerage = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(text(m_workspace, u"addBrokerage"));
    auto *layout = new QVBoxLayout(dialog);
    auto *hint = new QLabel(text(m_workspace, u"privateBrokerageHint"), dialog);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto *name = new QLineEdit(dialog);
    name->setObjectName(QStringLiteral("brokerageName"));
    name->setPlaceholderText(text(m_workspace, u"brokerageName"));
    layout->addWidget(name);
    auto *buttons = new QDialogButtonBox(dialog);
    buttons->addButton(text(m_workspace, u"cancel"), QDialogButtonBox::RejectRole);
    buttons->addButton(text(m_workspace, u"add"), QDialogButtonBox::AcceptRole)->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, dialog, [this, dialog, name] {
        m_workspace.createCustomBrokerage(name->text());
        dialog->accept();
    });
    dialog->open();
}

} // namespace quillfern
