#include "app/workspace/Workspace.h"

#include "auth/AuthManager.h"
#include "auth/SignInPrompt.h"
#include "core/HoldingRules.h"
#include "text/Localization.h"

#include <QLocale>
#include <QPointer>

#include <algorithm>

namespace quillfern {

// The rows and the session as the price refresher and the performance loader reach them. A fetched price
// is written straight into the working copy, outside the undo stack.
class Workspace::PriceRows : public PriceRefreshTarget, public PerformanceSession {
public:
    explicit PriceRows(Workspace &workspace) : m_workspace(workspace) {}

    const QList<AssetRow> &rows() const override { return m_workspace.m_rows; }
    bool writePrice(const QString &rowID, double price) override
    {
        const int position = m_workspace.indexOfRow(rowID);
        if (position < 0)
            return false;
        m_workspace.m_rows[position].currentPrice = price;
        Q_EMIT m_workspace.rowChanged(position);
        m_workspace.rowsDidChange();
        return true;
    }
    void schedulePortfolioSave() override { m_workspace.schedulePortfolioSave(); }
    void setRowEditStatus(const StatusLine &status) override { m_workspace.setRowEditStatusLine(status); }
    QString displayLanguageCode() const override { return m_workspace.displayLanguageCode(); }
    bool isLoading() const override { return m_workspace.m_loadingPortfolio; }
    std::optional<QString> currentToken() const override { return m_workspace.currentToken(); }
    bool isSession(const QString &token) const override { return m_workspace.isSession(token); }
    const APIEndpoint &endpoint() const override { return m_workspace.m_endpoint; }
    CancelToken sessionCancel() const override { return m_workspace.m_sessionCancel; }
    std::optional<QDate> earliestTrade() const override { return earliestTradeDay(m_workspace.m_transactions); }

private:
    Workspace &m_workspace;
};

const QString Workspace::reportingCurrencyKey = QStringLiteral("quillfernReportingCurrency");
const QString Workspace::languageKey = QStringLiteral("quillfernLanguage");

Workspace::Workspace(AuthManager &auth, APIEndpoint endpoint, std::unique_ptr<QSettings> preferences, QObject *parent)
    : HoldingRows(parent), m_auth(auth), m_endpoint(std::move(endpoint)),
      m_preferences(std::move(preferences)), m_currencies{defaultReportingCurrency()},
      m_languages(supportedLanguages()), m_summary(quillfern::summary({}))
{
    AppText::setCurrentLanguage(languageCode());
    m_rowEditStatus = StatusLine::of(u"doubleClickToEdit", displayLanguageCode());
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(saveDelay);
    connect(&m_saveTimer, &QTimer::timeout, this, &Workspace::sendPendingSave);
    m_persistTimer.setSingleShot(true);
    m_persistTimer.setInterval(0);
    connect(&m_persistTimer, &QTimer::timeout, this, &Workspace::persistNow);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &Workspace::reconnect);
    connect(&m_auth, &AuthManager::accessTokenChanged, this, &Workspace::onAccessTokenChanged);
    m_priceRows = std::make_unique<PriceRows>(*this);
    m_priceRefresher = std::make_unique<PriceRefresher>(*m_priceRows);
    m_performance = std::make_unique<PerformanceLoader>(*m_priceRows);
    // A changed ledger changes the history; the first load of a session waits for the end of its chain.
    connect(this, &Workspace::transactionsChanged, this, [this] {
        if (m_sessionReady)
            m_performance->loadSoon();
    });
    // An automatic refresh that waited for a load goes once the load has ended.
    connect(this, &Workspace::syncStateChanged, m_priceRefresher.get(), &PriceRefresher::continueAutomatic,
            Qt::QueuedConnection);
    // Connected first, so that the lines are in the new language before any view reads them. The display
    // language changes with the preference, and with a list of languages that no longer offers it.
    connect(this, &HoldingRows::preferencesChanged, this, &Workspace::retranslateStatus);
    connect(this, &HoldingRows::referenceDataChanged, this, &Workspace::retranslateStatus);
}

Workspace::~Workspace()
{
    if (m_persistTimer.isActive())
        persistNow();
    if (m_sessionCancel)
        m_sessionCancel->cancel();
}

void Workspace::setHoldingStatsExpanded(bool expanded)
{
    if (m_holdingStatsExpanded == expanded)
        return;
    m_holdingStatsExpanded = expanded;
    Q_EMIT holdingStatsExpandedChanged();
}

