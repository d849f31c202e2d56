#pragma once

// The performance of the signed-in account over the chosen period: loaded after the session's load chain
// and again, debounced, after any change of the ledger or the portfolio. A load never waits for another;
// a newer one makes an older answer moot. A failure keeps the figures of the last answer and says why.

#include "api/PortfolioAPI.h"
#include "app/workspace/PerformancePeriod.h"
#include "app/workspace/StatusLine.h"

#include <QCoroTask>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

namespace quillfern {

// What a load reaches of the workspace.
class PerformanceSession {
public:
    virtual ~PerformanceSession() = default;

    virtual std::optional<QString> currentToken() const = 0;
    virtual bool isSession(const QString &token) const = 0;
    virtual const APIEndpoint &endpoint() const = 0;
    virtual CancelToken sessionCancel() const = 0;
    virtual QString displayLanguageCode() const = 0;
    // Where "All" starts.
    virtual std::optional<QDate> earliestTrade() const = 0;
};

class PerformanceLoader : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds reloadDelay{800};

    explicit PerformanceLoader(PerformanceSession &session, QObject *parent = nullptr);

    PerformancePeriod period() const { return m_period; }
    // Another period is loaded at once.
    void setPeriod(PerformancePeriod period);
    // Today's date by default; tests pin it.
    void setToday(std::function<QDate()> today) { m_today = std::move(today); }

    // The last answer of this session and the days it covers; none before the first.
    const std::optional<PerformanceResponse> &figures() const { return m_figures; }
    const DateRange &figuresRange() const { return m_range; }
    bool isLoading() const { return m_loading; }
    // Why the last load failed, in the display language; empty after a success.
    const QString &error() const { return m_error.text(); }
    void retranslate(const QString &languageCode);

    // A load now, and one after reloadDelay (every call starts the delay again).
    void load();
    void loadSoon();
    // The session changed: its figures go, and no answer still on its way counts.
    void forget();

Q_SIGNALS:
    // figures, isLoading or error.
    void changed();

private:
    QCoro::Task<> run();

    PerformanceSession &m_session;
    PerformancePeriod m_period = PerformancePeriod::OneYear;
    std::function<QDate()> m_today = [] { return QDate::currentDate(); };
    std::optional<PerformanceResponse> m_figures;
    DateRange m_range;
    bool m_loading = false;
    StatusLine m_error;
    quint64 m_generation = 0;
    QTimer m_debounce;
};

} // namespace quillfern
