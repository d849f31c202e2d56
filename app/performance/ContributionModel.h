#pragma once

// A short list of holdings and what each added to the gain over the period, as a two-column table.

#include "core/ServiceRecords.h"

#include <QAbstractTableModel>
#include <QPalette>

namespace quillfern {

class ContributionModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { HoldingColumn, GainColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Gains in US dollars, written in currency under the locale; titles in the language.
    void setContributions(QList<HoldingContribution> rows, const CurrencyOption &currency, const QString &languageCode,
                          const QString &monetaryLocale, const QPalette &palette);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<HoldingContribution> m_rows;
    CurrencyOption m_currency;
    QString m_language;
    QString m_locale;
    QPalette m_palette;
};

} // namespace quillfern
