#pragma once

// The window's working state and every exchange with the service that concerns the portfolio as a whole:
// the load chain after a session change, the debounced save, transaction creation and sign-out. Price
// refresh is its PriceRefresher's, which reaches the rows and the session through PriceRefreshTarget.
// Editing a row is the editors' (HoldingsEditor, BalanceEditor); they reach the rows through HoldingRows
// and record every change on the account's undo stack. Widgets only show this state and forward gestures
// to it. Everything runs on the main thread; asynchronous operations suspend on service
// calls and check the session again when they resume.

#include "api/PortfolioAPI.h"
#include "app/workspace/HoldingRows.h"
#include "app/workspace/LocalCopy.h"
#include "app/workspace/PerformanceLoader.h"
#include "app/workspace/PriceRefresher.h"
#include "core/PortfolioRows.h"
#include "core/WorkspaceValuation.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QSettings>
#include <QTimer>
#include <QUndoStack>

#include <memory>
#include <optional>

namespace quillfern {

class AuthManager;

class Workspace : public HoldingRows {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds saveDelay{600};
    static const QString reportingCurrencyKey;
    static const QString languageKey;

    // The session is the window's; preferences hold the reporting currency and the language.
    Workspace(AuthManager &auth, APIEndpoint endpoint, std::unique_ptr<QSettings> preferences,
              QObject *parent = nullptr);
    ~Workspace() override;

    AuthManager &auth() const { return m_auth; }
    // Where each account's local copy is kept; empty keeps none. Set before start().
    void setLocalCopyFolder(const QString &folder);
    // Reconnect at once when the system reports the network back, besides the timed retries.
    void setWatchesNetwork(bool watches);

    // The working copy and the copy the service last confirmed.
    const QList<AssetRow> &rows() const override { return m_rows; }
    const QList<CashRow> &cashRows() const { return m_cashRows; }
    const QList<AssetRow> &syncedRows() const { return m_syncedRows; }
    const QList<CashRow> &syncedCashRows() const { return m_syncedCashRows; }

    bool isLoadingPortfolio() const { return m_loadingPortfolio; }
    bool isSavingPortfolio() const { return m_savingPortfolio; }
    // The error banner's text, in the display language.
    std::optional<QString> portfolioError() const;
    bool hasPendingSave() const { return m_pendingSave.has_value(); }
    // The load chain of the current session has run to its end (false before the first run).
    bool isSessionReady() const { return m_sessionReady; }
    // The portfolio on screen came from this computer's copy and the service has not confirmed it yet.
    bool isShowingLocalCopy() const { return m_showingLocalCopy; }
    // The last exchange with the service found it unreachable; a reconnect is scheduled.
    bool isOffline() const { return m_offline; }
    // What the error banner adds while a reconnect is scheduled: that it will be retried, and that unsent
    // edits are safe. Empty otherwise.
    QString reconnectNotice() const;
    // A portfolio (loaded or kept on this computer) can be shown instead of the loading view.
    bool hasPortfolioCopy() const { return m_portfolioLoaded || m_showingLocalCopy; }
    // Edits of the working copy that the service does not hold yet, whatever is running.
    bool hasUnsyncedEdits() const;
    // Unsynced edits, a save waiting for its debounce or one in flight: what closing has to see through.
    bool hasUnsentWork() const;
    // Unsynced edits are kept on disk for this account, so quitting cannot lose them.
    bool keepsEditsOnDisk() const { return m_localCopy.hasAccount() && m_persisted.has_value(); }
    // Writes the local copy now; false when there is none for this account or it could not be written.
    bool flushLocalCopy();

    // The user's changes to holdings and cash rows of the signed-in account, as undoable commands.
    // Emptied when the account changes or signs out.
    QUndoStack &undoStack() { return m_undoStack; }
    const QString &rowEditStatus() const override { return m_rowEditStatus.text(); }
    void setRowEditStatus(const QString &status) override;
    void setRowEditStatusLine(const StatusLine &status) override;

    // The toolbar's price refresh, the one after a row is saved and the load chain's for missing prices.
    PriceRefresher &priceRefresher() { return *m_priceRefresher; }
    const PriceRefresher &priceRefresher() const { return *m_priceRefresher; }
    // The performance page's figures: loaded after the load chain and after changes the service confirmed.
    PerformanceLoader &performance() { return *m_performance; }
    const PerformanceLoader &performance() const { return *m_performance; }
    bool isHoldingStatsExpanded() const { return m_holdingStatsExpanded; }
    void setHoldingStatsExpanded(bool expanded);

