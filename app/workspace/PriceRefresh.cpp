// Price refresh: one request per target row, strictly one after another, prices written into the working
// copy and saved through the debounced portfolio save.

#include "app/workspace/Workspace.h"
#include "text/Formats.h"

#include <QPointer>

namespace quillfern {

QCoro::Task<> Workspace::refreshPrices(bool onlyMissing, std::optional<QSet<QString>> rowIDs)
{
    QList<AssetRow> targets;
    QSet<QString> symbols;
    for (const AssetRow &row : std::as_const(m_rows)) {
        if (rowIDs && !rowIDs->contains(row.id))
            continue;
        if (onlyMissing && !(row.currentPrice <= 0))
            continue;
        targets.append(row);
        const QString code = row.code.trimmed();
        if (!code.isEmpty())
            symbols.insert(row.market + QLatin1Char(':') + code.toUpper());
    }

    const auto token = currentToken();
    if (!token) {
        setPriceRefresh(m_refreshingPrices, QStringLiteral("Sign in to refresh prices"));
        co_return;
    }
    if (symbols.isEmpty()) {
        setPriceRefresh(m_refreshingPrices, onlyMissing ? QStringLiteral("All prices are up to date")
                                                        : QStringLiteral("No stock codes to refresh"));
        co_return;
    }
    setPriceRefresh(true, QStringLiteral("Refreshing %1 symbols...").arg(symbols.size()));

    const QPointer<Workspace> self(this);
    const CancelToken cancel = m_sessionCancel;
    int updated = 0;
    QStringList failures;
    for (const AssetRow &target : std::as_const(targets)) {
        const QString code = target.code.trimmed();
        if (code.isEmpty())
            continue;
        auto call = PortfolioAPI::fetchStockPrice(m_endpoint, *token, code, target.market, cancel);
        auto price = co_await std::move(call);
        if (!self)
            co_return;
        if (!price) {
            // The session that asked is gone; nothing of this run is worth reporting.
            if (wasCancelledRun(cancel)) {
                setPriceRefresh(false, m_priceRefreshStatus);
                co_return;
            }
            failures.append(target.code + QStringLiteral(": ") + price.error().description());
            continue;
        }
        const int position = indexOfRow(target.id);
        if (!isSession(*token) || position < 0)
            continue;
        m_rows[position].currentPrice = *price;
        Q_EMIT rowChanged(position);
        rowsDidChange();
        ++updated;
    }

    if (updated == 0) {
        setPriceRefresh(false, failures.isEmpty() ? m_priceRefreshStatus : failures.first());
        co_return;
    }
    QString status = QStringLiteral("Updated %1 rows").arg(updated);
    if (rowIDs && !rowIDs->isEmpty()) {
        const int position = indexOfRow(*rowIDs->cbegin());
        if (position >= 0) {
            const AssetRow &row = m_rows[position];
            setRowEditStatus(QStringLiteral("Saved ") + row.code + QStringLiteral(" \u00B7 current ") +
                             decimal(row.currentPrice, 2));
        }
    }
    schedulePortfolioSave();
    if (!failures.isEmpty())
        status += QStringLiteral(" \u00B7 %1 failed").arg(failures.size());
    setPriceRefresh(false, status);
}

void Workspace::refreshAllPrices()
{
    if (m_refreshingPrices)
        return;
    refreshPrices(false, std::nullopt);
}

bool Workspace::wasCancelledRun(const CancelToken &cancel)
{
    return cancel && cancel->isCancelled();
}

void Workspace::setPriceRefresh(bool refreshing, const QString &status)
{
    if (m_refreshingPrices == refreshing && m_priceRefreshStatus == status)
        return;
    m_refreshingPrices = refreshing;
    m_priceRefreshStatus = status;
    Q_EMIT priceRefreshChanged();
}

} // namespace quillfern
