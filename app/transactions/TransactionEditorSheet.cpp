#include "app/transactions/TransactionEditorSheet.h"

#include "app/table/TableStyle.h"
#include "app/transactions/LedgerFormats.h"
#include "text/Formats.h"
#include "text/GicsNames.h"
#include "text/Localization.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillfern {

namespace {

// Offers options with the given labels and selects value; a value not offered selects nothing.
void showChoices(QComboBox *picker, const QStringList &values, const QStringList &labels, const QString &value)
{
    const QSignalBlocker quiet(picker);
    bool same = picker->count() == values.size();
    for (int i = 0; same && i < values.size(); ++i)
        same = picker->itemData(i).toString() == values[i] && picker->itemText(i) == labels[i];
    if (!same) {
        picker->clear();
        for (int i = 0; i < values.size(); ++i)
            picker->addItem(labels[i], values[i]);
    }
    picker->setCurrentIndex(int(values.indexOf(value)));
}

void showChoices(QComboBox *picker, const QStringList &values, const QString &value)
{
    showChoices(picker, values, values, value);
}

// Whether some installed font draws flag emoji. Without one a flag is two boxes, so it is left out.
bool canDrawFlags()
{
    static const bool drawable = [] {
        const QStringList families = QFontDatabase::families();
        return std::any_of(families.cbegin(), families.cend(),
                           [](const QString &family) { return QFontMetrics(QFont(family)).inFontUcs4(0x1F1FA); });
    }();
    return drawable;
}

// A number field shows 0 as its placeholder, so that typing starts from an empty field.
QString numberText(double value)
{
    return value == 0 ? QString() : decimal(value, 4);
}

// What a number field says: nothing typed is 0, text that is not a number is none.
std::optional<double> readNumber(const QString &text)
{
    return text.trimmed().isEmpty() ? std::optional(0.0) : readDecimal(text);
}

} // namespace

