#pragma once

// The ledger as a table: one row per transaction in the order the workspace gives, with display texts
// (figures under the user's locale, titles, types and trade times in the language in force) and each
// cell's own value under RawValueRole, which sorting goes by.

#include "core/ServiceRecords.h"

#include <QAbstractTableModel>

namespace quillfern {

// How a figure is coloured; the widgets choose the colours. Types the service added later are Neutral.
enum class LedgerTone { Primary, Buy, Sell, Income, Cost, Neutral, Gain, Loss };

class TransactionLedgerModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        Account,
        Market,
        Ticker,
        Type,
        Quantity,
        TradePrice,
        Amount,
        Commission,
        RealizedGain,
        TradeTime,
        TradeReason,
        ColumnCount
    };
    enum Role {
        // The cell's own value: a number for figures, the UTC moment for the trade time (none when the
        // text is not a date-time), the type word, or the text shown. A cell the type leaves empty has none.
        RawValueRole = Qt::UserRole + 1,
        // A LedgerTone as an int.
        ToneRole,
    };

    struct ColumnWidth {
        double minimum;
        double ideal;
    };
    static ColumnWidth columnWidth(int column);
    static QString titleKey(int column);
    static LedgerTone typeTone(const QString &type);

    // Figures under the system's locale, times in its zone, texts in English until told otherwise.
    explicit TransactionLedgerModel(QObject *parent = nullptr);

    void setTransactions(QList<TransactionRecord> transactions);
    const QList<TransactionRecord> &transactions() const { return m_transactions; }
    // The language of titles and types, and the ICU locale of that language, which trade times are
    // written under.
    void setLanguage(const QString &code, const QString &dateLocale);
    // The locale figures are written under and the zone of trade times, for tests to pin.
    void setLocale(const QString &locale, const QString &timeZone);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    QString text(const TransactionRecord &record, int column) const;
    QVariant rawValue(const TransactionRecord &record, int column) const;

private:
    QList<TransactionRecord> m_transactions;
    QString m_languageCode = QStringLiteral("en-US");
    QString m_dateLocale = QStringLiteral("en_US");
    QString m_locale;
    QString m_timeZone;
};

} // namespace quillfern
