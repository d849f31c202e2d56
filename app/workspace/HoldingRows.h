#pragma once

// The holdings rows as the editor, its undo commands and the table reach them, without the session or the
// service behind them: the working copy, the figures derived from it, the lists the pickers offer, and
// the few writes an edit needs. The workspace is one; a test can be another.

#include "app/workspace/PriceFacts.h"
#include "app/workspace/StatusLine.h"
#include "core/CurrencyCatalog.h"
#include "core/PortfolioRows.h"
#include "core/WorkspaceValuation.h"

#include <QObject>

namespace quillfern {

class HoldingRows : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual const QList<AssetRow> &rows() const = 0;
    // The figures of one row, or none when the row holds no position.
    virtual const AssetValuation *position(const QString &rowID) const = 0;
    virtual CurrencyOption reportingCurrency() const = 0;
    // The language the texts are shown in, and the ICU locale its dates are written under.
    virtual QString displayLanguageCode() const = 0;
    virtual QString displayLocale() const = 0;
    // What the service said of the price the row shows, as PriceFactsBook::of tells; none when nothing.
    virtual const PriceFacts *priceFacts(const AssetRow &row) const = 0;
    // US dollars per unit of a currency, at the rates the figures use.
    virtual double usdPerUnit(const QString &currency) const { return quillfern::usdPerUnit(currency, {}); }
    // The row's change since the previous close, in US dollars; none when it is not known.
    std::optional<double> dayChangeUsd(const AssetRow &row) const
    {
        return quillfern::dayChangeUsd(row, priceFacts(row), usdPerUnit(CurrencyCatalog::currency(row.market)));
    }
    // The sum of the changes that are known; none when no row's is.
    std::optional<double> totalDayChangeUsd() const
    {
        std::optional<double> total;
        for (const AssetRow &row : rows()) {
            if (const auto change = dayChangeUsd(row))
                total = total.value_or(0) + *change;
        }
        return total;
    }
    virtual QStringList brokerageNames() const = 0;
    virtual QStringList gicsSectorNames() const = 0;
    virtual QStringList gicsSubIndustryNames(const QString &sectorName) const = 0;

    // Writes of the working copy, each announced by the signal below it; none schedules a save.
    // Typing into an editing row writes it at once. Unknown ids and unchanged rows are ignored.
    virtual void updateRow(const QString &id, const AssetRow &row) = 0;
    virtual void insertRow(int index, const AssetRow &row) = 0;
    virtual void removeRow(const QString &id) = 0;
    // A user's change is complete: it goes to the service after the debounce.
    virtual void schedulePortfolioSave() = 0;
    // A saved row's price is fetched afresh.
    virtual void refreshPriceOf(const QString &rowID) = 0;

    // The line under the holdings table: what happened to the last edited row.
    virtual const QString &rowEditStatus() const = 0;
    virtual void setRowEditStatus(const QString &status) = 0;
    // A status made in the display language, which rows that follow the language switch make again when
    // the user picks another.
    virtual void setRowEditStatusLine(const StatusLine &status) { setRowEditStatus(status.text()); }

Q_SIGNALS:
    // rows: the whole list was replaced; one row was appended, removed, or had fields changed.
    void rowsReset();
    void rowAboutToBeInserted(int index);
    void rowInserted(int index);
    void rowAboutToBeRemoved(int index);
    void rowRemoved(int index);
    void rowChanged(int index);
    // The figures derived from rows were recomputed.
    void summaryChanged();
    // The reporting currency or the language changed.
    void preferencesChanged();
    // currencies, languages, brokerages, GICS classifications.
    void referenceDataChanged();
    // rowEditStatus changed.
    void rowEditStatusChanged();
};

} // namespace quillfern