QString Workspace::reportingCurrencyCode() const
{
    return m_preferences->value(reportingCurrencyKey, QStringLiteral("USD")).toString();
}

void Workspace::setReportingCurrencyCode(const QString &code)
{
    m_preferences->setValue(reportingCurrencyKey, code);
    Q_EMIT preferencesChanged();
}

QString Workspace::languageCode() const
{
    // Until the user picks one, the window speaks what the sign-in spoke: the system's language when the
    // app has it.
    if (const QVariant stored = m_preferences->value(languageKey); stored.isValid())
        return stored.toString();
    return signInLanguage({}, QLocale::system().uiLanguages());
}

void Workspace::setLanguageCode(const QString &code)
{
    m_preferences->setValue(languageKey, code);
    AppText::setCurrentLanguage(code);
    Q_EMIT preferencesChanged();
}

const AssetValuation *Workspace::position(const QString &rowID) const
{
    const auto found = m_positions.constFind(rowID);
    return found == m_positions.cend() ? nullptr : &*found;
}

CurrencyOption Workspace::reportingCurrency() const
{
    return quillfern::reportingCurrency(m_currencies, reportingCurrencyCode());
}

LanguageOption Workspace::selectedLanguage() const
{
    return quillfern::selectedLanguage(m_languages, languageCode());
}

QStringList Workspace::brokerageNames() const
{
    return quillfern::brokerageNames(m_brokerages, m_rows, m_cashRows);
}

QStringList Workspace::gicsSectorNames() const
{
    return quillfern::gicsSectorNames(m_gicsClassifications);
}

QStringList Workspace::gicsSubIndustryNames(const QString &sectorName) const
{
    return quillfern::gicsSubIndustryNames(m_gicsClassifications, sectorName);
}

bool Workspace::wasCancelledRun(const CancelToken &cancel)
{
    return cancel && cancel->isCancelled();
}

std::optional<QString> Workspace::currentToken() const
{
    return m_auth.accessToken();
}

bool Workspace::isSession(const QString &token) const
{
    const auto &current = m_auth.accessToken();
    return current && *current == token;
}

void Workspace::start()
{
    if (m_started)
        return;
    m_started = true;
    runSession();
}

void Workspace::onAccessTokenChanged()
{
    if (m_started && m_auth.accessToken() != m_sessionKey)
        runSession();
}

void Workspace::runSession()
{
    // The new run is in place before the old one's requests are aborted, so the old run wakes up to find
    // itself outdated and touches nothing.
    CancelToken previous = std::exchange(m_sessionCancel, makeCancelToken());
    ++m_sessionRun;
    m_sessionKey = m_auth.accessToken();
    m_sessionReady = false;
    if (previous)
        previous->cancel();
    sessionDidChange();
}

QCoro::Task<> Workspace::sessionDidChange()
{
    const QPointer<Workspace> self(this);
    const quint64 run = m_sessionRun;
    const auto outdated = [&self, run] { return !self || self->m_sessionRun != run; };

    // Edits of the account that is leaving are on disk before anything is cleared.
    if (m_persistTimer.isActive())
        persistNow();
    cancelPendingSave();
    m_performance->forget();
    m_reconnectTimer.stop();
    m_reconnectAttempt = 0;
    m_offline = false;
    m_portfolioLoaded = false;
    m_showingLocalCopy = false;
    m_persisted.reset();
    m_syncedVersion.clear();
    m_unansweredPost.reset();
    setRows({});
    m_syncedRows.clear();
    m_syncedCashRows.clear();
    setCashRows({});
    m_transactions.clear();
    Q_EMIT transactionsChanged();
    setPortfolioError(std::nullopt);
    // Changes of the account that stays can still be undone after a new token; another account's cannot.
    if (!currentToken() || accountKey() != m_undoAccount) {
        m_undoStack.clear();
        m_undoAccount = currentToken() ? accountKey() : QString();
    }

    if (!currentToken()) {
        m_priceRefresher->forgetFacts();
        m_localCopy.setAccount({}, {});
        setSyncState(false, false);
        m_sessionReady = true;
        Q_EMIT sessionLoaded();
        co_return;
    }
    // This computer's copy is painted at once; the chain below brings it up to date. Without one, the pages
    // stay behind the loading view for the whole chain.
    installLocalCopy();
    setSyncState(true, m_savingPortfolio);
    auto reload = reloadFromService();
    co_await std::move(reload);
    if (!outdated()) {
        m_sessionReady = true;
        Q_EMIT sessionLoaded();
        m_performance->load();
        // Every price shown gets its time and source, which are not kept from one start to the next.
        m_priceRefresher->runAutomatically();
    }
}

