#include "app/transactions/TransactionView.h"

#include "app/charts/MetricCard.h"
#include "app/charts/Palette.h"
#include "app/icons/SymbolIcon.h"
#include "app/table/TableStyle.h"
#include "app/table/ToolbarPieces.h"
#include "app/transactions/ClosedPositionsModel.h"
#include "app/transactions/LedgerFilter.h"
#include "app/transactions/TransactionEditorSheet.h"
#include "app/transactions/TransactionLedgerModel.h"
#include "app/workspace/TransactionChanges.h"
#include "app/workspace/Workspace.h"
#include "core/LedgerSummary.h"
#include "text/Formats.h"
#include "text/Localization.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillfern {

namespace {

// Colours the type and gain columns: buys and gains green, sells and losses red, income blue, costs
// orange, a type only a newer service knows in the secondary text colour.
class LedgerColours : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    void setPalette(const QPalette &palette)
    {
        m_palette = palette;
        if (rowCount() > 0)
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::ForegroundRole});
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::ForegroundRole)
            return QIdentityProxyModel::data(index, role);
        switch (LedgerTone(QIdentityProxyModel::data(index, TransactionLedgerModel::ToneRole).toInt())) {
        case LedgerTone::Buy:
        case LedgerTone::Gain:
            return table::green(m_palette);
        case LedgerTone::Sell:
        case LedgerTone::Loss:
            return table::red(m_palette);
        case LedgerTone::Income:
            return table::blue(m_palette);
        case LedgerTone::Cost:
            return Palette::system(SystemColour::Orange, m_palette);
        case LedgerTone::Neutral:
            return table::secondaryText(m_palette);
        case LedgerTone::Primary:
            break;
        }
        return {};
    }

private:
    QPalette m_palette;
};

QTableView *tableView(QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(table::rowHeight);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setWordWrap(false);
    view->setAlternatingRowColors(true);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setMinimumSectionSize(0);
    view->horizontalHeader()->setStretchLastSection(true);
    // Nothing sorted until a header is pressed: the rows come in the service's order.
    view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view->setSortingEnabled(true);
    return view;
}

// Offers "all" and then the values with their labels, keeping the current value when it is still offered.
void offer(QComboBox *picker, const QString &all, const QVariantList &values, const QStringList &labels)
{
    const QVariant current = picker->currentData();
    const QSignalBlocker quiet(picker);
    picker->clear();
    picker->addItem(all, QVariant());
    for (qsizetype i = 0; i < values.size(); ++i)
        picker->addItem(labels[i], values[i]);
    picker->setCurrentIndex(std::max(0, picker->findData(current)));
}

} // namespace

QString TransactionPage::countText(qsizetype count, const QString &languageCode)
{
    return AppText::format(u"transactionCount", languageCode, {qint64(count)});
}

