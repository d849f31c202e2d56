#pragma once

// The first rows of an import plan as a table: the file's line, what becomes of the row (ready, already
// booked, or the error that stops it) and the transaction it reads as. The raw value of a cell is under
// Qt::UserRole.

#include "core/exchange/ImportPlan.h"

#include <QAbstractTableModel>

namespace quillfern {

class ImportPreviewModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        Line,
        Outcome,
        Date,
        Type,
        Market,
        Code,
        Quantity,
        Price,
        Amount,
        Currency,
        Broker,
        Problem,
        ColumnCount
    };

    explicit ImportPreviewModel(QObject *parent = nullptr);

    // Shows at most limit rows of plan, its texts in the language.
    void setPlan(const exchange::ImportPlan &plan, int limit, const QString &languageCode);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QVariant raw(const exchange::ImportRow &row, int column) const;
    QString display(const exchange::ImportRow &row, int column) const;

    QList<exchange::ImportRow> m_rows;
    QString m_language;
};

} // namespace quillfern
