#include "app/workspace/Workspace.h"

#include "auth/AuthManager.h"

#include <QPointer>

#include <algorithm>

namespace quillfern {

const QString Workspace::reportingCurrencyKey = QStringLiteral("quillfernReportingCurrency");
const QString Workspace::languageKey = QStringLiteral("quillfernLanguage");

namespace {

template <class Row> QList<Row> sortedByID(QList<Row> rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.id < b.id; });
    return rows;
}

template <class Row> bool sameRowsIgnoringOrder(const QList<Row> &a, const QList<Row> &b)
{
    return a.size() == b.size() && sortedByID(a) == sortedByID(b);
}

} // namespace

Workspace::Workspace(AuthManager &auth, APIEndpoint endpoint, std::unique_ptr<QSettings> preferences, QObject *parent)
    : QObject(parent), m_auth(auth), m_endpoint(std::move(endpoint)), m_preferences(std::move(preferences)),
      m_rowEditStatus(QStringLiteral("Double-click a row to edit")),
      m_priceRefreshStatus(QStringLiteral("Prices refresh automatically after saving")),
      m_currencies{defaultReportingCurrency()}, m_languages{defaultLanguage()}, m_summary(quillfern::summary({}))
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(saveDelay);
    connect(&m_saveTimer, &QTimer::timeout, this, &Workspace::sendPendingSave);
    connect(&m_auth, &AuthManager::accessTokenChanged, this, &Workspace::onAccessTokenChanged);
}

Workspace::~Workspace()
{
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
    return m_preferences->value(languageKey, QStringLiteral("en-US")).toString();
}

void Workspace::setLanguageCode(const QString &code)
{
    m_preferences->setValue(languageKey, code);
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
    QStringList names;
    QSet<QString> seenCodes;
    for (const auto &classification : m_gicsClassifications) {
        if (seenCodes.contains(classification.sectorCode))
            continue;
        seenCodes.insert(classification.sectorCode);
        names.append(classification.sectorName);
    }
    return names;
}

QStringList Workspace::gicsSubIndustryNames(const QString &sectorName) const
{
    QStringList names;
    for (const auto &classification : m_gicsClassifications) {
        if (classification.sectorName == sectorName)
            names.append(classification.subIndustryName);
    }
    return names;
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

    cancelPendingSave();
    setRows({});
    m_syncedRows.clear();
    m_syncedCashRows.clear();
    setCashRows({});
    m_transactions.clear();
    Q_EMIT transactionsChanged();
    setPortfolioError(std::nullopt);
    m_selectedRowID.reset();
    m_editingRowID.reset();
    Q_EMIT editingChanged();

    if (!currentToken()) {
        setSyncState(false, false);
        m_sessionReady = true;
        Q_EMIT sessionLoaded();
        co_return;
    }
    // The pages stay behind the loading view for the whole chain, not only for the portfolio request:
    // rows typed in while the reference lists load would be replaced by the loaded portfolio.
    setSyncState(true, m_savingPortfolio);
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
    if (!outdated()) {
        m_sessionReady = true;
        Q_EMIT sessionLoaded();
    }
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
        m_currencies = {defaultReportingCurrency()};
        Q_EMIT referenceDataChanged();
        setReportingCurrencyCode(QStringLiteral("USD"));
        co_return;
    }
    if (!isSession(*token) || answer->isEmpty())
        co_return;
    m_currencies = *std::move(answer);
    Q_EMIT referenceDataChanged();
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
    if (!answer) {
        m_languages = {defaultLanguage()};
        Q_EMIT referenceDataChanged();
        setLanguageCode(QStringLiteral("en-US"));
        co_return;
    }
    if (!isSession(*token) || answer->isEmpty())
        co_return;
    m_languages = *std::move(answer);
    Q_EMIT referenceDataChanged();
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
        this->*field = {};
        (this->*notify)();
        setPortfolioError(answer.error().description());
        co_return;
    }
    if (!isSession(*token))
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

QCoro::Task<> Workspace::loadPortfolio()
{
    const auto token = currentToken();
    if (!token)
        co_return;
    const QPointer<Workspace> self(this);
    const CancelToken cancel = m_sessionCancel;
    setSyncState(true, m_savingPortfolio);
    setPortfolioError(std::nullopt);
    auto call = PortfolioAPI::fetchPortfolio(m_endpoint, *token, cancel);
    auto answer = co_await std::move(call);
    if (!self || wasCancelledRun(cancel) || !isSession(*token))
        co_return;
    if (!answer) {
        setPortfolioError(answer.error().description());
        setSyncState(false, m_savingPortfolio);
        co_return;
    }
    installPortfolio(*answer);
    setSyncState(false, m_savingPortfolio);
    if (std::any_of(m_rows.cbegin(), m_rows.cend(), [](const AssetRow &row) { return row.currentPrice <= 0; })) {
        auto refresh = refreshPrices(true, std::nullopt);
        co_await std::move(refresh);
        if (!self)
            co_return;
    }
    setSyncState(false, m_savingPortfolio);
}

