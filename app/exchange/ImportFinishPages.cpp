// The last pages: the rows as the plan reads them, the classification of codes held nowhere, and the
// booking with its outcome.

#include "app/exchange/ImportPages.h"
#include "app/exchange/ImportPreviewModel.h"

#include "app/table/TableStyle.h"
#include "app/workspace/Workspace.h"
#include "text/GicsNames.h"
#include "text/Localization.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTableView>
#include <QVBoxLayout>

namespace quillfern {

namespace {

// English names as the picker lists them, in the language's order and names.
void showGics(QComboBox *picker, const QStringList &names, const QString &value, const QString &language)
{
    const QSignalBlocker quiet(picker);
    const QStringList sorted = sortedByGicsDisplayName(names, language);
    const QStringList shown = gicsDisplayNames(sorted, language);
    picker->clear();
    for (qsizetype i = 0; i < sorted.size(); ++i)
        picker->addItem(shown[i], sorted[i]);
    picker->setCurrentIndex(int(sorted.indexOf(value)));
}

} // namespace

ImportPreviewPage::ImportPreviewPage(TransactionImport &session, QWidget *parent)
    : ImportPage(session, parent), m_model(new ImportPreviewModel(this)), m_counts(new QLabel(this)),
      m_view(new QTableView(this)), m_duplicates(new QLabel(this)), m_onlyGood(new QCheckBox(this))
{
    setTitle(text(u"wizardPreviewPage"));
    auto *layout = new QVBoxLayout(this);
    m_counts->setWordWrap(true);
    layout->addWidget(m_counts);
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setTabKeyNavigation(false);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_view, 1);
    m_duplicates->setText(text(u"wizardDuplicatesNote"));
    m_duplicates->setWordWrap(true);
    layout->addWidget(m_duplicates);
    m_onlyGood->setText(text(u"wizardOnlyGoodRows"));
    layout->addWidget(m_onlyGood);
    m_problem = problemLabel();
    layout->addWidget(m_problem);
    layout->addWidget(new WorkProgress(session, this));

    connect(m_onlyGood, &QCheckBox::toggled, this, &ImportPreviewPage::completeChanged);
    connect(&session, &TransactionImport::planChanged, this, &ImportPreviewPage::show);
    connect(&session, &TransactionImport::workChanged, this, &ImportPreviewPage::completeChanged);
    show();
}

void ImportPreviewPage::initializePage()
{
    show();
}

bool ImportPreviewPage::leavesOutErrors() const
{
    return m_onlyGood->isChecked();
}

void ImportPreviewPage::show()
{
    const exchange::ImportPlan &plan = m_session.plan();
    m_model->setPlan(plan, shownRows, language());
    m_view->resizeColumnsToContents();
    const bool planned = m_session.hasPlan();
    QStringList counts;
    if (planned) {
        counts << AppText::format(u"wizardRowCount", language(), {qint64(plan.rows.size())})
               << AppText::format(u"wizardCounts", language(),
                                  {qint64(plan.ok), qint64(plan.duplicates), qint64(plan.errors)});
        if (plan.rows.size() > shownRows)
            counts << AppText::format(u"wizardPreviewShown", language(), {qint64(shownRows)});
    }
    m_counts->setText(joinedSentences(counts, language()));
    m_counts->setVisible(planned);
    m_duplicates->setVisible(planned && plan.duplicates > 0);
    m_onlyGood->setVisible(planned && plan.errors > 0 && plan.ok + plan.duplicates > 0);
    std::optional<QString> problem = m_session.problemText();
    if (!problem && planned && plan.ok + plan.duplicates == 0)
        problem = text(u"wizardNothingToImport");
    m_problem->setText(problem.value_or(QString()));
    m_problem->setVisible(problem.has_value() && !m_session.isBusy());
    setCommitPage(m_session.unclassifiedCodes().isEmpty());
    Q_EMIT completeChanged();
}

bool ImportPreviewPage::isComplete() const
{
    return m_session.planAccepts(leavesOutErrors());
}

int ImportPreviewPage::nextId() const
{
    return m_session.unclassifiedCodes().isEmpty() ? ResultPageId : ClassifyPageId;
}

