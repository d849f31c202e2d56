// The column of each field, what a field the file lacks takes instead, and the type each word of the type
// column means.

#include "app/exchange/ImportPages.h"

#include "app/table/TableStyle.h"
#include "app/transactions/TransactionEditor.h"
#include "app/workspace/TransactionRules.h"
#include "app/workspace/Workspace.h"
#include "text/Localization.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace quillfern {

using namespace exchange;

namespace {

struct FieldRow {
    ImportField field;
    const char16_t *label;
};

// In the order the form shows them, which is the order Tab goes.
constexpr FieldRow fieldRows[] = {
    {ImportField::Date, u"wizardFieldDate"},
    {ImportField::Type, u"wizardFieldType"},
    {ImportField::Code, u"wizardFieldCode"},
    {ImportField::Market, u"wizardFieldMarket"},
    {ImportField::Quantity, u"wizardFieldQuantity"},
    {ImportField::Price, u"wizardFieldPrice"},
    {ImportField::Commission, u"wizardFieldCommission"},
    {ImportField::Amount, u"wizardFieldAmount"},
    {ImportField::Currency, u"wizardFieldCurrency"},
    {ImportField::Broker, u"wizardFieldBroker"},
    {ImportField::Note, u"wizardFieldNote"},
    {ImportField::Sector, u"wizardFieldSector"},
    {ImportField::SubSector, u"wizardFieldSubSector"},
    {ImportField::SplitRatio, u"wizardFieldSplitRatio"},
};

QString typeWordKey(const QString &word)
{
    return word.trimmed().toCaseFolded();
}

// A picker as wide as its column allows, however long the headings or names it lists.
QComboBox *picker(QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(8);
    return combo;
}

void select(QComboBox *picker, const QVariant &value)
{
    const QSignalBlocker quiet(picker);
    picker->setCurrentIndex(picker->findData(value));
}

} // namespace

