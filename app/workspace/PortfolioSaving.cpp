// The portfolio's round trip with the service: loading it, the debounced save on top of the version the
// app last saw, the merge when the service's copy moved on, this computer's copy of it, and reconnecting
// after an offline spell. Nothing the user typed is ever replaced by an answer of the service.

#include "app/workspace/Workspace.h"

#include "auth/AuthManager.h"
#include "core/PortfolioMerge.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <QNetworkInformation>
#include <QPointer>

#include <algorithm>
#include <memory>
#include <vector>

namespace quillfern {

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

constexpr int maxConflictRounds = 3;
constexpr std::chrono::seconds firstReconnectDelay{2};
constexpr std::chrono::seconds longestReconnectDelay{60};

bool isPreconditionFailure(const APIFailure &failure)
{
    return failure.apiError() && failure.apiError()->status == 412;
}

} // namespace

bool Workspace::isTransient(const APIFailure &failure)
{
    if (failure.isCancelled())
        return false;
    if (const PortfolioAPIError *refused = failure.apiError())
        return refused->kind == PortfolioAPIError::Case::Server && refused->status >= 500;
    return std::holds_alternative<TransportError>(failure.reason);
}

namespace {

QString rowName(const AssetRow &row, const QString &language)
{
    return row.code.isEmpty() ? AppText::value(u"newHoldingName", language) : row.code;
}

QString rowName(const CashRow &row, const QString &language)
{
    return AppText::format(u"cashRowName", language, {row.currency, row.broker});
}


} // namespace

void Workspace::setLocalCopyFolder(const QString &folder)
{
    m_localCopy = LocalCopy(folder);
}

QString Workspace::accountKey() const
{
    const auto &user = m_auth.user();
    if (!user)
        return {};
    return user->email.value_or(user->name);
}

void Workspace::installLocalCopy()
{
    m_localCopy.setAccount(m_endpoint.baseURL.toString(QUrl::FullyEncoded), accountKey());
    const auto copy = m_localCopy.load();
    if (!copy)
        return;
    m_showingLocalCopy = true;
    m_persisted = copy;
    m_syncedRows = copy->synced.holdings;
    m_syncedCashRows = copy->synced.cashBalances;
    m_syncedVersion = copy->synced.version;
    if (!copy->currencies.isEmpty())
        setCurrencies(copy->currencies);
    if (!copy->languages.isEmpty())
        m_languages = copy->languages;
    m_brokerages = copy->brokerages;
    m_gicsClassifications = copy->gicsClassifications;
    Q_EMIT referenceDataChanged();
    m_transactions = copy->transactions;
    Q_EMIT transactionsChanged();
    setRows(copy->rows);
    setCashRows(copy->cashRows);
    Q_EMIT syncStateChanged();
}

void Workspace::persistSoon()
{
    // Edits that arrive together are written once, before the event loop waits again.
    if (m_localCopy.hasAccount() && !m_persistTimer.isActive())
        m_persistTimer.start();
}

void Workspace::persistNow()
{
    m_persistTimer.stop();
    if (!m_localCopy.hasAccount() || !currentToken())
        return;
    // Before anything was loaded or kept, an empty copy would only stand for a portfolio nobody has seen.
    if (!m_portfolioLoaded && !m_showingLocalCopy && !hasUnsyncedEdits())
        return;
    LocalCopyData data{PortfolioData{m_syncedRows, m_syncedCashRows, m_syncedVersion},
                       m_rows,
                       m_cashRows,
                       m_currencies,
                       m_languages,
                       m_brokerages,
                       m_gicsClassifications,
                       m_transactions};
    // Reloads that bring nothing new, the usual case, leave the file and the disk alone.
    if (m_persisted && *m_persisted == data)
        return;
    const bool wasKept = m_persisted.has_value();
    if (m_localCopy.store(data))
        m_persisted = std::move(data);
    else
        m_persisted.reset();
    if (m_persisted.has_value() != wasKept)
        Q_EMIT syncStateChanged();
}

bool Workspace::flushLocalCopy()
{
    persistNow();
    return keepsEditsOnDisk();
}

bool Workspace::hasUnsyncedEdits() const
{
    return currentToken().has_value() && !portfolioMatchesSyncedData();
}

