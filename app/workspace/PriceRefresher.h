#pragma once

// Price refresh: one request per target row, strictly one after another, prices written into the working
// copy and saved through the debounced portfolio save. The workspace owns one; it reaches the rows and the
// session only through PriceRefreshTarget, so the rules of a run live here and nowhere else. Beside the
// rows it keeps what the service said of each price it fetched (PriceFacts).

#include "api/PortfolioAPI.h"
#include "app/workspace/PriceFacts.h"
#include "app/workspace/StatusLine.h"
#include "core/PortfolioRows.h"

#include <QCoroTask>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <chrono>
#include <optional>

namespace quillfern {

// What a refresh reaches of the workspace: the rows it writes fetched prices into, and the session it runs
// for. A fetched price is the service's figure, not the user's change: it goes straight into the working
// copy and never becomes an undo command.
class PriceRefreshTarget {
public:
    virtual ~PriceRefreshTarget() = default;

    virtual const QList<AssetRow> &rows() const = 0;
    // Writes a fetched price into the row with this id and announces it; false when no row has the id.
    virtual bool writePrice(const QString &rowID, double price) = 0;
    virtual void schedulePortfolioSave() = 0;
    virtual void setRowEditStatus(const StatusLine &status) = 0;
    // The language the statuses are made in.
    virtual QString displayLanguageCode() const = 0;
    // The portfolio is being loaded: its rows may be replaced at any moment.
    virtual bool isLoading() const = 0;

    // The signed-in session's token, none when signed out.
    virtual std::optional<QString> currentToken() const = 0;
    // The token is still the session's.
    virtual bool isSession(const QString &token) const = 0;
    virtual const APIEndpoint &endpoint() const = 0;
    // Cancelled when the session's run is replaced or signed out.
    virtual CancelToken sessionCancel() const = 0;
};

class PriceRefresher : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::minutes automaticInterval{15};

    explicit PriceRefresher(PriceRefreshTarget &target, QObject *parent = nullptr);

    bool isRefreshing() const { return m_refreshing; }
    // The line beside the toolbar's refresh button.
    const QString &status() const { return m_status.text(); }
    // Makes the status again in the language the user picked.
    void retranslate(const QString &languageCode);
    // The status says what the user must see over a summary of the prices: a run going, a failure, a
    // missing sign-in.
    bool statusNeedsAttention() const { return m_refreshing || m_attention; }
    const PriceFactsBook &facts() const { return m_facts; }
    void forgetFacts() { m_facts.clear(); }

    // rowIDs none means every row.
    QCoro::Task<> refresh(bool onlyMissing, std::optional<QSet<QString>> rowIDs);
    // The toolbar's refresh button: nothing while a run is going.
    void refreshAll();

    // Refreshing by itself, every automaticInterval while on. Off by default: the window turns it on.
    void setAutomatic(bool on);
    bool isAutomatic() const { return m_automatic; }
    // A row is in edit mode: automatic runs wait until it is left.
    void setHeld(bool held);
    // The clock's tick, and the service reached again after an offline spell: a refresh of every row as
    // soon as no run, load or edit stands in its way. Nothing when automatic refresh is off.
    void runAutomatically();
    // Starts an automatic run that was waiting, when nothing stands in its way any more.
    void continueAutomatic();

Q_SIGNALS:
    // isRefreshing or status.
    void changed();

private:
    void setState(bool refreshing, StatusLine status, bool attention = false);
    void continueSoon();

    PriceRefreshTarget &m_target;
    bool m_refreshing = false;
    bool m_attention = false;
    StatusLine m_status;
    PriceFactsBook m_facts;
    QTimer m_clock;
    bool m_automatic = false;
    bool m_held = false;
    bool m_due = false;
};

} // namespace quillfern
