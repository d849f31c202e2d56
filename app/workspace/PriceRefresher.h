#pragma once

// Price refresh: one request per target row, strictly one after another, prices written into the working
// copy and saved through the debounced portfolio save. The workspace owns one; it reaches the rows and the
// session only through PriceRefreshTarget, so the rules of a run live here and nowhere else.

#include "api/PortfolioAPI.h"
#include "core/PortfolioRows.h"

#include <QCoroTask>
#include <QObject>
#include <QSet>

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
    virtual void setRowEditStatus(const QString &status) = 0;

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
    explicit PriceRefresher(PriceRefreshTarget &target, QObject *parent = nullptr);

    bool isRefreshing() const { return m_refreshing; }
    // The line beside the toolbar's refresh button.
    const QString &status() const { return m_status; }

    // rowIDs none means every row.
    QCoro::Task<> refresh(bool onlyMissing, std::optional<QSet<QString>> rowIDs);
    // The toolbar's refresh button: nothing while a run is going.
    void refreshAll();

Q_SIGNALS:
    // isRefreshing or status.
    void changed();

private:
    void setState(bool refreshing, const QString &status);

    PriceRefreshTarget &m_target;
    bool m_refreshing = false;
    QString m_status;
};

} // namespace quillfern