    const QList<CurrencyOption> &currencies() const { return m_currencies; }
    const QList<LanguageOption> &languages() const { return m_languages; }
    const QList<BrokerageOption> &brokerages() const { return m_brokerages; }
    const QList<GICSClassification> &gicsClassifications() const { return m_gicsClassifications; }
    const QList<TransactionRecord> &transactions() const { return m_transactions; }

    // The window's preferences; pages keep their own choices (a table's order) here too.
    QSettings &preferences() const { return *m_preferences; }
    // Read from and written to the preferences on every access.
    QString reportingCurrencyCode() const;
    void setReportingCurrencyCode(const QString &code);
    QString languageCode() const;
    void setLanguageCode(const QString &code);

    // Derived values, always those of the current rows.
    const PortfolioSummary &summary() const { return m_summary; }
    // The figures of one row, or none when the row holds no position.
    const AssetValuation *position(const QString &rowID) const override;
    CurrencyOption reportingCurrency() const override;
    LanguageOption selectedLanguage() const;
    QString displayLanguageCode() const override { return selectedLanguage().code; }
    QString displayLocale() const override { return selectedLanguage().locale; }
    const PriceFacts *priceFacts(const AssetRow &row) const override { return m_priceRefresher->facts().of(row); }
    double usdPerUnit(const QString &currency) const override { return quillfern::usdPerUnit(currency, m_currencies); }
    QStringList brokerageNames() const override;
    // One sector name per distinct sector code, the first met, in list order.
    QStringList gicsSectorNames() const override;
    // The sub-industries of a sector (exact name), in list order, duplicates kept.
    QStringList gicsSubIndustryNames(const QString &sectorName) const override;

    // Session and sync.
    // The session task: runs the load chain now and again whenever the access token changes value; a run
    // still going when the token changes is cancelled.
    void start();
    QCoro::Task<> loadCurrencies();
    QCoro::Task<> loadBrokerages();
    QCoro::Task<> loadPortfolio();
    // The error banner's retry, and the reconnect: loads everything again and lays unsynced edits over it.
    void retryLoadPortfolio();
    bool portfolioMatchesSyncedData() const;
    void schedulePortfolioSave() override;
    // None when the trade was recorded and both lists reloaded; else why not, for the editor to show.
    QCoro::Task<std::optional<APIFailure>> createTransaction(TransactionCreateInput input);
    // createTransaction, answering with the record as the service stored it (its new id).
    QCoro::Task<APIResult<TransactionRecord>> recordTransaction(TransactionCreateInput input);
    // The stored transaction with this id takes the input's fields; both lists reload, as after a create.
    QCoro::Task<std::optional<APIFailure>> updateTransaction(QString id, TransactionCreateInput input);
    // The stored transaction with this id goes away; both lists reload, as after a create.
    QCoro::Task<std::optional<APIFailure>> deleteTransaction(QString id);
    // Books a file's transactions at once, all or none; when it booked anything, both lists reload.
    QCoro::Task<APIResult<TransactionImportResult>> importTransactions(TransactionImportRequest request);
    void signOut();
    // A save could go out now: the session's portfolio was loaded and no load is running.
    bool canSaveNow() const;
    // Sends the unsynced edits at once instead of after the debounce; nothing when a save is running (its
    // end schedules the next) or nothing can be sent. The outcome shows in syncStateChanged.
    void saveNow();

    // A private brokerage of the account, named as the add-brokerage dialog was given it.
    QCoro::Task<> createCustomBrokerage(QString name);

    // Where the service is, for exchanges of the account as a whole (backup and restore).
    const APIEndpoint &endpoint() const { return m_endpoint; }
    // Before a restored backup replaces the account on the service: the save waiting for its debounce is
    // dropped, so nothing of the account as it was reaches the service after the backup.
    void prepareAccountReplacement();
    // The service refused the backup: saves that waited go out as they would have.
    void abandonAccountReplacement();
    // After the service replaced the account: this computer's copy and the undo history belong to the
    // account as it was, so they go, and everything loads again as after a session change.
    void reloadReplacedAccount();

    // Writes of the holdings rows, as HoldingRows describes them.
    void updateRow(const QString &id, const AssetRow &row) override;
    void insertRow(int index, const AssetRow &row) override;
    void removeRow(const QString &id) override;
    void refreshPriceOf(const QString &rowID) override;

    // Cash rows, as the balance page edits them.
    void setCashRows(QList<CashRow> rows);

Q_SIGNALS:
    void cashRowsChanged();
    // isLoadingPortfolio, isSavingPortfolio, portfolioError, the pending save.
    void syncStateChanged();
    void holdingStatsExpandedChanged();
    void transactionsChanged();
    // A run of the load chain reached its end (it was not replaced by a newer one).
    void sessionLoaded();

private:
    class PriceRows;

