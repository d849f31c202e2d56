#include "app/workspace/PerformanceLoader.h"

#include "text/Localization.h"

#include <QPointer>

namespace quillfern {

PerformanceLoader::PerformanceLoader(PerformanceSession &session, QObject *parent)
    : QObject(parent), m_session(session)
{
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(reloadDelay);
    connect(&m_debounce, &QTimer::timeout, this, &PerformanceLoader::load);
}

void PerformanceLoader::setPeriod(PerformancePeriod period)
{
    if (period == m_period)
        return;
    m_period = period;
    load();
}

void PerformanceLoader::retranslate(const QString &languageCode)
{
    if (m_error.retranslate(languageCode))
        Q_EMIT changed();
}

void PerformanceLoader::load()
{
    m_debounce.stop();
    run();
}

void PerformanceLoader::loadSoon()
{
    if (m_session.currentToken())
        m_debounce.start();
}

void PerformanceLoader::forget()
{
    ++m_generation;
    m_debounce.stop();
    m_figures.reset();
    m_range = {};
    m_loading = false;
    m_error = {};
    Q_EMIT changed();
}

QCoro::Task<> PerformanceLoader::run()
{
    const auto token = m_session.currentToken();
    if (!token)
        co_return;
    const quint64 generation = ++m_generation;
    const DateRange range = periodDates(m_period, m_today(), m_session.earliestTrade());
    const CancelToken cancel = m_session.sessionCancel();
    const QPointer<PerformanceLoader> self(this);
    if (!m_loading) {
        m_loading = true;
        Q_EMIT changed();
    }
    auto call = PortfolioAPI::fetchPerformance(m_session.endpoint(), *token, range.from, range.to, {}, {}, cancel);
    auto answer = co_await std::move(call);
    // A newer load, or forget(), has taken over: it owns the state now.
    if (!self || generation != m_generation)
        co_return;
    m_loading = false;
    if ((cancel && cancel->isCancelled()) || !m_session.isSession(*token)) {
        Q_EMIT changed();
        co_return;
    }
    if (answer) {
        m_figures = *std::move(answer);
        m_range = range;
        m_error = {};
    } else {
        m_error = StatusLine(
            [failure = answer.error()](const QString &in) {
                return AppText::format(u"performanceNotLoaded", in, {failure.description()});
            },
            m_session.displayLanguageCode());
    }
    Q_EMIT changed();
}

} // namespace quillfern