TransactionEditorSheet::TransactionEditorSheet(TransactionReferenceData reference, TransactionSave onSave,
                                               QWidget *parent, std::optional<TransactionRecord> editing)
    : QDialog(parent), m_editor(new TransactionEditor(std::move(reference), std::move(onSave),
                                                      QDateTime::currentDateTime(), std::move(editing), this))
{
    const QString language = m_editor->referenceData().languageCode;
    const auto text = [&language](const char16_t *key) { return AppText::value(QStringView(key), language); };
    const bool editsStored = m_editor->editedRecord().has_value();
    setObjectName(QStringLiteral("transactionEditorSheet"));
    setWindowTitle(text(editsStored ? u"editTransaction" : u"addTransaction"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(sheetWidth);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(18);

    auto *title = new QLabel(windowTitle(), this);
    title->setFont(table::uiFont(17, QFont::Bold));
    layout->addWidget(title);

    m_form = new QFormLayout;
    m_form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_form->setHorizontalSpacing(12);
    m_form->setVerticalSpacing(8);

    // Made in the order the form shows them, so that Tab goes down the sheet as it reads.
    m_type = new QComboBox(this);
    m_broker = new QComboBox(this);
    m_market = new QComboBox(this);
    m_code = new QLineEdit(this);
    m_quantity = numberField(&TransactionEntries::quantity);
    m_price = numberField(&TransactionEntries::price);
    m_commission = numberField(&TransactionEntries::commission);
    m_amount = numberField(&TransactionEntries::amount);
    // The ratio as "new : old", typed as two numbers.
    m_split = new QWidget(this);
    auto *ratio = new QHBoxLayout(m_split);
    ratio->setContentsMargins(0, 0, 0, 0);
    m_splitNew = numberField(&TransactionEntries::splitNew);
    m_splitOld = numberField(&TransactionEntries::splitOld);
    ratio->addWidget(m_splitNew, 1);
    ratio->addWidget(new QLabel(QStringLiteral(":"), m_split));
    ratio->addWidget(m_splitOld, 1);
    m_split->setFocusProxy(m_splitNew);
    m_currency = new QComboBox(this);
    m_settles = new QCheckBox(text(u"settlesInCash"), this);
    m_sector = new QComboBox(this);
    m_industry = new QComboBox(this);
    m_sector->setPlaceholderText(text(u"chooseOne"));
    m_industry->setPlaceholderText(text(u"chooseOne"));
    m_tradedAt = new QDateTimeEdit(this);
    m_tradedAt->setCalendarPopup(true);
    // Read and typed the way the ledger writes trade times in the language.
    const QString locale = m_editor->referenceData().locale;
    m_tradedAt->setLocale(QLocale(locale));
    m_tradedAt->setDisplayFormat(editableDateTimeFormat(locale));
    m_reason = new QPlainTextEdit(this);
    m_reason->setTabChangesFocus(true);
    const int line = m_reason->fontMetrics().lineSpacing();
    const int frame = 2 * (m_reason->frameWidth() + int(m_reason->document()->documentMargin()));
    m_reason->setMinimumHeight(2 * line + frame);
    m_reason->setMaximumHeight(5 * line + frame);

    m_form->addRow(text(u"transactionType"), m_type);
    m_form->addRow(text(u"account"), m_broker);
    m_form->addRow(text(u"market"), m_market);
    m_form->addRow(text(u"ticker"), m_code);
    m_form->addRow(text(u"quantity"), m_quantity);
    m_priceLabel = new QLabel(this);
    m_form->addRow(m_priceLabel, m_price);
    m_form->addRow(text(u"commission"), m_commission);
    m_form->addRow(text(u"amount"), m_amount);
    m_form->addRow(text(u"splitRatio"), m_split);
    m_form->addRow(text(u"currency"), m_currency);
    m_form->addRow(QString(), m_settles);
    m_form->addRow(text(u"sector"), m_sector);
    m_form->addRow(text(u"industry"), m_industry);
    m_form->addRow(text(u"tradeTime"), m_tradedAt);
    m_form->addRow(text(u"tradeReason"), m_reason);
    layout->addLayout(m_form);

    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    m_error->setFont(table::uiFont(12));
    QPalette red = m_error->palette();
    red.setColor(QPalette::WindowText, table::red(red));
    m_error->setPalette(red);
    layout->addWidget(m_error);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancelButton = new QPushButton(text(u"cancel"), this);
    m_addButton = new QPushButton(text(editsStored ? u"save" : u"add"), this);
    m_addButton->setDefault(true);
    m_addButton->setAutoDefault(true);
    m_cancelButton->setAutoDefault(false);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_addButton);
    layout->addLayout(buttons);

    // Fixed lists first, then the entries, so that nothing is written back while the pickers fill.
    const TransactionReferenceData &data = m_editor->referenceData();
    showChoices(m_broker, data.brokerageOptions, QString());
    showChoices(m_market, TransactionEditor::marketChoices, QString());
    QStringList typeLabels;
    for (const QString &type : transactionTypes())
        typeLabels.append(AppText::value(transactionTypeKey(type), language));
    showChoices(m_type, transactionTypes(), typeLabels, QString());
    QStringList codes, currencyLabels;
    for (const CurrencyOption &option : data.supportedCurrencies) {
        codes.append(option.code);
        currencyLabels.append(canDrawFlags() && !option.flag.isEmpty() ? option.flag + QLatin1Char(' ') + option.code
                                                                       : option.code);
    }
    // A stored or market currency the service does not list is still offered, so it shows and stays.
    const QString currency = m_editor->entries().currency;
    if (!currency.isEmpty() && !codes.contains(currency)) {
        codes.append(currency);
        currencyLabels.append(currency);
    }
    showChoices(m_currency, codes, currencyLabels, QString());
    showEntries();
    showState();

    const auto picked = [this](QComboBox *picker, QString TransactionEntries::*entry) {
        connect(picker, &QComboBox::activated, this, [this, picker, entry] {
            const QString value = picker->currentData().toString();
            edit([&value, entry](TransactionEntries &entries) { entries.*entry = value; });
        });
    };
    picked(m_broker, &TransactionEntries::broker);
    picked(m_market, &TransactionEntries::market);
    picked(m_type, &TransactionEntries::transactionType);
    picked(m_currency, &TransactionEntries::currency);
    picked(m_sector, &TransactionEntries::sector);
    picked(m_industry, &TransactionEntries::subSector);
    connect(m_code, &QLineEdit::textEdited, this,
            [this](const QString &code) { edit([&code](TransactionEntries &entries) { entries.code = code; }); });
    connect(m_settles, &QCheckBox::toggled, this,
            [this](bool on) { edit([on](TransactionEntries &entries) { entries.settlesInCash = on; }); });
    connect(m_tradedAt, &QDateTimeEdit::dateTimeChanged, this, [this](const QDateTime &moment) {
        edit([&moment](TransactionEntries &entries) { entries.tradedAt = moment; });
    });
    connect(m_reason, &QPlainTextEdit::textChanged, this, [this] {
        const QString reason = m_reason->toPlainText();
        edit([&reason](TransactionEntries &entries) { entries.reason = reason; });
    });
    connect(m_editor, &TransactionEditor::entriesChanged, this, &TransactionEditorSheet::showEntries);
    connect(m_editor, &TransactionEditor::stateChanged, this, &TransactionEditorSheet::showState);
    connect(m_editor, &TransactionEditor::finished, this, &QDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_addButton, &QPushButton::clicked, this, [this] { m_editor->save(); });
}

QLineEdit *TransactionEditorSheet::numberField(double TransactionEntries::*entry)
{
    auto *field = new QLineEdit(this);
    field->setAlignment(Qt::AlignRight);
    field->setPlaceholderText(decimal(0, 0));
    // A text that does not read as a number leaves the entry as it was.
    connect(field, &QLineEdit::textEdited, this, [this, entry](const QString &typed) {
        if (const auto value = readNumber(typed))
            edit([value, entry](TransactionEntries &entries) { entries.*entry = *value; });
    });
    connect(field, &QLineEdit::editingFinished, this, [this, field, entry] {
        if (!readNumber(field->text()))
            field->setText(numberText(m_editor->entries().*entry));
    });
    return field;
}

bool TransactionEditorSheet::showsField(QWidget *field) const
{
    if (field == m_splitNew || field == m_splitOld)
        field = m_split;
    return m_form->isRowVisible(field);
}

void TransactionEditorSheet::edit(const std::function<void(TransactionEntries &)> &change)
{
    TransactionEntries entries = m_editor->entries();
    change(entries);
    m_editor->setEntries(entries);
}

void TransactionEditorSheet::showForm()
{
    const TransactionForm form = m_editor->form();
    const QString language = m_editor->referenceData().languageCode;
    bool changed = false;
    const auto show = [this, &changed](QWidget *field, bool visible) {
        if (m_form->isRowVisible(field) == visible)
            return;
        m_form->setRowVisible(field, visible);
        changed = true;
    };
    show(m_broker, form.broker != FieldUse::Unused);
    show(m_market, form.instrument != FieldUse::Unused);
    show(m_code, form.instrument != FieldUse::Unused);
    show(m_quantity, form.quantity);
    show(m_price, form.price);
    show(m_commission, form.commission);
    show(m_amount, form.amount);
    show(m_split, form.splitRatio);
    show(m_currency, form.currency);
    show(m_settles, form.settlesInCash);
    show(m_sector, form.opensPosition);
    show(m_industry, form.opensPosition);
    m_priceLabel->setText(AppText::value(form.costPerShare ? u"costPerShare" : u"tradePrice", language));
    // A held code's sector is its holding's; only a code held nowhere lets the user pick.
    m_sector->setEnabled(m_editor->needsSector());
    m_industry->setEnabled(m_editor->needsSector());
    // The sheet takes the height of the rows it shows; its width stays.
    if (changed)
        adjustSize();
}

void TransactionEditorSheet::showEntries()
{
    const TransactionEntries &entries = m_editor->entries();
    const auto setIfDifferent = [](QComboBox *picker, const QString &value) {
        const QSignalBlocker quiet(picker);
        picker->setCurrentIndex(picker->findData(value));
    };
    setIfDifferent(m_broker, entries.broker);
    setIfDifferent(m_market, entries.market);
    setIfDifferent(m_type, entries.transactionType);
    setIfDifferent(m_currency, entries.currency);
    // Sectors and industries are stored in English and listed by their names in the sheet's language.
    const QString language = m_editor->referenceData().languageCode;
    const auto showGics = [&language](QComboBox *picker, const QStringList &names, const QString &value) {
        const QStringList sorted = sortedByGicsDisplayName(names, language);
        showChoices(picker, sorted, gicsDisplayNames(sorted, language), value);
    };
    QStringList sectors = m_editor->sectorOptions();
    QStringList subs = m_editor->subSectorOptions();
    // A holding's sector is shown even when the service's list lacks it.
    if (!entries.sector.isEmpty() && !sectors.contains(entries.sector))
        sectors.append(entries.sector);
    if (!entries.subSector.isEmpty() && !subs.contains(entries.subSector))
        subs.append(entries.subSector);
    showGics(m_sector, sectors, entries.sector);
    showGics(m_industry, subs, entries.subSector);
    if (m_code->text() != entries.code)
        m_code->setText(entries.code);
    const auto showNumber = [](QLineEdit *field, double value) {
        if (readNumber(field->text()) != std::optional(value))
            field->setText(numberText(value));
    };
    showNumber(m_quantity, entries.quantity);
    showNumber(m_price, entries.price);
    showNumber(m_commission, entries.commission);
    showNumber(m_amount, entries.amount);
    showNumber(m_splitNew, entries.splitNew);
    showNumber(m_splitOld, entries.splitOld);
    if (m_settles->isChecked() != entries.settlesInCash) {
        const QSignalBlocker quiet(m_settles);
        m_settles->setChecked(entries.settlesInCash);
    }
    if (m_tradedAt->dateTime() != entries.tradedAt) {
        const QSignalBlocker quiet(m_tradedAt);
        m_tradedAt->setDateTime(entries.tradedAt);
    }
    if (m_reason->toPlainText() != entries.reason) {
        const QSignalBlocker quiet(m_reason);
        m_reason->setPlainText(entries.reason);
    }
    showForm();
}

void TransactionEditorSheet::showState()
{
    const auto &message = m_editor->errorMessage();
    m_error->setText(message.value_or(QString()));
    m_error->setVisible(message.has_value());
    m_addButton->setEnabled(!m_editor->isSaving());
    // The field the checks found at fault takes the focus, so that it can be put right at once.
    const QHash<QString, QWidget *> fields{
        {QStringLiteral("broker"), m_broker},       {QStringLiteral("market"), m_market},
        {QStringLiteral("code"), m_code},           {QStringLiteral("quantity"), m_quantity},
        {QStringLiteral("price"), m_price},         {QStringLiteral("commission"), m_commission},
        {QStringLiteral("amount"), m_amount},       {QStringLiteral("split_ratio"), m_splitNew},
        {QStringLiteral("currency"), m_currency},   {QStringLiteral("sector"), m_sector},
        {QStringLiteral("sub_sector"), m_industry}, {QStringLiteral("traded_at"), m_tradedAt}};
    if (QWidget *faulty = fields.value(m_editor->faultyField()); faulty && faulty->isVisible())
        faulty->setFocus(Qt::OtherFocusReason);
    // The sheet grows by the message's lines and shrinks back without it; its width stays.
    adjustSize();
}

} // namespace quillfern