bool Workspace::hasUnsentWork() const
{
    return hasUnsyncedEdits() || hasPendingSave() || m_savingPortfolio;
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
        noteUnreachable(answer.error());
        setSyncState(false, m_savingPortfolio);
        co_return;
    }
    noteReachable();
    acceptServicePortfolio(*answer);
    setSyncState(false, m_savingPortfolio);
    schedulePortfolioSave();
    if (std::any_of(m_rows.cbegin(), m_rows.cend(), [](const AssetRow &row) { return row.currentPrice <= 0; })) {
        auto refresh = m_priceRefresher->refresh(true, std::nullopt);
        co_await std::move(refresh);
        if (!self)
            co_return;
    }
    setSyncState(false, m_savingPortfolio);
}

void Workspace::retryLoadPortfolio()
{
    m_reconnectTimer.stop();
    if (!m_reloading)
        setPortfolioError(std::nullopt);
    reconnect();
    if (m_sessionReady && !m_performance->error().isEmpty())
        m_performance->loadSoon();
}

void Workspace::reconnect()
{
    if (!currentToken() || m_reloading)
        return;
    reloadFromService();
}

void Workspace::noteReachable()
{
    m_reconnectTimer.stop();
    m_reconnectAttempt = 0;
    if (m_offline) {
        m_offline = false;
        Q_EMIT syncStateChanged();
        // Prices may have moved during the offline spell, and the history with them.
        m_priceRefresher->runAutomatically();
        if (m_sessionReady)
            m_performance->loadSoon();
    }
}

void Workspace::noteUnreachable(const APIFailure &failure)
{
    if (isTransient(failure)) {
        m_offline = true;
        scheduleReconnect();
        watchNetwork();
    }
    setPortfolioError(failure);
    Q_EMIT syncStateChanged();
}

QString Workspace::reconnectNotice() const
{
    if (!m_offline)
        return {};
    const QString language = displayLanguageCode();
    if (hasUnsyncedEdits())
        return AppText::value(u"editsWaitForService", language);
    if (m_showingLocalCopy)
        return AppText::value(u"showingCopyWillRetry", language);
    return AppText::value(u"willRetry", language);
}

void Workspace::setWatchesNetwork(bool watches)
{
    m_watchesNetwork = watches;
}

void Workspace::watchNetwork()
{
    // Loaded only once the service was missed, so a normal start pays nothing for it.
    if (!m_watchesNetwork || m_networkWatched)
        return;
    m_networkWatched = true;
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return;
    connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged, this,
            [this](QNetworkInformation::Reachability reachability) {
                if (m_offline && reachability == QNetworkInformation::Reachability::Online) {
                    m_reconnectTimer.stop();
                    reconnect();
                }
            });
}

void Workspace::scheduleReconnect()
{
    if (m_reconnectTimer.isActive())
        return;
    // Doubling from two seconds up to a minute, so a long outage is not hammered.
    const auto delay = std::min<std::chrono::milliseconds>(firstReconnectDelay * (1 << std::min(m_reconnectAttempt, 5)),
                                                           longestReconnectDelay);
    ++m_reconnectAttempt;
    m_reconnectTimer.start(delay);
}

bool Workspace::portfolioMatchesSyncedData() const
{
    return sameRowsIgnoringOrder(m_rows, m_syncedRows) && sameRowsIgnoringOrder(m_cashRows, m_syncedCashRows);
}

void Workspace::schedulePortfolioSave()
{
    persistSoon();
    if (m_loadingPortfolio)
        return;
    const auto token = currentToken();
    // Nothing is sent before the service's portfolio was loaded once: a save on top of nothing would replace
    // what the account holds. The edits wait in the working copy and on disk.
    if (!token || !m_portfolioLoaded || portfolioMatchesSyncedData() || m_savingPortfolio)
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
    if (!m_pendingSave || m_replacingAccount)
        return;
    PendingSave save = *std::exchange(m_pendingSave, std::nullopt);
    savePortfolio(std::move(save.token), std::move(save.holdings), std::move(save.cashBalances));
}

