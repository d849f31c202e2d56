#pragma once

// The "Add Transaction" sheet without its widgets: the entries with their starting values, the lists its
// pickers offer, and save, which checks and normalises the entries and hands them to the workspace.

#include "api/APIFailure.h"
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
    // The type values sent, with the catalogue keys of their labels.
    static const QStringList transactionTypes;
    static QString transactionTypeKey(const QString &type);

    TransactionEditor(TransactionReferenceData reference, TransactionSave onSave,
                      QDateTime openedAt = QDateTime::currentDateTime(), QObject *parent = nullptr);

    // The workspace's create operation, which reloads the ledger and the holdings on success.
    static TransactionSave saveTo(Workspace &workspace);
    static TransactionReferenceData referenceDataOf(const Workspace &workspace);

    const TransactionReferenceData &referenceData() const { return m_reference; }
    const TransactionEntries &entries() const { return m_entries; }
    void setEntries(const TransactionEntries &entries);

    QStringList sectorOptions() const;
    QStringList subSectorOptions() const;

    bool isSaving() const { return m_saving; }
    const std::optional<QString> &errorMessage() const { return m_error; }

    // The request save would send for the entries as they stand: code trimmed and upper-cased, the trade
    // time in UTC without fractions of a second, the reason trimmed.
    TransactionCreateInput input() const;
    // Whether the entries pass the checks save makes before sending anything.
    bool isValid() const;

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
    void setState(bool saving, std::optional<QString> error);

    TransactionReferenceData m_reference;
    TransactionSave m_onSave;
    TransactionEntries m_entries;
    bool m_saving = false;
    std::optional<QString> m_error;
};

} // namespace quillfern
