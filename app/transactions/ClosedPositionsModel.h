#pragma once

// The positions the ledger sold or transferred down to nothing, one row each, with what they realised in
// their own currency and in the reporting currency.

#include "core/LedgerSummary.h"

#include <QAbstractTableModel>

namespace quillfern {

class ClosedPositionsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Account, Market, Ticker, RealizedGain, RealizedGainReporting, ColumnCount };
    enum Role {
        // The number for the two gains (none when the sells were in several currencies), the text otherwise.
        RawValueRole = Qt::UserRole + 1,
    };

    explicit ClosedPositionsModel(QObject *parent = nullptr);

    void setPositions(QList<ClosedPositionSummary> positions);
    const QList<ClosedPositionSummary> &positions() const { return m_positions; }
    // The language of the titles, the reporting currency and the locale figures are written under.
    void setPresentation(const QString &languageCode, const CurrencyOption &reporting, const QString &locale);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<ClosedPositionSummary> m_positions;
    QString m_languageCode = QStringLiteral("en-US");
    CurrencyOption m_reporting{QStringLiteral("USD"), {}, {}, {}, 1};
    QString m_locale;
};

} // namespace quillfern