void Workspace::retryLoadPortfolio()
{
    loadPortfolio();
}

bool Workspace::portfolioMatchesSyncedData() const
{
    return sameRowsIgnoringOrder(m_rows, m_syncedRows) && sameRowsIgnoringOrder(m_cashRows, m_syncedCashRows);
}

void Workspace::schedulePortfolioSave()
{
    if (m_loadingPortfolio)
        return;
    const auto token = currentToken();
    if (!token || portfolioMatchesSyncedData() || m_savingPortfolio)
        return;
    m_pendingSave = PendingSave{*token, m_rows, m_cashRows};
    m_saveTimer.start();
    Q_EMIT syncStateChanged();
}

void Workspace::cancelPendingSave()
{
    m_saveTimer.stop();
    if (m_pendingSave) {
        m_pendingSave.reset();
        Q_EMIT syncStateChanged();
    }
}

void Workspace::sendPendingSave()
{
    if (!m_pendingSave)
        return;
    PendingSave save = *std::exchange(m_pendingSave, std::nullopt);
    savePortfolio(std::move(save.token), std::move(save.holdings), std::move(save.cashBalances));
}

QCoro::Task<> Workspace::savePortfolio(QString token, QList<AssetRow> holdings, QList<CashRow> cashBalances)
{
    if (!isSession(token) || m_savingPortfolio)
        co_return;
    const QPointer<Workspace> self(this);
    setPortfolioError(std::nullopt);
    setSyncState(m_loadingPortfolio, true);
    auto call = PortfolioAPI::savePortfolio(m_endpoint, token, std::move(holdings), std::move(cashBalances));
    auto answer = co_await std::move(call);
    if (!self)
        co_return;
    if (!isSession(token)) {
        setSyncState(m_loadingPortfolio, false);
        co_return;
    }
    if (!answer) {
        setPortfolioError(answer.error().description());
        setSyncState(m_loadingPortfolio, false);
        co_return;
    }
    m_syncedRows = std::move(answer->holdings);
    m_syncedCashRows = std::move(answer->cashBalances);
    setSyncState(m_loadingPortfolio, false);
    if (!portfolioMatchesSyncedData())
        schedulePortfolioSave();
}

QCoro::Task<std::optional<APIFailure>> Workspace::createTransaction(TransactionCreateInput input)
{
    const auto token = currentToken();
    if (!token)
        co_return APIFailure(PortfolioAPIError::invalidResponse());
    const QPointer<Workspace> self(this);
    auto create = PortfolioAPI::createTransaction(m_endpoint, *token, std::move(input));
    auto created = co_await std::move(create);
    if (!created)
        co_return created.error();
    if (!self)
        co_return std::nullopt;

    // Both reloads run at once; the ledger is awaited first, and a failure of it cancels the other.
    const CancelToken portfolioCancel = makeCancelToken();
    auto transactionsCall = PortfolioAPI::fetchTransactions(m_endpoint, *token);
    auto portfolioCall = PortfolioAPI::fetchPortfolio(m_endpoint, *token, portfolioCancel);
    auto transactions = co_await std::move(transactionsCall);
    if (!transactions) {
        portfolioCancel->cancel();
        co_await std::move(portfolioCall);
        co_return transactions.error();
    }
    auto portfolio = co_await std::move(portfolioCall);
    if (!portfolio)
        co_return portfolio.error();
    if (!self || !isSession(*token))
        co_return std::nullopt;
    m_transactions = *std::move(transactions);
    Q_EMIT transactionsChanged();
    installPortfolio(*portfolio);
    co_return std::nullopt;
}

void Workspace::signOut()
{
    cancelPendingSave();
    setRows({});
    m_syncedRows.clear();
    m_syncedCashRows.clear();
    setCashRows({});
    m_auth.signOut();
}

void Workspace::installPortfolio(const PortfolioData &data)
{
    m_syncedRows = data.holdings;
    m_syncedCashRows = data.cashBalances;
    setRows(data.holdings);
    setCashRows(data.cashBalances);
}

void Workspace::setRows(QList<AssetRow> rows)
{
    m_rows = std::move(rows);
    Q_EMIT rowsReset();
    rowsDidChange();
}

void Workspace::rowsDidChange()
{
    m_summary = quillfern::summary(m_rows);
    m_positions = positionsByID(m_summary);
    Q_EMIT summaryChanged();
}

void Workspace::setCashRows(QList<CashRow> rows)
{
    if (rows == m_cashRows)
        return;
    m_cashRows = std::move(rows);
    Q_EMIT cashRowsChanged();
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

void Workspace::setPortfolioError(std::optional<QString> error)
{
    if (m_portfolioError == error)
        return;
    m_portfolioError = std::move(error);
    Q_EMIT syncStateChanged();
}

} // namespace quillfern
