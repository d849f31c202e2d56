#pragma once

#include "core/ServiceRecords.h"

#include <QRectF>
#include <QWidget>

namespace quillfern {

// Income per month as bars from a zero line: up for a month that brought income, down for one whose tax
// outweighed it. Labels name the months under the locale, as many as fit.
class IncomeBars : public QWidget {
    Q_OBJECT

public:
    explicit IncomeBars(QWidget *parent = nullptr);

    // Amounts in US dollars, written in currency; noIncome is said when there is no month to draw.
    void setMonths(QList<MonthIncome> months, const CurrencyOption &currency, const QString &dateLocale,
                   const QString &monetaryLocale, const QString &noIncome);
    const QList<MonthIncome> &months() const { return m_months; }

    QSize sizeHint() const override { return {360, 200}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<MonthIncome> m_months;
    QStringList m_labels;
    QString m_peak;
    QString m_noIncome;
};

} // namespace quillfern
