#include "app/transactions/TransactionEditor.h"

#include "app/workspace/Workspace.h"
#include "text/Localization.h"

#include <QPointer>

namespace quillfern {

const QStringList TransactionEditor::marketChoices{QStringLiteral("US"), QStringLiteral("HK"), QStringLiteral("CN"),
                                                   QStringLiteral("JP"), QStringLiteral("EU")};
const QStringList TransactionEditor::transactionTypes{QStringLiteral("BUY"), QStringLiteral("SELL")};

QString TransactionEditor::transactionTypeKey(const QString &type)
{
    // Only the exact word BUY is a buy; the ledger shows anything else as a sell.
    return type == QLatin1String("BUY") ? QStringLiteral("buy") : QStringLiteral("sell");
}

TransactionEditor::TransactionEditor(TransactionReferenceData reference, TransactionSave onSave, QDateTime openedAt,
                                     QObject *parent)
    : QObject(parent), m_reference(std::move(reference)), m_onSave(std::move(onSave))
{
    if (!m_reference.brokerageOptions.isEmpty())
        m_entries.broker = m_reference.brokerageOptions.first();
    m_entries.currency = m_reference.supportedCurrencies.isEmpty() ? QStringLiteral("USD")
                                                                   : m_reference.supportedCurrencies.first().code;
    if (!m_reference.gicsClassifications.isEmpty())
        m_entries.sector = m_reference.gicsClassifications.first().sectorName;
    const QStringList subs = subSectorOptions();
    if (!subs.isEmpty())
        m_entries.subSector = subs.first();
    m_entries.tradedAt = openedAt;
}

TransactionSave TransactionEditor::saveTo(Workspace &workspace)
{
    // Not a coroutine itself: it only starts the workspace's task and hands it over.
    return [&workspace](TransactionCreateInput input) { return workspace.createTransaction(std::move(input)); };
}

TransactionReferenceData TransactionEditor::referenceDataOf(const Workspace &workspace)
{
    const LanguageOption language = workspace.selectedLanguage();
    return TransactionReferenceData{workspace.brokerageNames(), workspace.currencies(), workspace.gicsClassifications(),
                                    language.code, language.locale};
}

void TransactionEditor::setEntries(const TransactionEntries &entries)
{
    if (entries == m_entries)
        return;
    const bool sectorChanged = entries.sector != m_entries.sector;
    m_entries = entries;
    // The industry picker lists only the new sector's sub-industries. A sub-industry of another sector
    // would be sent while the picker shows none, so it gives way to the first one listed.
    if (sectorChanged) {
        const QStringList subs = subSectorOptions();
        if (!subs.contains(m_entries.subSector))
            m_entries.subSector = subs.isEmpty() ? QString() : subs.first();
    }
    Q_EMIT entriesChanged();
}

QStringList TransactionEditor::sectorOptions() const
{
    QStringList sectors;
    for (const GICSClassification &entry : m_reference.gicsClassifications) {
        if (!sectors.contains(entry.sectorName))
            sectors.append(entry.sectorName);
    }
    return sectors;
}

QStringList TransactionEditor::subSectorOptions() const
{
    QStringList subs;
    for (const GICSClassification &entry : m_reference.gicsClassifications) {
        if (entry.sectorName == m_entries.sector)
            subs.append(entry.subIndustryName);
    }
    return subs;
}

TransactionCreateInput TransactionEditor::input() const
{
    TransactionCreateInput input;
    input.broker = m_entries.broker;
    input.market = m_entries.market;
    input.code = m_entries.code.trimmed().toUpper();
    input.transactionType = m_entries.transactionType;
    input.quantity = m_entries.quantity;
    input.price = m_entries.price;
    input.commission = m_entries.commission;
    input.currency = m_entries.currency;
    input.sector = m_entries.sector;
    input.subSector = m_entries.subSector;
    QDateTime utc = m_entries.tradedAt.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    input.tradedAt = utc.toString(Qt::ISODate);
    input.reason = m_entries.reason.trimmed();
    return input;
}

bool TransactionEditor::isValid() const
{
    // Written so that a number that is not a number fails every check.
    return !m_entries.broker.isEmpty() && !m_entries.code.trimmed().isEmpty() && m_entries.quantity > 0 &&
           m_entries.price > 0 && m_entries.commission >= 0;
}

QCoro::Task<> TransactionEditor::save()
{
    if (m_saving)
        co_return;
    if (!isValid()) {
        setState(false, AppText::value(u"transactionValidation", m_reference.languageCode));
        co_return;
    }
    setState(true, std::nullopt);
    const QPointer<TransactionEditor> self(this);
    auto saving = m_onSave(input());
    const std::optional<APIFailure> failure = co_await std::move(saving);
    // The sheet may have been closed while the request was out.
    if (!self)
        co_return;
    if (!failure) {
        Q_EMIT finished();
        co_return;
    }
    setState(false, failure->description());
}

void TransactionEditor::setState(bool saving, std::optional<QString> error)
{
    if (saving == m_saving && error == m_error)
        return;
    m_saving = saving;
    m_error = std::move(error);
    Q_EMIT stateChanged();
}

} // namespace quillfern