TransactionPage::TransactionPage(Workspace &workspace, QWidget *parent)
    : QWidget(parent), m_workspace(workspace),
      m_changes(new TransactionChanges(workspace, workspace.undoStack(), this)),
      m_model(new TransactionLedgerModel(this)), m_filter(new LedgerFilter(this)),
      m_closed(new ClosedPositionsModel(this))
{
    setObjectName(QStringLiteral("transactionPage"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(14);

    auto *cards = new QHBoxLayout;
    cards->setSpacing(12);
    for (int i = 0; i < 4; ++i) {
        m_cards.append(new MetricCard(this));
        cards->addWidget(m_cards.last(), 1);
    }
    layout->addLayout(cards);
    layout->addWidget(buildHeader());
    layout->addWidget(buildFilters());

    m_filter->setSourceModel(m_model);
    auto *colours = new LedgerColours(this);
    colours->setSourceModel(m_filter);
    colours->setPalette(palette());
    m_stack = new QStackedWidget(this);
    m_view = tableView(m_stack);
    m_view->setObjectName(QStringLiteral("ledgerTable"));
    m_view->setModel(colours);
    for (int column = 0; column < TransactionLedgerModel::ColumnCount; ++column)
        m_view->horizontalHeader()->resizeSection(column, int(TransactionLedgerModel::columnWidth(column).ideal));
    connect(m_view->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) { keepMinimumWidth(column, size); });
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, &TransactionPage::showRowMenu);
    connect(m_view, &QAbstractItemView::doubleClicked, this, &TransactionPage::editCurrentRow);
    m_view->installEventFilter(this);
    m_stack->addWidget(m_view);

    auto *closedSorting = new QSortFilterProxyModel(this);
    closedSorting->setSourceModel(m_closed);
    closedSorting->setSortRole(ClosedPositionsModel::RawValueRole);
    closedSorting->setSortLocaleAware(true);
    m_closedView = tableView(m_stack);
    m_closedView->setObjectName(QStringLiteral("closedPositionsTable"));
    m_closedView->setModel(closedSorting);
    for (int column = 0; column < ClosedPositionsModel::ColumnCount; ++column)
        m_closedView->horizontalHeader()->resizeSection(column,
                                                        column < ClosedPositionsModel::RealizedGain ? 140 : 180);
    m_stack->addWidget(m_closedView);
    layout->addWidget(m_stack, 1);

    connect(m_add, &QPushButton::clicked, this, &TransactionPage::openEditor);
    connect(m_changes, &TransactionChanges::changed, this, &TransactionPage::showChangeStatus);
    connect(&workspace, &Workspace::transactionsChanged, this, &TransactionPage::refresh);
    connect(&workspace, &Workspace::preferencesChanged, this, &TransactionPage::refresh);
    connect(&workspace, &Workspace::referenceDataChanged, this, &TransactionPage::refresh);
    // Closed positions depend on what is still held.
    connect(&workspace, &Workspace::summaryChanged, this, &TransactionPage::showFigures);
    refresh();
    applyPalette();
}

QWidget *TransactionPage::buildHeader()
{
    auto *bar = new QWidget(this);
    auto *header = new QHBoxLayout(bar);
    header->setContentsMargins(0, 0, 0, 0);
    header->setSpacing(12);
    m_add = new QPushButton(bar);
    m_add->setObjectName(QStringLiteral("addTransactionButton"));
    m_add->setIcon(symbolIcon(QStringLiteral("plus"), Qt::white));
    header->addWidget(m_add);
    m_count = new QLabel(bar);
    m_count->setFont(table::uiFont(12));
    header->addWidget(m_count);
    m_status = table::statusLabel(bar, QFont::Medium);
    header->addWidget(m_status);
    // After a delete the status line offers its undo, for the mouse and the keyboard alike.
    m_undoOffer = new QToolButton(bar);
    m_undoOffer->setObjectName(QStringLiteral("ledgerStatusUndo"));
    m_undoOffer->setAutoRaise(true);
    m_undoOffer->setFocusPolicy(Qt::StrongFocus);
    m_undoOffer->setCursor(Qt::PointingHandCursor);
    m_undoOffer->hide();
    connect(m_undoOffer, &QToolButton::clicked, this, [this] { m_workspace.undoStack().undo(); });
    header->addWidget(m_undoOffer);
    header->addStretch(1);
    m_closedToggle = new QToolButton(bar);
    m_closedToggle->setObjectName(QStringLiteral("closedPositionsToggle"));
    m_closedToggle->setCheckable(true);
    m_closedToggle->setFocusPolicy(Qt::StrongFocus);
    connect(m_closedToggle, &QToolButton::toggled, this, [this](bool closed) {
        m_stack->setCurrentIndex(closed ? 1 : 0);
        m_filterBar->setVisible(!closed);
    });
    header->addWidget(m_closedToggle);
    return bar;
}

