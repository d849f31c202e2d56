#include "app/workspace/PriceRefresher.h"

#include "text/Formats.h"
#include "text/Localization.h"

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
    : QObject(parent), m_target(target),
      m_status(StatusLine::of(u"pricesRefreshAfterSaving", target.displayLanguageCode()))
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

    const QString language = m_target.displayLanguageCode();
    const auto token = m_target.currentToken();
    if (!token) {
        setState(m_refreshing, StatusLine::of(u"refreshNeedsSignIn", language), true);
        co_return;
    }
    if (symbols.isEmpty()) {
        setState(m_refreshing, StatusLine::of(onlyMissing ? u"allPricesUpToDate" : u"noCodesToRefresh", language));
        co_return;
    }
    const auto refreshing = [count = qint64(symbols.size())](const QString &in) {
        return AppText::format(u"refreshingSymbols", in, {count});
    };
    setState(true, StatusLine(refreshing, language));

    const QPointer<PriceRefresher> self(this);
    const CancelToken cancel = m_target.sessionCancel();
    qint64 updated = 0;
    qint64 failures = 0;
    std::optional<StatusLine> firstFailure;
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
            if (failures++ == 0) {
                // The failure's own description follows the catalogue's current language.
                firstFailure = StatusLine(
                    [code = target.code, failure = answer.error()](const QString &in) {
                        return AppText::format(u"priceFailure", in, {code, failure.description()});
                    },
                    language);
            }
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
        if (firstFailure)
            setState(false, *firstFailure, true);
        else
            setState(false, m_status, m_attention);
        co_return;
    }
    if (rowIDs && !rowIDs->isEmpty()) {
        const QList<AssetRow> &rows = m_target.rows();
        const int position = indexOfRow(rows, *rowIDs->cbegin());
        if (position >= 0) {
            const AssetRow &row = rows[position];
            // The price is a figure, written under the system's locale whatever the language.
            m_target.setRowEditStatus(StatusLine(
                [code = row.code, price = decimal(row.currentPrice, 2)](const QString &in) {
                    return AppText::format(u"savedWithPrice", in, {code, price});
                },
                language));
        }
    }
    m_target.schedulePortfolioSave();
    const auto outcome = [updated, failures](const QString &in) {
        return failures == 0 ? AppText::format(u"updatedRows", in, {updated})
                             : AppText::format(u"updatedRowsSomeFailed", in, {updated, failures});
    };
    setState(false, StatusLine(outcome, language), failures > 0);
}

void PriceRefresher::retranslate(const QString &languageCode)
{
    if (m_status.retranslate(languageCode))
        Q_EMIT changed();
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

void PriceRefresher::setState(bool refreshing, StatusLine status, bool attention)
{
    if (m_refreshing == refreshing && m_status.text() == status.text() && m_attention == attention)
        return;
    const bool ended = m_refreshing && !refreshing;
    m_refreshing = refreshing;
    m_status = std::move(status);
    m_attention = attention;
    Q_EMIT changed();
    if (ended)
        continueSoon();
}

} // namespace quillfern