    // A post whose answer did not arrive: the same trade posted again carries the same key.
    struct TransactionPost {
        TransactionCreateInput input;
        QString idempotencyKey;
    };

    struct PendingSave {
        QString token;
        QList<AssetRow> holdings;
        QList<CashRow> cashBalances;
    };

    template <class Record>
    using ListFetch = QCoro::Task<APIResult<QList<Record>>> (*)(APIEndpoint, QString, CancelToken);
    template <class Record>
    QCoro::Task<> loadList(ListFetch<Record> fetch, QList<Record> Workspace::*field, void (Workspace::*notify)());

    QCoro::Task<> sessionDidChange();
    QCoro::Task<> loadLanguages();
    QCoro::Task<> loadGICSClassifications();
    QCoro::Task<> loadTransactions();
    QCoro::Task<> savePortfolio(QString token, QList<AssetRow> holdings, QList<CashRow> cashBalances);

    static bool wasCancelledRun(const CancelToken &cancel);
    // Worth trying again by itself: the service could not be reached, or answered that it is unwell for now.
    static bool isTransient(const APIFailure &failure);
    // After a change of the ledger the service has applied it to holdings and cash: both come back.
    QCoro::Task<std::optional<APIFailure>> reloadLedgerAndPortfolio(QString token);
    std::optional<QString> currentToken() const;
    bool isSession(const QString &token) const;
    void onAccessTokenChanged();
    void runSession();
    void cancelPendingSave();
    void sendPendingSave();

    void setRows(QList<AssetRow> rows);
    void setCurrencies(QList<CurrencyOption> currencies);
    void rowsDidChange();
    void setSyncState(bool loading, bool saving);
    void setPortfolioError(std::optional<StatusLine> error);
    // The failure's description, made again in whatever language the window speaks.
    void setPortfolioError(const APIFailure &failure);
    // The kept status lines follow the display language.
    void retranslateStatus();
    // A portfolio the service answered: unsynced edits are merged over it, and a save follows when they remain.
    void acceptServicePortfolio(const PortfolioData &data);
    void installLocalCopy();
    void persistSoon();
    void persistNow();
    QString accountKey() const;
    // The load chain without clearing anything first: reference lists, then the portfolio.
    QCoro::Task<> reloadFromService();
    void noteReachable();
    void noteUnreachable(const APIFailure &failure);
    void scheduleReconnect();
    void watchNetwork();
    void reconnect();
    int indexOfRow(const QString &id) const;

    AuthManager &m_auth;
    APIEndpoint m_endpoint;
    std::unique_ptr<QSettings> m_preferences;

    QList<AssetRow> m_rows;
    QList<CashRow> m_cashRows;
    QList<AssetRow> m_syncedRows;
    QList<CashRow> m_syncedCashRows;
    bool m_loadingPortfolio = false;
    bool m_savingPortfolio = false;
    bool m_replacingAccount = false; // a restore is on its way: saves wait, and are dropped if it lands
    std::optional<StatusLine> m_portfolioError;
    QTimer m_saveTimer;
    std::optional<PendingSave> m_pendingSave;
    QByteArray m_syncedVersion;
    bool m_portfolioLoaded = false;
    bool m_showingLocalCopy = false;
    bool m_offline = false;
    int m_conflictRounds = 0;
    std::optional<TransactionPost> m_unansweredPost;

    LocalCopy m_localCopy;
    std::optional<LocalCopyData> m_persisted; // what the file holds, when it was written

    QTimer m_persistTimer;
    QTimer m_reconnectTimer;
    int m_reconnectAttempt = 0;
    bool m_reloading = false;
    bool m_watchesNetwork = false;
    bool m_networkWatched = false;

    QUndoStack m_undoStack;
    // Whose changes the undo stack holds.
    QString m_undoAccount;
    StatusLine m_rowEditStatus;

    bool m_holdingStatsExpanded = true;

    QList<CurrencyOption> m_currencies;
    QList<LanguageOption> m_languages;
    QList<BrokerageOption> m_brokerages;
    QList<GICSClassification> m_gicsClassifications;
    QList<TransactionRecord> m_transactions;

    PortfolioSummary m_summary;
    QHash<QString, AssetValuation> m_positions;

    // The session task: which token the current run is for, and how to stop its requests.
    bool m_started = false;
    bool m_sessionReady = false;
    std::optional<QString> m_sessionKey;
    quint64 m_sessionRun = 0;
    CancelToken m_sessionCancel;

    // Last, so a run cannot outlive what it reaches.
    std::unique_ptr<PriceRows> m_priceRows;
    std::unique_ptr<PriceRefresher> m_priceRefresher;
    std::unique_ptr<PerformanceLoader> m_performance;
};

} // namespace quillfern