QWidget *TransactionPage::buildFilters()
{
    m_filterBar = new QWidget(this);
    auto *row = new QHBoxLayout(m_filterBar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    for (int i = 0; i < 4; ++i) {
        auto *picker = new QComboBox(m_filterBar);
        picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        connect(picker, &QComboBox::currentIndexChanged, this, &TransactionPage::applyFilters);
        row->addWidget(picker);
        m_pickers.append(picker);
    }
    m_pickers[0]->setObjectName(QStringLiteral("brokerFilter"));
    m_pickers[1]->setObjectName(QStringLiteral("codeFilter"));
    m_pickers[2]->setObjectName(QStringLiteral("typeFilter"));
    m_pickers[3]->setObjectName(QStringLiteral("yearFilter"));
    row->addStretch(1);
    return m_filterBar;
}

void TransactionPage::refresh()
{
    const LanguageOption language = m_workspace.selectedLanguage();
    m_add->setText(AppText::value(u"addTransaction", language.code));
    m_closedToggle->setText(AppText::value(u"closedPositions", language.code));
    m_undoOffer->setText(AppText::value(u"undo", language.code));
    m_model->setLanguage(language.code, language.locale);
    if (m_model->transactions() != m_workspace.transactions())
        m_model->setTransactions(m_workspace.transactions());
    m_count->setText(countText(m_workspace.transactions().size(), language.code));
    showFilterChoices();
    showFigures();
    showChangeStatus();
}

void TransactionPage::showFigures()
{
    const QString language = m_workspace.selectedLanguage().code;
    const CurrencyOption reporting = m_workspace.reportingCurrency();
    const QList<TransactionRecord> &records = m_workspace.transactions();
    const int year = QDateTime::currentDateTimeUtc().date().year();
    const LedgerEarnings thisYear = ledgerEarnings(records, year);
    const LedgerEarnings allTime = ledgerEarnings(records);
    const QString yearText = QString::number(year);
    const auto figure = [&](const char16_t *key, double usd) {
        return MetricFigure{AppText::format(QStringView(key), language, {yearText}), format(reporting, usd, true),
                            gainTone(usd)};
    };
    m_cards[0]->setFigure(figure(u"realizedGainsInYear", thisYear.realizedGainUsd));
    m_cards[1]->setFigure(figure(u"realizedGainsAllTime", allTime.realizedGainUsd));
    m_cards[2]->setFigure(figure(u"incomeInYear", thisYear.incomeUsd));
    m_cards[3]->setFigure(figure(u"incomeAllTime", allTime.incomeUsd));
    m_closed->setPresentation(language, reporting, systemLocaleName(LocaleCategory::Monetary));
    m_closed->setPositions(closedPositions(records, m_workspace.rows()));
}

void TransactionPage::showFilterChoices()
{
    const LanguageOption language = m_workspace.selectedLanguage();
    const LedgerFilterOptions options = ledgerFilterOptions(m_workspace.transactions(), language.locale);
    const auto texts = [](const QStringList &values) {
        QVariantList list;
        for (const QString &value : values)
            list.append(value);
        return list;
    };
    QStringList typeLabels;
    for (const QString &type : options.types) {
        const QString key = transactionTypeKey(type);
        typeLabels.append(key.isEmpty() ? type : AppText::value(key, language.code));
    }
    QVariantList years;
    QStringList yearLabels;
    for (int year : options.years) {
        years.append(year);
        yearLabels.append(QString::number(year));
    }
    offer(m_pickers[0], AppText::value(u"allAccounts", language.code), texts(options.brokers), options.brokers);
    offer(m_pickers[1], AppText::value(u"allTickers", language.code), texts(options.codes), options.codes);
    offer(m_pickers[2], AppText::value(u"allTypes", language.code), texts(options.types), typeLabels);
    offer(m_pickers[3], AppText::value(u"allYears", language.code), years, yearLabels);
    applyFilters();
}

void TransactionPage::applyFilters()
{
    const QVariant year = m_pickers[3]->currentData();
    m_filter->setChoice(LedgerFilterChoice{
        m_pickers[0]->currentData().toString(), m_pickers[1]->currentData().toString(),
        m_pickers[2]->currentData().toString(), year.isValid() ? std::optional(year.toInt()) : std::nullopt});
}

void TransactionPage::showChangeStatus()
{
    const bool offersUndo = m_changes->offersUndo();
    m_status->setText(m_changes->status() + (offersUndo ? QStringLiteral(" \u00B7") : QString()));
    m_undoOffer->setVisible(offersUndo);
}

const TransactionRecord *TransactionPage::currentRecord() const
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid())
        return nullptr;
    const auto *colours = static_cast<const QIdentityProxyModel *>(m_view->model());
    return m_filter->record(colours->mapToSource(current));
}