QCoro::Task<> Workspace::reloadFromService()
{
    const QPointer<Workspace> self(this);
    const quint64 run = m_sessionRun;
    const auto outdated = [&self, run] { return !self || self->m_sessionRun != run; };
    m_reloading = true;
    auto currencies = loadCurrencies();
    co_await std::move(currencies);
    if (outdated())
        co_return;
    auto languages = loadLanguages();
    co_await std::move(languages);
    if (outdated())
        co_return;
    auto brokerages = loadBrokerages();
    co_await std::move(brokerages);
    if (outdated())
        co_return;
    auto classifications = loadGICSClassifications();
    co_await std::move(classifications);
    if (outdated())
        co_return;
    auto transactions = loadTransactions();
    co_await std::move(transactions);
    if (outdated())
        co_return;
    auto portfolio = loadPortfolio();
    co_await std::move(portfolio);
    if (self && self->m_sessionRun == run)
        m_reloading = false;
}

QCoro::Task<> Workspace::loadCurrencies()
{
    const auto token = currentToken();
    if (!token)
        co_return;
    const QPointer<Workspace> self(this);
    const CancelToken cancel = m_sessionCancel;
    auto call = PortfolioAPI::fetchCurrencies(m_endpoint, *token, cancel);
    auto answer = co_await std::move(call);
    if (!self || wasCancelledRun(cancel))
        co_return;
    if (!answer) {
        // A list already on screen (from this computer's copy or an earlier load) stays, and so does the
        // user's choice; the one-entry fallback is only for a first start with nothing.
        if (hasPortfolioCopy())
            co_return;
        setCurrencies({defaultReportingCurrency()});
        Q_EMIT referenceDataChanged();
        setReportingCurrencyCode(QStringLiteral("USD"));
        co_return;
    }
    if (!isSession(*token) || answer->isEmpty())
        co_return;
    // The list kept on this computer is usually still the service's: the views then stay as they are.
    if (!(m_currencies == *answer)) {
        setCurrencies(*std::move(answer));
        Q_EMIT referenceDataChanged();
    }
    const QString stored = reportingCurrencyCode();
    if (std::none_of(m_currencies.cbegin(), m_currencies.cend(), [&](const auto &c) { return c.code == stored; }))
        setReportingCurrencyCode(m_currencies.first().code);
}

QCoro::Task<> Workspace::loadLanguages()
{
    const auto token = currentToken();
    if (!token)
        co_return;
    const QPointer<Workspace> self(this);
    const CancelToken cancel = m_sessionCancel;
    auto call = PortfolioAPI::fetchLanguages(m_endpoint, *token, cancel);
    auto answer = co_await std::move(call);
    if (!self || wasCancelledRun(cancel))
        co_return;
    // Unanswered, the window keeps the languages it speaks itself and the user's choice among them.
    if (!answer)
        co_return;
    if (!isSession(*token) || answer->isEmpty())
        co_return;
    if (!(m_languages == *answer)) {
        m_languages = *std::move(answer);
        Q_EMIT referenceDataChanged();
    }
    const QString stored = languageCode();
    if (std::none_of(m_languages.cbegin(), m_languages.cend(), [&](const auto &l) { return l.code == stored; }))
        setLanguageCode(m_languages.first().code);
}

template <class Record>
QCoro::Task<> Workspace::loadList(ListFetch<Record> fetch, QList<Record> Workspace::*field, void (Workspace::*notify)())
{
    const auto token = currentToken();
    if (!token)
        co_return;
    const QPointer<Workspace> self(this);
    const CancelToken cancel = m_sessionCancel;
    auto call = fetch(m_endpoint, *token, cancel);
    auto answer = co_await std::move(call);
    if (!self || wasCancelledRun(cancel))
        co_return;
    if (!answer) {
        if (!hasPortfolioCopy()) {
            this->*field = {};
            (this->*notify)();
        }
        setPortfolioError(answer.error());
        co_return;
    }
    if (!isSession(*token))
        co_return;
    if (this->*field == *answer)
        co_return;
    this->*field = *std::move(answer);
    (this->*notify)();
}