ImportClassifyPage::ImportClassifyPage(TransactionImport &session, std::function<bool()> leavesOutErrors,
                                       QWidget *parent)
    : ImportPage(session, parent), m_leavesOutErrors(std::move(leavesOutErrors)), m_grid(nullptr), m_rows(nullptr)
{
    setTitle(text(u"wizardClassifyPage"));
    setCommitPage(true);
    auto *layout = new QVBoxLayout(this);
    auto *hint = new QLabel(text(u"wizardClassifyHint"), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    m_rows = new QWidget;
    m_grid = new QGridLayout(m_rows);
    m_grid->setColumnStretch(1, 1);
    m_grid->setColumnStretch(2, 1);
    scroll->setWidget(m_rows);
    layout->addWidget(scroll, 1);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(&session, &TransactionImport::classificationsChanged, this, [this] {
        // A pick made elsewhere shows here too.
        const QStringList codes = m_session.unclassifiedCodes();
        for (qsizetype i = 0; i < m_pickers.size() && i < codes.size(); ++i) {
            auto [sector, industry] = m_pickers[i];
            const QString picked = m_session.classifications().value(codes[i]).sector;
            if (sector->currentData().toString() != picked) {
                const QSignalBlocker quiet(sector);
                sector->setCurrentIndex(sector->findData(picked));
            }
            showIndustries(codes[i], sector, industry);
        }
        Q_EMIT completeChanged();
    });
}

void ImportClassifyPage::initializePage()
{
    while (QLayoutItem *item = m_grid->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_pickers.clear();
    m_grid->addWidget(new QLabel(text(u"ticker"), m_rows), 0, 0);
    m_grid->addWidget(new QLabel(text(u"sector"), m_rows), 0, 1);
    m_grid->addWidget(new QLabel(text(u"industry"), m_rows), 0, 2);
    const QStringList sectors = m_session.workspace().gicsSectorNames();
    int line = 1;
    for (const QString &code : m_session.unclassifiedCodes()) {
        auto *sector = new QComboBox(m_rows);
        auto *industry = new QComboBox(m_rows);
        for (QComboBox *picker : {sector, industry}) {
            picker->setPlaceholderText(text(u"chooseOne"));
            // Sub-industry names are long; the column's width decides, not the longest name.
            picker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            picker->setMinimumContentsLength(12);
        }
        auto *name = new QLabel(code, m_rows);
        name->setBuddy(sector);
        m_grid->addWidget(name, line, 0);
        m_grid->addWidget(sector, line, 1);
        m_grid->addWidget(industry, line, 2);
        ++line;
        m_pickers.append(std::pair(sector, industry));
        const TransactionImport::Classification picked = m_session.classifications().value(code);
        showGics(sector, sectors, picked.sector, language());
        showIndustries(code, sector, industry);
        connect(sector, &QComboBox::activated, this, [this, code, sector, industry] {
            m_session.classify(code, {sector->currentData().toString(), QString()});
            showIndustries(code, sector, industry);
        });
        connect(industry, &QComboBox::activated, this, [this, code, sector, industry] {
            m_session.classify(code, {sector->currentData().toString(), industry->currentData().toString()});
        });
    }
    m_grid->setRowStretch(line, 1);
}

void ImportClassifyPage::showIndustries(const QString &code, QComboBox *sector, QComboBox *industry)
{
    const QString sectorName = sector->currentData().toString();
    const QStringList industries =
        sectorName.isEmpty() ? QStringList() : m_session.workspace().gicsSubIndustryNames(sectorName);
    showGics(industry, industries, m_session.classifications().value(code).subSector, language());
    industry->setEnabled(!sectorName.isEmpty());
}

bool ImportClassifyPage::isComplete() const
{
    return m_session.canCommit(m_leavesOutErrors());
}

ImportResultPage::ImportResultPage(TransactionImport &session, std::function<bool()> leavesOutErrors, QWidget *parent)
    : ImportPage(session, parent), m_leavesOutErrors(std::move(leavesOutErrors)), m_status(new QLabel(this)),
      m_bar(new QProgressBar(this)), m_tryAgain(new QPushButton(this))
{
    setTitle(text(u"wizardResultPage"));
    auto *layout = new QVBoxLayout(this);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setFont(table::uiFont(14));
    layout->addWidget(m_status);
    // One request books the whole file: its progress cannot be measured, only shown to be running.
    m_bar->setRange(0, 0);
    m_bar->setTextVisible(false);
    layout->addWidget(m_bar);
    m_tryAgain->setText(text(u"wizardTryAgain"));
    m_tryAgain->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_tryAgain);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    layout->addStretch(1);
    connect(m_tryAgain, &QPushButton::clicked, this, &ImportResultPage::commit);
    connect(&session, &TransactionImport::committed, this, &ImportResultPage::show);
    connect(&session, &TransactionImport::workChanged, this, &ImportResultPage::show);
    show();
}

void ImportResultPage::initializePage()
{
    commit();
}

void ImportResultPage::commit()
{
    m_sending = int(m_session.request().transactions.size());
    m_session.commit(m_leavesOutErrors());
    show();
}

void ImportResultPage::show()
{
    const bool running = m_session.work() == TransactionImport::Work::Committing;
    const auto &error = m_session.commitError();
    m_status->setText(running ? AppText::format(u"wizardImporting", language(), {qint64(m_sending)})
                      : error ? *error
                              : m_session.resultText());
    QPalette shown = palette();
    if (!running && error)
        shown.setColor(QPalette::WindowText, table::red(shown));
    m_status->setPalette(shown);
    m_bar->setVisible(running);
    // A refused row is refused again; only a failure on the way is worth another try.
    m_tryAgain->setVisible(!running && error.has_value() && m_session.refusedLine() == 0);
    Q_EMIT completeChanged();
}

bool ImportResultPage::isComplete() const
{
    return m_session.work() != TransactionImport::Work::Committing && (m_session.result() || m_session.commitError());
}

} // namespace quillfern