QCoro::Task<> Workspace::savePortfolio(QString token, QList<AssetRow> holdings, QList<CashRow> cashBalances)
{
    if (!isSession(token) || m_savingPortfolio || !m_portfolioLoaded || m_replacingAccount)
        co_return;
    const QPointer<Workspace> self(this);
    setPortfolioError(std::nullopt);
    setSyncState(m_loadingPortfolio, true);
    auto call = PortfolioAPI::savePortfolio(m_endpoint, token, std::move(holdings), std::move(cashBalances),
                                            m_syncedVersion);
    auto answer = co_await std::move(call);
    if (!self)
        co_return;
    if (!isSession(token)) {
        setSyncState(m_loadingPortfolio, false);
        co_return;
    }
    if (!answer && isPreconditionFailure(answer.error()) && m_conflictRounds < maxConflictRounds) {
        // Someone else saved since this copy was loaded: take theirs, lay the edits over it and save again.
        ++m_conflictRounds;
        auto fetch = PortfolioAPI::fetchPortfolio(m_endpoint, token, m_sessionCancel);
        auto current = co_await std::move(fetch);
        if (!self)
            co_return;
        setSyncState(m_loadingPortfolio, false);
        if (!isSession(token))
            co_return;
        if (!current) {
            noteUnreachable(current.error());
            co_return;
        }
        acceptServicePortfolio(*current);
        schedulePortfolioSave();
        co_return;
    }
    if (!answer) {
        noteUnreachable(answer.error());
        setSyncState(m_loadingPortfolio, false);
        co_return;
    }
    noteReachable();
    m_conflictRounds = 0;
    const bool changed = answer->version != m_syncedVersion || answer->version.isEmpty();
    m_syncedRows = std::move(answer->holdings);
    m_syncedCashRows = std::move(answer->cashBalances);
    m_syncedVersion = answer->version;
    setSyncState(m_loadingPortfolio, false);
    if (changed && m_sessionReady)
        m_performance->loadSoon();
    persistNow();
    if (!portfolioMatchesSyncedData())
        schedulePortfolioSave();
}

void Workspace::signOut()
{
    cancelPendingSave();
    m_reconnectTimer.stop();
    m_persistTimer.stop();
    // The copy is this account's alone; whoever signs in next must not find it on this computer.
    m_localCopy.remove();
    m_localCopy.setAccount({}, {});
    m_persisted.reset();
    m_undoStack.clear();
    m_undoAccount.clear();
    setRows({});
    m_syncedRows.clear();
    m_syncedCashRows.clear();
    setCashRows({});
    m_auth.signOut();
}

void Workspace::acceptServicePortfolio(const PortfolioData &data)
{
    const bool wasShowingCopy = m_showingLocalCopy;
    m_portfolioLoaded = true;
    m_showingLocalCopy = false;
    QList<AssetRow> rows = data.holdings;
    QList<CashRow> cashRows = data.cashBalances;
    if (!portfolioMatchesSyncedData()) {
        const auto holdings = mergeRows(m_syncedRows, m_rows, data.holdings);
        const auto cash = mergeRows(m_syncedCashRows, m_cashRows, data.cashBalances);
        rows = holdings.rows;
        cashRows = cash.rows;
        if (!holdings.conflicts.isEmpty() || !cash.conflicts.isEmpty()) {
            const auto kept = [holdings = holdings.conflicts, cash = cash.conflicts](const QString &language) {
                QStringList names;
                for (const AssetRow &row : holdings)
                    names.append(rowName(row, language));
                for (const CashRow &row : cash)
                    names.append(rowName(row, language));
                return AppText::format(u"keptConflictingChanges", language, {listedNames(names, language)});
            };
            setRowEditStatusLine(StatusLine(kept, displayLanguageCode()));
        }
    }
    m_syncedRows = data.holdings;
    m_syncedCashRows = data.cashBalances;
    m_syncedVersion = data.version;
    // The same rows again (a reload after a start from this computer's copy) reset no view.
    if (!(rows == m_rows))
        setRows(std::move(rows));
    setCashRows(std::move(cashRows));
    if (wasShowingCopy)
        Q_EMIT syncStateChanged();
    persistNow();
}

} // namespace quillfern
