#pragma once

// The transaction sheet without its widgets: the entries with their starting values, the lists its
// pickers offer, which fields the picked type shows, and save, which checks and normalises the entries
// and hands them on. It adds a transaction, or edits one given to it.

#include "api/APIFailure.h"
#include "app/workspace/TransactionRules.h"
#include "core/PortfolioRows.h"
#include "core/ServiceRecords.h"

#include <QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

namespace quillfern {

class Workspace;

// None when the transaction was stored; else why not.
using TransactionSave = std::function<QCoro::Task<std::optional<APIFailure>>(TransactionCreateInput)>;

// The reference lists the page and the sheet are given.
struct TransactionReferenceData {
    QStringList brokerageOptions;
    QList<CurrencyOption> supportedCurrencies;
    QList<GICSClassification> gicsClassifications;
    QString languageCode;
    // The ICU locale of the language, which the trade time is shown under.
    QString locale = QStringLiteral("en_US");
    // The holdings, whose sector a transaction of a held code takes.
    QList<AssetRow> holdings = {};
};

// What the user types into the sheet.
struct TransactionEntries {
    QString broker;
    QString market = QStringLiteral("US");
    QString code;
    QString transactionType = QStringLiteral("BUY");
    double quantity = 0;
    double price = 0;
    double commission = 0;
    double amount = 0;
    // The split ratio as "new : old": 4 and 1 for a 4-for-1 split.
    double splitNew = 0;
    double splitOld = 1;
    bool settlesInCash = true;
    QString currency;
    QString sector;
    QString subSector;
    QDateTime tradedAt;
    QString reason;

    bool operator==(const TransactionEntries &) const = default;
};

class TransactionEditor : public QObject {
    Q_OBJECT

public:
    static const QStringList marketChoices;

    // A new transaction, its time openedAt; or, with editing, that one with its fields as stored.
    TransactionEditor(TransactionReferenceData reference, TransactionSave onSave,
                      QDateTime openedAt = QDateTime::currentDateTime(),
                      std::optional<TransactionRecord> editing = std::nullopt, QObject *parent = nullptr);

    // The workspace's create operation, which reloads the ledger and the holdings on success.
    static TransactionSave saveTo(Workspace &workspace);
    static TransactionReferenceData referenceDataOf(const Workspace &workspace);

    const TransactionReferenceData &referenceData() const { return m_reference; }
    const std::optional<TransactionRecord> &editedRecord() const { return m_editing; }
    const TransactionEntries &entries() const { return m_entries; }
    // Takes the entries, and then: a currency left alone follows a new market's until the user picks one;
    // a code held somewhere takes that holding's sector and sub-industry, a code held nowhere starts with
    // none; a sub-industry outside the sector gives way.
    void setEntries(const TransactionEntries &entries);

    // The fields of the picked type.
    TransactionForm form() const { return transactionForm(m_entries.transactionType); }
    // The holding of the entries' market and code, whose sector the transaction takes.
    std::optional<AssetRow> heldPosition() const;
    // The sector and sub-industry must be picked: the type opens a position and the code is held nowhere.
    bool needsSector() const;

    QStringList sectorOptions() const;
    QStringList subSectorOptions() const;

    bool isSaving() const { return m_saving; }
    const std::optional<QString> &errorMessage() const { return m_error; }
    // The wire name of the field the message is about ("quantity"), when the checks found one.
    const QString &faultyField() const { return m_faultyField; }

    // The request save would send for the entries as they stand: only the type's fields, code trimmed and
    // upper-cased, the trade time in UTC without fractions of a second, the reason trimmed.
    TransactionCreateInput input() const;
    // The first field at fault for the type, checked against the clock now.
    std::optional<TransactionFault> fault(const QDateTime &now = QDateTime::currentDateTimeUtc()) const;

    // Sends the entries; finished() follows success, and a failure is kept in errorMessage with every
    // entry as it was. A save while one is running does nothing.
    QCoro::Task<> save();

Q_SIGNALS:
    void entriesChanged();
    // isSaving or errorMessage changed.
    void stateChanged();
    // The transaction was stored: the sheet closes.
    void finished();

private:
    void setState(bool saving, std::optional<QString> error, QString field = {});

    TransactionReferenceData m_reference;
    TransactionSave m_onSave;
    std::optional<TransactionRecord> m_editing;
    TransactionEntries m_entries;
    bool m_currencyPicked = false;
    bool m_sectorFromHolding = false;
    bool m_saving = false;
    std::optional<QString> m_error;
    QString m_faultyField;
};

} // namespace quillfern
