#include "app/workspace/PriceRefresher.h"

#include "text/Formats.h"

#include <QPointer>

#include <algorithm>

namespace quillfern {

namespace {

bool wasCancelledRun(const CancelToken &cancel)
{
    return cancel && cancel->isCancelled();
}

int indexOfRow(const QList<AssetRow> &rows, const QString &id)
{
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].id == id)
            return int(i);
    }
    return -1;
}

} // namespace

PriceRefresher::PriceRefresher(PriceRefreshTarget &target, QObject *parent)
    : QObject(parent), m_target(target), m_status(QStringLiteral("Prices refresh automatically after saving"))
{
    m_clock.setInterval(automaticInterval);
    connect(&m_clock, &QTimer::timeout, this, &PriceRefresher::runAutomatically);
}

QCoro::Task<> PriceRefresher::refresh(bool onlyMissing, std::optional<QSet<QString>> rowIDs)
{
    QList<AssetRow> targets;
    QSet<QString> symbols;
    for (const AssetRow &row : m_target.rows()) {
        if (rowIDs && !rowIDs->contains(row.id))
            continue;
        if (onlyMissing && !(row.currentPrice <= 0))
            continue;
        targets.append(row);
        const QString code = row.code.trimmed();
        if (!code.isEmpty())
            symbols.insert(row.market + QLatin1Char(':') + code.toUpper());
    }

    const auto token = m_target.currentToken();
    if (!token) {
        setState(m_refreshing, QStringLiteral("Sign in to refresh prices"), true);
        co_return;
    }
    if (symbols.isEmpty()) {
        setState(m_refreshing, onlyMissing ? QStringLiteral("All prices are up to date")
                                           : QStringLiteral("No stock codes to refresh"));
        co_return;
    }
    setState(true, QStringLiteral("Refreshing %1 symbols...").arg(symbols.size()));

    const QPointer<PriceRefresher> self(this);
    const CancelToken cancel = m_target.sessionCancel();
    int updated = 0;
    QStringList failures;
    for (const AssetRow &target : std::as_const(targets)) {
        const QString code = target.code.trimmed();
        if (code.isEmpty())
            continue;
        auto call = PortfolioAPI::fetchStockPrice(m_target.endpoint(), *token, code, target.market, cancel);
        auto answer = co_await std::move(call);
        if (!self)
            co_return;
        if (!answer) {
            // The session that asked is gone; nothing of this run is worth reporting.
            if (wasCancelledRun(cancel)) {
                setState(false, m_status, m_attention);
                co_return;
            }
            failures.append(target.code + QStringLiteral(": ") + answer.error().description());
            continue;
        }
        if (!m_target.isSession(*token))
            continue;
        // Recorded first, so that the row is repainted with them when the price is written.
        m_facts.record(target.market, code, priceFacts(*answer));
        if (!m_target.writePrice(target.id, answer->price))
            continue;
        ++updated;
    }

    if (updated == 0) {
        if (failures.isEmpty())
            setState(false, m_status, m_attention);
        else
            setState(false, failures.first(), true);
        co_return;
    }
    QString status = QStringLiteral("Updated %1 rows").arg(updated);
    if (rowIDs && !rowIDs->isEmpty()) {
        const QList<AssetRow> &rows = m_target.rows();
        const int position = indexOfRow(rows, *rowIDs->cbegin());
        if (position >= 0) {
            const AssetRow &row = rows[position];
            m_target.setRowEditStatus(QStringLiteral("Saved ") + row.code + QStringLiteral(" \u00B7 current ") +
                                      decimal(row.currentPrice, 2));
        }
    }
    m_target.schedulePortfolioSave();
    if (!failures.isEmpty())
        status += QStringLiteral(" \u00B7 %1 failed").arg(failures.size());
    setState(false, status, !failures.isEmpty());
}

void PriceRefresher::refreshAll()
{
    if (m_refreshing)
        return;
    refresh(false, std::nullopt);
}

void PriceRefresher::setAutomatic(bool on)
{
    if (m_automatic == on)
        return;
    m_automatic = on;
    if (on) {
        m_clock.start();
    } else {
        m_clock.stop();
        m_due = false;
    }
}

void PriceRefresher::setHeld(bool held)
{
    m_held = held;
    if (!held)
        continueSoon();
}

void PriceRefresher::runAutomatically()
{
    if (!m_automatic)
        return;
    m_due = true;
    continueSoon();
}

void PriceRefresher::continueAutomatic()
{
    if (!m_due || m_refreshing || m_held || m_target.isLoading())
        return;
    m_due = false;
    // Nothing to ask for, or nobody to ask for: an automatic run says nothing rather than "sign in".
    const QList<AssetRow> &rows = m_target.rows();
    const bool anyCode =
        std::any_of(rows.cbegin(), rows.cend(), [](const AssetRow &row) { return !row.code.trimmed().isEmpty(); });
    if (!anyCode || !m_target.currentToken())
        return;
    refresh(false, std::nullopt);
}

void PriceRefresher::continueSoon()
{
    // Never inside the run, load or edit that just ended: the caller finishes first.
    if (m_due)
        QTimer::singleShot(0, this, &PriceRefresher::continueAutomatic);
}

void PriceRefresher::setState(bool refreshing, const QString &status, bool attention)
{
    if (m_refreshing == refreshing && m_status == status && m_attention == attention)
        return;
    const bool ended = m_refreshing && !refreshing;
    m_refreshing = refreshing;
    m_status = status;
    m_attention = attention;
    Q_EMIT changed();
    if (ended)
        continueSoon();
}

} // namespace quillfern