void TransactionPage::openEditor()
{
    openSheet(std::nullopt);
}

void TransactionPage::editCurrentRow()
{
    const TransactionRecord *record = currentRecord();
    if (record && !transactionTypeKey(record->transactionType).isEmpty())
        openSheet(*record);
}

void TransactionPage::deleteCurrentRow()
{
    if (const TransactionRecord *record = currentRecord())
        m_changes->remove(*record);
}

void TransactionPage::openSheet(std::optional<TransactionRecord> editing)
{
    if (m_sheet)
        return;
    TransactionSave save = TransactionEditor::saveTo(m_workspace);
    if (editing) {
        // Not a coroutine itself: it starts the change and hands its task over.
        save = [changes = m_changes, record = *editing](TransactionCreateInput input) {
            return changes->edit(record, std::move(input));
        };
    }
    m_sheet = new TransactionEditorSheet(TransactionEditor::referenceDataOf(m_workspace), std::move(save), this,
                                         std::move(editing));
    m_sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_sheet, &QDialog::finished, this, [this] { Q_EMIT addingTransactionChanged(false); });
    m_sheet->open();
    Q_EMIT addingTransactionChanged(true);
}

void TransactionPage::showRowMenu(const QPoint &position)
{
    // From the keyboard the position is not a row's: the menu is for the current row then.
    const QModelIndex under = m_view->indexAt(position);
    if (under.isValid())
        m_view->setCurrentIndex(under);
    const TransactionRecord *record = currentRecord();
    if (!record)
        return;
    const QString language = m_workspace.selectedLanguage().code;
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *edit =
        menu->addAction(AppText::value(u"editTransactionAction", language), this, &TransactionPage::editCurrentRow);
    edit->setEnabled(!transactionTypeKey(record->transactionType).isEmpty());
    menu->addAction(AppText::value(u"delete", language), this, &TransactionPage::deleteCurrentRow);
    m_menu = menu;
    const QRect row = m_view->visualRect(m_view->currentIndex());
    menu->popup(m_view->viewport()->mapToGlobal(under.isValid() ? position : row.center()));
}

bool TransactionPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            editCurrentRow();
            return true;
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            deleteCurrentRow();
            return true;
        case Qt::Key_Menu:
            // Taken here, so the menu is the current row's wherever the mouse is.
            showRowMenu(m_view->visualRect(m_view->currentIndex()).center());
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TransactionPage::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
    QWidget::changeEvent(event);
}

void TransactionPage::applyPalette()
{
    const QPalette &pal = palette();
    QPalette secondary = m_count->palette();
    secondary.setColor(QPalette::WindowText, table::secondaryText(pal));
    m_count->setPalette(secondary);
    // The prominent button: green, with white text and symbol.
    const QColor green = table::green(pal);
    m_add->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: white; border: 1px solid %2;"
                                        " border-radius: 6px; padding: 5px 12px; font-weight: 600; }"
                                        "QPushButton:pressed { background-color: %2; }"
                                        "QPushButton:focus { border: 2px solid %3; padding: 4px 11px; }")
                             .arg(green.name(), green.darker(125).name(), pal.color(QPalette::Highlight).name()));
    if (auto *colours = dynamic_cast<LedgerColours *>(m_view->model()))
        colours->setPalette(pal);
}

void TransactionPage::keepMinimumWidth(int column, int size)
{
    const int minimum = int(TransactionLedgerModel::columnWidth(column).minimum);
    if (size < minimum)
        m_view->horizontalHeader()->resizeSection(column, minimum);
}

} // namespace quillfern
