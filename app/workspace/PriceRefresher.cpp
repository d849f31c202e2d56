#include "app/workspace/PriceRefresher.h"

#include "text/Formats.h"

#include <QPointer>

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
        setState(m_refreshing, QStringLiteral("Sign in to refresh prices"));
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
        auto price = co_await std::move(call);
        if (!self)
            co_return;
        if (!price) {
            // The session that asked is gone; nothing of this run is worth reporting.
            if (wasCancelledRun(cancel)) {
                setState(false, m_status);
                co_return;
            }
            failures.append(target.code + QStringLiteral(": ") + price.error().description());
            continue;
        }
        if (!m_target.isSession(*token) || !m_target.writePrice(target.id, *price))
            continue;
        ++updated;
    }

    if (updated == 0) {
        setState(false, failures.isEmpty() ? m_status : failures.first());
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
    setState(false, status);
}

void PriceRefresher::refreshAll()
{
    if (m_refreshing)
        return;
    refresh(false, std::nullopt);
}

void PriceRefresher::setState(bool refreshing, const QString &status)
{
    if (m_refreshing == refreshing && m_status == status)
        return;
    m_refreshing = refreshing;
    m_status = status;
    Q_EMIT changed();
}

} // namespace quillfern
