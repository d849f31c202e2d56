#include "app/transactions/TransactionEditor.h"

#include "app/workspace/Workspace.h"
#include "core/CurrencyCatalog.h"
#include "text/Localization.h"

#include <QPointer>

namespace quillfern {

const QStringList TransactionEditor::marketChoices{QStringLiteral("US"), QStringLiteral("HK"), QStringLiteral("CN"),
                                                   QStringLiteral("JP"), QStringLiteral("EU")};

namespace {

TransactionEntries entriesOf(const TransactionRecord &record, const QDateTime &fallbackTime)
{
    TransactionEntries entries;
    entries.broker = record.broker;
    entries.market = record.market.isEmpty() ? entries.market : record.market;
    entries.code = record.code;
    entries.transactionType = record.transactionType;
    entries.quantity = record.quantity;
    entries.price = record.price;
    entries.commission = record.commission;
    entries.amount = record.amount.value_or(0);
    entries.splitNew = record.splitRatio.value_or(0);
    entries.settlesInCash = record.settlesInCash.value_or(true);
    entries.currency = record.currency;
    entries.sector = record.sector;
    entries.subSector = record.subSector;
    const QDateTime stored = QDateTime::fromString(record.tradedAt, Qt::ISODate);
    entries.tradedAt = stored.isValid() ? stored.toLocalTime() : fallbackTime;
    entries.reason = record.reason;
    return entries;
}

} // namespace

TransactionEditor::TransactionEditor(TransactionReferenceData reference, TransactionSave onSave, QDateTime openedAt,
                                     std::optional<TransactionRecord> editing, QObject *parent)
    : QObject(parent), m_reference(std::move(reference)), m_onSave(std::move(onSave)), m_editing(std::move(editing))
{
    if (m_editing) {
        m_entries = entriesOf(*m_editing, openedAt);
        // The stored currency stays whatever the market was.
        m_currencyPicked = true;
    } else {
        if (!m_reference.brokerageOptions.isEmpty())
            m_entries.broker = m_reference.brokerageOptions.first();
        m_entries.currency = CurrencyCatalog::currency(m_entries.market);
        m_entries.tradedAt = openedAt;
    }
    if (const auto held = heldPosition()) {
        m_entries.sector = held->sector;
        m_entries.subSector = held->subSector;
        m_sectorFromHolding = true;
    }
}

TransactionSave TransactionEditor::saveTo(Workspace &workspace)
{
    // Not a coroutine itself: it only starts the workspace's task and hands it over.
    return [&workspace](TransactionCreateInput input) { return workspace.createTransaction(std::move(input)); };
}

TransactionReferenceData TransactionEditor::referenceDataOf(const Workspace &workspace)
{
    const LanguageOption language = workspace.selectedLanguage();
    return TransactionReferenceData{workspace.brokerageNames(),
                                    workspace.currencies(),
                                    workspace.gicsClassifications(),
                                    language.code,
                                    language.locale,
                                    workspace.rows()};
}

std::optional<AssetRow> TransactionEditor::heldPosition() const
{
    return quillfern::heldPosition(m_reference.holdings, m_entries.market, m_entries.code);
}

bool TransactionEditor::needsSector() const
{
    return form().opensPosition && !heldPosition();
}

void TransactionEditor::setEntries(const TransactionEntries &entries)
{
    if (entries == m_entries)
        return;
    TransactionEntries next = entries;
    if (next.currency != m_entries.currency)
        m_currencyPicked = true;
    else if (next.market != m_entries.market && !m_currencyPicked)
        next.currency = CurrencyCatalog::currency(next.market);
    const bool sectorChanged = next.sector != m_entries.sector;
    m_entries = std::move(next);
    if (const auto held = heldPosition()) {
        m_entries.sector = held->sector;
        m_entries.subSector = held->subSector;
        m_sectorFromHolding = true;
    } else if (std::exchange(m_sectorFromHolding, false)) {
        // The holding's sector was not the user's pick: a code held nowhere starts from none.
        m_entries.sector.clear();
        m_entries.subSector.clear();
    } else if (sectorChanged && !subSectorOptions().contains(m_entries.subSector)) {
        // The industry picker lists only the sector's sub-industries; one of another sector is not sent.
        m_entries.subSector.clear();
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
    input.code = m_entries.code.trimmed().toUpper();
    // A dividend or a fee may name no code, and then no market either.
    input.market = input.code.isEmpty() && form().instrument == FieldUse::Optional ? QString() : m_entries.market;
    input.transactionType = m_entries.transactionType;
    input.quantity = m_entries.quantity;
    input.price = m_entries.price;
    input.commission = m_entries.commission;
    input.amount = m_entries.amount;
    input.splitRatio = m_entries.splitOld > 0 ? m_entries.splitNew / m_entries.splitOld : 0;
    input.settlesInCash = m_entries.settlesInCash;
    input.currency = m_entries.currency;
    input.sector = m_entries.sector;
    input.subSector = m_entries.subSector;
    QDateTime utc = m_entries.tradedAt.toUTC();
    utc.setTime(QTime(utc.time().hour(), utc.time().minute(), utc.time().second()));
    input.tradedAt = utc.toString(Qt::ISODate);
    input.reason = m_entries.reason.trimmed();
    return keptForType(std::move(input));
}

std::optional<TransactionFault> TransactionEditor::fault(const QDateTime &now) const
{
    return transactionFault(input(), needsSector(), now);
}

QCoro::Task<> TransactionEditor::save()
{
    if (m_saving)
        co_return;
    if (const auto found = fault()) {
        const QString language = m_reference.languageCode;
        setState(false, AppText::format(found->messageKey, language, {AppText::value(found->labelKey, language)}),
                 found->field);
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

void TransactionEditor::setState(bool saving, std::optional<QString> error, QString field)
{
    if (saving == m_saving && error == m_error && field == m_faultyField)
        return;
    m_saving = saving;
    m_error = std::move(error);
    m_faultyField = std::move(field);
    Q_EMIT stateChanged();
}

} // namespace quillfern
