#include "app/performance/PerformancePage.h"

#include "app/charts/DisplayLocales.h"
#include "app/charts/MetricCard.h"
#include "app/performance/ContributionModel.h"
#include "app/performance/IncomeBars.h"
#include "app/performance/PerformanceFigures.h"
#include "app/performance/ValueChart.h"
#include "app/table/TableStyle.h"
#include "app/workspace/Workspace.h"
#include "text/Localization.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillfern {
namespace {

QLabel *sectionTitle(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setFont(table::uiFont(13, QFont::DemiBold));
    return label;
}

} // namespace

PerformancePage::PerformancePage(Workspace &workspace, QWidget *parent) : QWidget(parent), m_workspace(workspace)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(14);

    auto *header = new QHBoxLayout;
    m_title = sectionTitle(this);
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(buildPeriodSelector());
    layout->addLayout(header);

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("performanceError"));
    m_error->setWordWrap(true);
    m_error->setFont(table::uiFont(12));
    m_error->setContentsMargins(12, 6, 12, 6);
    m_error->setAutoFillBackground(true);
    QPalette tinted = m_error->palette();
    tinted.setColor(QPalette::Window, table::withOpacity(table::red(tinted), 0.09));
    tinted.setColor(QPalette::WindowText, table::red(tinted));
    m_error->setPalette(tinted);
    m_error->hide();
    layout->addWidget(m_error);

    auto *cards = new QHBoxLayout;
    cards->setSpacing(12);
    for (int i = 0; i < 5; ++i) {
        auto *card = new MetricCard(this);
        cards->addWidget(card, 1);
        m_cards.append(card);
    }
    layout->addLayout(cards);

    m_missing = new QLabel(this);
    m_missing->setObjectName(QStringLiteral("missingHistoryNote"));
    m_missing->setWordWrap(true);
    m_missing->setFont(table::uiFont(12));
    m_missing->hide();
    layout->addWidget(m_missing);

    m_chartStack = new QStackedWidget(this);
    m_chart = new ValueChart(m_chartStack);
    m_chartStack->addWidget(m_chart);
    m_empty = new QWidget(m_chartStack);
    m_empty->setObjectName(QStringLiteral("performanceEmptyState"));
    auto *emptyColumn = new QVBoxLayout(m_empty);
    emptyColumn->addStretch(1);
    m_emptyTitle = new QLabel(m_empty);
    m_emptyTitle->setFont(table::uiFont(17, QFont::DemiBold));
    emptyColumn->addWidget(m_emptyTitle, 0, Qt::AlignHCenter);
    m_emptyHint = new QLabel(m_empty);
    m_emptyHint->setWordWrap(true);
    m_emptyHint->setAlignment(Qt::AlignHCenter);
    m_emptyHint->setFont(table::uiFont(12));
    emptyColumn->addWidget(m_emptyHint);
    emptyColumn->addStretch(1);
    m_chartStack->addWidget(m_empty);
    m_chartStack->setMinimumHeight(320);
    layout->addWidget(m_chartStack, 1);

    // Income and contributions say nothing without history; they show with the chart.
    m_details = new QWidget(this);
    auto *lower = new QHBoxLayout(m_details);
    lower->setContentsMargins(0, 0, 0, 0);
    lower->setSpacing(16);
    const auto column = [this, lower](QLabel *&title, QWidget *body) {
        auto *stack = new QVBoxLayout;
        stack->setSpacing(8);
        title = sectionTitle(m_details);
        stack->addWidget(title);
        stack->addWidget(body);
        stack->addStretch(1);
        lower->addLayout(stack, 1);
    };
    m_topModel = new ContributionModel(this);
    m_top = buildTable(m_topModel);
    m_income = new IncomeBars(m_details);
    m_income->setFixedHeight(m_top->height());
    column(m_incomeTitle, m_income);
    column(m_topTitle, m_top);
    m_bottomModel = new ContributionModel(this);
    m_bottom = buildTable(m_bottomModel);
    column(m_bottomTitle, m_bottom);
    layout->addWidget(m_details);

    PerformanceLoader &loader = workspace.performance();
    connect(&loader, &PerformanceLoader::changed, this, &PerformancePage::refresh);
    connect(&workspace, &Workspace::preferencesChanged, this, &PerformancePage::retranslate);
    connect(&workspace, &Workspace::referenceDataChanged, this, &PerformancePage::retranslate);
    retranslate();
}