QCoro::Task<> Workspace::loadBrokerages()
{
    return loadList<BrokerageOption>(&PortfolioAPI::fetchBrokerages, &Workspace::m_brokerages,
                                     &Workspace::referenceDataChanged);
}

QCoro::Task<> Workspace::loadGICSClassifications()
{
    return loadList<GICSClassification>(&PortfolioAPI::fetchGICSClassifications, &Workspace::m_gicsClassifications,
                                        &Workspace::referenceDataChanged);
}

QCoro::Task<> Workspace::loadTransactions()
{
    return loadList<TransactionRecord>(&PortfolioAPI::fetchTransactions, &Workspace::m_transactions,
                                       &Workspace::transactionsChanged);
}

void Workspace::setRows(QList<AssetRow> rows)
{
    m_rows = std::move(rows);
    Q_EMIT rowsReset();
    rowsDidChange();
}

void Workspace::rowsDidChange()
{
    m_summary = quillfern::summary(m_rows, m_currencies);
    m_positions = positionsByID(m_summary);
    Q_EMIT summaryChanged();
}

void Workspace::setCurrencies(QList<CurrencyOption> currencies)
{
    m_currencies = std::move(currencies);
    rowsDidChange(); // holdings are valued at these rates
}

void Workspace::setCashRows(QList<CashRow> rows)
{
    if (rows == m_cashRows)
        return;
    m_cashRows = std::move(rows);
    Q_EMIT cashRowsChanged();
}

void Workspace::updateRow(const QString &id, const AssetRow &row)
{
    const int position = indexOfRow(id);
    if (position < 0 || m_rows[position] == row)
        return;
    m_rows[position] = row;
    Q_EMIT rowChanged(position);
    rowsDidChange();
}

void Workspace::insertRow(int index, const AssetRow &row)
{
    index = std::clamp(index, 0, int(m_rows.size()));
    Q_EMIT rowAboutToBeInserted(index);
    m_rows.insert(index, row);
    Q_EMIT rowInserted(index);
    rowsDidChange();
}

void Workspace::removeRow(const QString &id)
{
    for (qsizetype i = m_rows.size() - 1; i >= 0; --i) {
        if (m_rows[i].id == id) {
            Q_EMIT rowAboutToBeRemoved(int(i));
            m_rows.removeAt(i);
            Q_EMIT rowRemoved(int(i));
        }
    }
    rowsDidChange();
}

void Workspace::refreshPriceOf(const QString &rowID)
{
    m_priceRefresher->refresh(false, QSet<QString>{rowID});
}

void Workspace::setRowEditStatus(const QString &status)
{
    setRowEditStatusLine(StatusLine(status));
}

void Workspace::setRowEditStatusLine(const StatusLine &status)
{
    const bool same = m_rowEditStatus.text() == status.text();
    m_rowEditStatus = status;
    if (!same)
        Q_EMIT rowEditStatusChanged();
}

void Workspace::retranslateStatus()
{
    const QString language = displayLanguageCode();
    if (m_rowEditStatus.retranslate(language))
        Q_EMIT rowEditStatusChanged();
    if (m_portfolioError && m_portfolioError->retranslate(language))
        Q_EMIT syncStateChanged();
    m_priceRefresher->retranslate(language);
    m_performance->retranslate(language);
}

int Workspace::indexOfRow(const QString &id) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].id == id)
            return int(i);
    }
    return -1;
}

void Workspace::setSyncState(bool loading, bool saving)
{
    if (m_loadingPortfolio == loading && m_savingPortfolio == saving)
        return;
    m_loadingPortfolio = loading;
    m_savingPortfolio = saving;
    Q_EMIT syncStateChanged();
}

std::optional<QString> Workspace::portfolioError() const
{
    if (!m_portfolioError)
        return std::nullopt;
    return m_portfolioError->text();
}

void Workspace::setPortfolioError(std::optional<StatusLine> error)
{
    const bool same =
        error.has_value() == m_portfolioError.has_value() && (!error || error->text() == m_portfolioError->text());
    m_portfolioError = std::move(error);
    if (!same)
        Q_EMIT syncStateChanged();
}

void Workspace::setPortfolioError(const APIFailure &failure)
{
    // A description is made in the catalogue's current language, which the workspace keeps its own.
    setPortfolioError(StatusLine([failure](const QString &) { return failure.description(); }, displayLanguageCode()));
}

} // namespace quillfern