ImportColumnsPage::ImportColumnsPage(TransactionImport &session, QWidget *parent)
    : ImportPage(session, parent), m_source(new QLabel(this)), m_typeArea(new QVBoxLayout)
{
    setTitle(text(u"wizardColumnsPage"));
    auto *layout = new QVBoxLayout(this);
    auto *hint = new QLabel(text(u"wizardColumnsHint"), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    m_source->setWordWrap(true);
    layout->addWidget(m_source);

    auto *columns = new QHBoxLayout;
    auto *fields = new QWidget;
    auto *form = new QFormLayout(fields);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const Workspace &workspace = session.workspace();
    QStringList typeLabels;
    for (const QString &type : quillfern::transactionTypes())
        typeLabels.append(AppText::value(transactionTypeKey(type), language()));
    QStringList currencies;
    for (const CurrencyOption &option : workspace.currencies())
        currencies.append(option.code);
    const QHash<ImportField, std::pair<QStringList, QStringList>> defaults{
        {ImportField::Broker, {workspace.brokerageNames(), workspace.brokerageNames()}},
        {ImportField::Market, {TransactionEditor::marketChoices, TransactionEditor::marketChoices}},
        {ImportField::Currency, {currencies, currencies}},
        {ImportField::Type, {quillfern::transactionTypes(), typeLabels}},
    };
    for (const FieldRow &row : fieldRows) {
        QComboBox *column = picker(fields);
        m_columns.insert(row.field, column);
        connect(column, &QComboBox::activated, this, [this, column, field = row.field] {
            const int index = column->currentData().toInt();
            change([field, index](ImportMapping &mapping) {
                if (index < 0)
                    mapping.columns.remove(field);
                else
                    mapping.columns.insert(field, index);
            });
        });
        if (!defaults.contains(row.field)) {
            form->addRow(label(row.label, column), column);
            continue;
        }
        // A field the file may lack takes the value beside its column picker instead.
        auto *line = new QHBoxLayout;
        QComboBox *fallback = picker(fields);
        fallback->setPlaceholderText(text(u"chooseOne"));
        // Without a currency, a row takes its market's, as the transaction sheet does.
        if (row.field == ImportField::Currency)
            fallback->addItem(text(u"wizardCurrencyOfMarket"), QString());
        const auto &[values, labels] = defaults.value(row.field);
        for (qsizetype i = 0; i < values.size(); ++i)
            fallback->addItem(labels[i], values[i]);
        m_defaults.insert(row.field, fallback);
        line->addWidget(column, 1);
        line->addWidget(new QLabel(text(u"wizardDefaultValue"), fields));
        line->addWidget(fallback, 1);
        form->addRow(label(row.label, column), line);
        connect(fallback, &QComboBox::activated, this, [this, fallback, field = row.field] {
            const QString value = fallback->currentData().toString();
            change([field, &value](ImportMapping &mapping) {
                switch (field) {
                case ImportField::Broker:
                    mapping.defaultBroker = value;
                    break;
                case ImportField::Market:
                    mapping.defaultMarket = value;
                    break;
                case ImportField::Currency:
                    mapping.defaultCurrency = value;
                    break;
                default:
                    mapping.defaultType = value;
                }
            });
        });
    }
    auto *fieldScroll = new QScrollArea(this);
    fieldScroll->setWidget(fields);
    fieldScroll->setWidgetResizable(true);
    fieldScroll->setFrameShape(QFrame::NoFrame);
    fieldScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    columns->addWidget(fieldScroll, 3);

    auto *types = new QVBoxLayout;
    auto *typesTitle = new QLabel(text(u"wizardTypeValues"), this);
    typesTitle->setFont(table::uiFont(13, QFont::Bold));
    types->addWidget(typesTitle);
    auto *typesHint = new QLabel(text(u"wizardTypeValuesHint"), this);
    typesHint->setWordWrap(true);
    types->addWidget(typesHint);
    auto *typeScroll = new QScrollArea(this);
    auto *typeHolder = new QWidget;
    typeHolder->setLayout(m_typeArea);
    m_typeArea->setContentsMargins(0, 0, 0, 0);
    m_typeArea->addStretch(1);
    typeScroll->setWidget(typeHolder);
    typeScroll->setWidgetResizable(true);
    typeScroll->setFrameShape(QFrame::NoFrame);
    typeScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    types->addWidget(typeScroll, 1);
    columns->addLayout(types, 2);
    layout->addLayout(columns, 1);
    m_tradesSettle = new QCheckBox(text(u"wizardTradesSettle"), this);
    layout->addWidget(m_tradesSettle);
    auto *settleHint = new QLabel(text(u"wizardTradesSettleHint"), this);
    settleHint->setWordWrap(true);
    settleHint->setEnabled(false);
    layout->addWidget(settleHint);
    connect(m_tradesSettle, &QCheckBox::toggled, this, [this](bool settle) {
        change([settle](ImportMapping &mapping) { mapping.tradesSettleInCash = settle; });
    });
    layout->addWidget(new WorkProgress(session, this));

    connect(&session, &TransactionImport::tableChanged, this, &ImportColumnsPage::showColumns);
    // A header row moved by the layout page renames the columns.
    connect(&session, &TransactionImport::planChanged, this, &ImportColumnsPage::showColumns);
    connect(&session, &TransactionImport::workChanged, this, &ImportColumnsPage::completeChanged);
    showColumns();
}

void ImportColumnsPage::change(const std::function<void(ImportMapping &)> &edit)
{
    ImportMapping mapping = m_session.mapping();
    edit(mapping);
    if (!(mapping == m_session.mapping()))
        m_session.setMapping(std::move(mapping));
}

void ImportColumnsPage::showColumns()
{
    const QStringList names = m_session.columnNames();
    if (names == m_columnNames && !names.isEmpty()) {
        show();
        return;
    }
    m_columnNames = names;
    for (QComboBox *picker : std::as_const(m_columns)) {
        const QSignalBlocker quiet(picker);
        picker->clear();
        picker->addItem(text(u"wizardNotInFile"), -1);
        for (int column = 0; column < names.size(); ++column) {
            // Two columns of one heading are told apart by their place.
            const bool repeated = names.count(names[column]) > 1;
            picker->addItem(repeated ? AppText::format(u"wizardColumnNumber", language(), {qint64(column + 1)}) +
                                           QStringLiteral(" · ") + names[column]
                                     : names[column],
                            column);
        }
    }
    show();
}

void ImportColumnsPage::show()
{
    const ImportMapping &mapping = m_session.mapping();
    for (auto picker = m_columns.cbegin(); picker != m_columns.cend(); ++picker)
        select(*picker, mapping.columns.value(picker.key(), -1));
    const QHash<ImportField, QString> fallbacks{{ImportField::Broker, mapping.defaultBroker},
                                                {ImportField::Market, mapping.defaultMarket},
                                                {ImportField::Currency, mapping.defaultCurrency},
                                                {ImportField::Type, mapping.defaultType}};
    for (auto fallback = m_defaults.cbegin(); fallback != m_defaults.cend(); ++fallback) {
        select(*fallback, fallbacks.value(fallback.key()));
        fallback.value()->setEnabled(!mapping.columns.contains(fallback.key()));
    }
    {
        const QSignalBlocker quiet(m_tradesSettle);
        m_tradesSettle->setChecked(mapping.tradesSettleInCash);
    }
    switch (m_session.mappingSource()) {
    case MappingSource::Guessed:
        m_source->hide();
        break;
    case MappingSource::SameHeadings:
    case MappingSource::SameBroker:
        m_source->setText(AppText::format(u"wizardSavedMapping", language(), {m_session.broker()}));
        m_source->show();
    }
    showTypeWords();
    Q_EMIT completeChanged();
}

void ImportColumnsPage::showTypeWords()
{
    const ImportMapping &mapping = m_session.mapping();
    const bool typeColumn = mapping.columns.contains(ImportField::Type);
    const QStringList words = typeColumn ? m_session.distinctTypeValues() : QStringList();
    if (!m_typeForm || words != m_shownWords || typeColumn != m_typeColumnShown) {
        delete m_typeForm;
        m_typeWords.clear();
        m_typeLabels.clear();
        m_shownWords = words;
        m_typeColumnShown = typeColumn;
        m_typeForm = new QWidget;
        auto *form = new QFormLayout(m_typeForm);
        form->setContentsMargins(0, 0, 0, 0);
        if (!typeColumn) {
            auto *none = new QLabel(text(u"wizardNoTypeColumn"), m_typeForm);
            none->setWordWrap(true);
            form->addRow(none);
        }
        for (const QString &word : words) {
            auto *name = new QLabel(m_typeForm);
            name->setWordWrap(true);
            QComboBox *typePicker = picker(m_typeForm);
            typePicker->setPlaceholderText(text(u"chooseOne"));
            for (const QString &type : quillfern::transactionTypes())
                typePicker->addItem(AppText::value(transactionTypeKey(type), language()), type);
            name->setBuddy(typePicker);
            form->addRow(name, typePicker);
            m_typeWords.append(typePicker);
            m_typeLabels.append(name);
            connect(typePicker, &QComboBox::activated, this, [this, typePicker, key = typeWordKey(word)] {
                const QString type = typePicker->currentData().toString();
                change([&key, &type](ImportMapping &edited) { edited.typeValues.insert(key, type); });
            });
        }
        m_typeArea->insertWidget(0, m_typeForm);
    }
    const QColor red = table::red(palette());
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString type = mapping.typeValues.value(typeWordKey(words[i]));
        select(m_typeWords[i], type);
        QLabel *name = m_typeLabels[i];
        QPalette shown = palette();
        if (type.isEmpty())
            shown.setColor(QPalette::WindowText, red);
        name->setPalette(shown);
        name->setText(type.isEmpty() ? AppText::format(u"wizardTypeUnmapped", language(), {words[i]}) : words[i]);
    }
}

bool ImportColumnsPage::isComplete() const
{
    return hasRecords();
}

} // namespace quillfern