QWidget *PerformancePage::buildPeriodSelector()
{
    auto *strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("periodSelector"));
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_periods = new QButtonGroup(strip);
    m_periods->setExclusive(true);
    for (const PerformancePeriod period : performancePeriods) {
        auto *button = new QToolButton(strip);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setChecked(period == m_workspace.performance().period());
        const bool first = period == performancePeriods.front();
        const bool last = period == performancePeriods.back();
        // One segmented control: only the outer corners are round, and the segments share their borders.
        button->setStyleSheet(
            QStringLiteral("QToolButton { padding: 4px 12px; border: 1px solid palette(mid); border-left-width: %1px;"
                           " border-top-left-radius: %2px; border-bottom-left-radius: %2px;"
                           " border-top-right-radius: %3px; border-bottom-right-radius: %3px;"
                           " background: palette(button); }"
                           "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text); }"
                           "QToolButton:focus { border-color: palette(highlight); }")
                .arg(first ? 1 : 0)
                .arg(first ? 6 : 0)
                .arg(last ? 6 : 0));
        m_periods->addButton(button, int(period));
        row->addWidget(button);
    }
    connect(m_periods, &QButtonGroup::idClicked, this,
            [this](int id) { m_workspace.performance().setPeriod(PerformancePeriod(id)); });
    return strip;
}

QTableView *PerformancePage::buildTable(ContributionModel *model)
{
    auto *view = new QTableView(m_details);
    view->setModel(model);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(table::rowHeight);
    view->horizontalHeader()->setSectionResizeMode(ContributionModel::HoldingColumn, QHeaderView::Stretch);
    view->horizontalHeader()->setSectionResizeMode(ContributionModel::GainColumn, QHeaderView::ResizeToContents);
    view->setShowGrid(false);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setFocusPolicy(Qt::NoFocus);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setFixedHeight(view->horizontalHeader()->sizeHint().height() + 5 * table::rowHeight + 4);
    return view;
}

QAbstractButton *PerformancePage::periodButton(PerformancePeriod period) const
{
    return m_periods->button(int(period));
}

void PerformancePage::retranslate()
{
    const QString language = m_workspace.selectedLanguage().code;
    m_title->setText(AppText::value(u"valueOverTime", language));
    for (const PerformancePeriod period : performancePeriods)
        periodButton(period)->setText(AppText::value(QStringView(periodKey(period)), language));
    m_periods->buttons().constFirst()->parentWidget()->setAccessibleName(
        AppText::value(u"performancePeriod", language));
    m_emptyTitle->setText(AppText::value(u"noHistoryYet", language));
    m_emptyHint->setText(AppText::value(u"noHistoryHint", language));
    m_incomeTitle->setText(AppText::value(u"monthlyIncome", language));
    m_topTitle->setText(AppText::value(u"topContributors", language));
    m_bottomTitle->setText(AppText::value(u"bottomContributors", language));
    refresh();
}

void PerformancePage::refresh()
{
    const PerformanceLoader &loader = m_workspace.performance();
    const LanguageOption language = m_workspace.selectedLanguage();
    const CurrencyOption currency = m_workspace.reportingCurrency();
    const DisplayLocales locales = DisplayLocales::system();
    const auto &answer = loader.figures();

    if (QAbstractButton *current = periodButton(loader.period()); !current->isChecked())
        current->setChecked(true);
    m_error->setText(loader.error());
    m_error->setVisible(!loader.error().isEmpty());
    const auto figures = performanceFigures(answer, currency, language.code, locales);
    for (std::size_t i = 0; i < figures.size(); ++i)
        m_cards[qsizetype(i)]->setFigure(figures[i]);
    const QString missing = answer ? missingHistoryNote(answer->missing, language.code) : QString();
    m_missing->setText(missing);
    m_missing->setToolTip(answer && answer->missing.size() > 5 ? missingHistoryList(answer->missing) : QString());
    m_missing->setVisible(!missing.isEmpty());

    const bool empty = !answer || answer->series.isEmpty();
    m_chartStack->setCurrentWidget(empty ? m_empty : static_cast<QWidget *>(m_chart));
    m_details->setVisible(!empty);
    m_chart->setSeries(empty ? QList<PerformancePoint>() : answer->series, currency, language.code, language.locale,
                       locales.monetary);
    m_income->setMonths(answer ? answer->incomeByMonth : QList<MonthIncome>(), currency, language.locale,
                        locales.monetary, AppText::value(u"noIncomeInPeriod", language.code));
    const QList<HoldingContribution> all = answer ? answer->contributions : QList<HoldingContribution>();
    m_topModel->setContributions(topContributions(all), currency, language.code, locales.monetary, palette());
    m_bottomModel->setContributions(bottomContributions(all), currency, language.code, locales.monetary, palette());
}

} // namespace quillfern
