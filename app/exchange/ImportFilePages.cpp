// The first two pages: the file with its brokerage and encoding, then how its lines split into records.

#include "app/exchange/ImportPages.h"

#include "app/table/TableStyle.h"
#include "app/workspace/Workspace.h"
#include "text/Localization.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillfern {

using namespace exchange;

namespace {

constexpr int shownRecords = 30;
constexpr int shownColumns = 40;
constexpr int sampledValues = 500;

// Fills a picker with labels and values unless it already holds them, then selects value without a signal.
void showChoices(QComboBox *picker, const QStringList &labels, const QVariantList &values, const QVariant &value)
{
    const QSignalBlocker quiet(picker);
    bool same = picker->count() == labels.size();
    for (int i = 0; same && i < labels.size(); ++i)
        same = picker->itemText(i) == labels[i] && picker->itemData(i) == values[i];
    if (!same) {
        picker->clear();
        for (int i = 0; i < labels.size(); ++i)
            picker->addItem(labels[i], values[i]);
    }
    picker->setCurrentIndex(int(values.indexOf(value)));
}

QString numberExample(NumberStyle style)
{
    QString text = QStringLiteral("1");
    if (!style.grouping.isNull())
        text += style.grouping;
    return text + QStringLiteral("234") + style.decimal + QStringLiteral("56");
}

// The values of a field's column below the heading, blanks left out.
QStringList valuesOf(const TransactionImport &session, ImportField field)
{
    QStringList values;
    const ImportMapping &mapping = session.mapping();
    const int column = mapping.columns.value(field, -1);
    const auto &records = session.table().records;
    for (qsizetype i = mapping.skipLines + (mapping.hasHeader ? 1 : 0);
         column >= 0 && i < records.size() && values.size() < sampledValues; ++i) {
        const QString value = records[i].fields.value(column).trimmed();
        if (!value.isEmpty())
            values.append(value);
    }
    return values;
}

} // namespace

WorkProgress::WorkProgress(TransactionImport &session, QWidget *parent)
    : QWidget(parent), m_session(session), m_step(new QLabel(this)), m_bar(new QProgressBar(this)),
      m_stop(new QPushButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_step);
    layout->addWidget(m_bar, 1);
    layout->addWidget(m_stop);
    m_bar->setRange(0, 1000);
    m_bar->setTextVisible(false);
    m_stop->setAutoDefault(false);
    connect(m_stop, &QPushButton::clicked, &session, &TransactionImport::cancel);
    connect(&session, &TransactionImport::workChanged, this, &WorkProgress::show);
    show();
}

void WorkProgress::show()
{
    const QString language = m_session.workspace().displayLanguageCode();
    const bool running =
        m_session.work() == TransactionImport::Work::Reading || m_session.work() == TransactionImport::Work::Planning;
    m_stop->setText(AppText::value(u"wizardStop", language));
    m_step->setText(running ? AppText::value(m_session.progressStep().isEmpty() ? u"wizardReadingFile"
                                                                                : QStringView(m_session.progressStep()),
                                             language)
                            : AppText::value(u"wizardStopped", language));
    m_bar->setValue(m_session.progress());
    m_bar->setVisible(running);
    m_stop->setVisible(running);
    setVisible(running || m_session.wasStopped());
}

ImportPage::ImportPage(TransactionImport &session, QWidget *parent) : QWizardPage(parent), m_session(session) {}

QString ImportPage::language() const
{
    return m_session.workspace().displayLanguageCode();
}

QString ImportPage::text(QStringView key) const
{
    return AppText::value(key, language());
}

QLabel *ImportPage::label(QStringView key, QWidget *buddy)
{
    auto *label = new QLabel(text(key), this);
    label->setBuddy(buddy);
    return label;
}

QLabel *ImportPage::problemLabel()
{
    auto *label = new QLabel(this);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette red = label->palette();
    red.setColor(QPalette::WindowText, table::red(red));
    label->setPalette(red);
    label->hide();
    return label;
}

bool ImportPage::hasRecords() const
{
    return !m_session.isBusy() && !m_session.table().records.isEmpty() && (!m_session.problem() || m_session.hasPlan());
}

ImportFilePage::ImportFilePage(TransactionImport &session, QWidget *parent)
    : ImportPage(session, parent), m_path(new QLineEdit(this)), m_broker(new QComboBox(this)),
      m_encoding(new QComboBox(this)), m_sample(new QPlainTextEdit(this))
{
    setTitle(text(u"wizardFilePage"));
    auto *layout = new QVBoxLayout(this);
    auto *hint = new QLabel(text(u"wizardFileHint"), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    auto *grid = new QGridLayout;
    auto *browse = new QPushButton(text(u"wizardBrowse"), this);
    browse->setAutoDefault(false);
    grid->addWidget(label(u"wizardFileLabel", m_path), 0, 0);
    grid->addWidget(m_path, 0, 1);
    grid->addWidget(browse, 0, 2);
    grid->addWidget(label(u"wizardBrokerLabel", m_broker), 1, 0);
    grid->addWidget(m_broker, 1, 1);
    grid->addWidget(label(u"wizardEncodingLabel", m_encoding), 2, 0);
    grid->addWidget(m_encoding, 2, 1);
    QLabel *sampleLabel = label(u"wizardSampleLabel", m_sample);
    sampleLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(sampleLabel, 3, 0);
    grid->addWidget(m_sample, 3, 1, 1, 2);
    auto *sampleHint = new QLabel(text(u"wizardSampleHint"), this);
    sampleHint->setWordWrap(true);
    grid->addWidget(sampleHint, 4, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);
    layout->addLayout(grid, 1);
    layout->addWidget(new WorkProgress(session, this));
    m_problem = problemLabel();
    layout->addWidget(m_problem);

    m_sample->setReadOnly(true);
    m_sample->setTabChangesFocus(true);
    m_sample->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_sample->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_sample->setMinimumHeight(8 * m_sample->fontMetrics().lineSpacing());

    // Down the page as it reads: the file, its button, then the choices about it.
    setTabOrder(m_path, browse);
    setTabOrder(browse, m_broker);
    setTabOrder(m_broker, m_encoding);
    setTabOrder(m_encoding, m_sample);

    connect(browse, &QPushButton::clicked, this, &ImportFilePage::browse);
    connect(m_path, &QLineEdit::editingFinished, this, &ImportFilePage::openTyped);
    connect(m_broker, &QComboBox::activated, this, [this] { m_session.setBroker(m_broker->currentText()); });
    connect(m_encoding, &QComboBox::activated, this,
            [this] { m_session.setEncoding(m_encoding->currentData().toString()); });
    connect(&session, &TransactionImport::tableChanged, this, &ImportFilePage::show);
    connect(&session, &TransactionImport::planChanged, this, &ImportFilePage::show);
    connect(&session, &TransactionImport::workChanged, this, &ImportFilePage::show);
    show();
}

void ImportFilePage::initializePage()
{
    m_path->setFocus(Qt::OtherFocusReason);
}

void ImportFilePage::browse()
{
    const QString folder = m_path->text().isEmpty() ? QString() : QFileInfo(m_path->text()).absolutePath();
    const QString filter = text(u"wizardFileTypes") + QStringLiteral(" (*.csv *.tsv *.txt);;") +
                           text(u"wizardAllFiles") + QStringLiteral(" (*)");
    const QString path = QFileDialog::getOpenFileName(this, text(u"wizardChooseFile"), folder, filter);
    if (path.isEmpty())
        return;
    m_path->setText(path);
    m_session.open(path);
}

void ImportFilePage::openTyped()
{
    const QString path = m_path->text().trimmed();
    if (!path.isEmpty() && path != m_session.filePath())
        m_session.open(path);
}

void ImportFilePage::show()
{
    QStringList brokers = m_session.workspace().brokerageNames();
    if (!m_session.broker().isEmpty() && !brokers.contains(m_session.broker()))
        brokers.append(m_session.broker());
    showChoices(m_broker, brokers, QVariantList(brokers.cbegin(), brokers.cend()), m_session.broker());

    const QString detected = m_session.detectedEncoding().name;
    const QString current = m_session.mapping().encoding.isEmpty() ? detected : m_session.mapping().encoding;
    QStringList names = offeredEncodings();
    for (const QString &name : {detected, current}) {
        if (!name.isEmpty() && !names.contains(name))
            names.prepend(name);
    }
    QStringList labels;
    for (const QString &name : names)
        labels.append(name == detected ? AppText::format(u"wizardEncodingDetected", language(), {name}) : name);
    showChoices(m_encoding, labels, QVariantList(names.cbegin(), names.cend()), current);
    m_encoding->setEnabled(!m_session.contentHash().isEmpty());

    if (m_sample->toPlainText() != m_session.sample())
        m_sample->setPlainText(m_session.sample());
    const auto problem = m_session.hasPlan() ? std::nullopt : m_session.problemText();
    m_problem->setText(problem.value_or(QString()));
    m_problem->setVisible(problem.has_value() && !m_session.isBusy());
    Q_EMIT completeChanged();
}

bool ImportFilePage::isComplete() const
{
    return hasRecords();
}

ImportLayoutPage::ImportLayoutPage(TransactionImport &session, QWidget *parent)
    : ImportPage(session, parent), m_delimiter(new QComboBox(this)), m_header(new QCheckBox(this)),
      m_skip(new QSpinBox(this)), m_numbers(new QComboBox(this)), m_dates(new QComboBox(this)),
      m_records(new QTableWidget(this))
{
    setTitle(text(u"wizardLayoutPage"));
    auto *layout = new QVBoxLayout(this);
    auto *hint = new QLabel(text(u"wizardLayoutHint"), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto *form = new QFormLayout;
    form->addRow(label(u"wizardDelimiterLabel", m_delimiter), m_delimiter);
    m_header->setText(text(u"wizardHeaderRow"));
    form->addRow(m_header);
    form->addRow(label(u"wizardSkipLabel", m_skip), m_skip);
    form->addRow(label(u"wizardNumbersLabel", m_numbers), m_numbers);
    form->addRow(label(u"wizardDatesLabel", m_dates), m_dates);
    layout->addLayout(form);
    layout->addWidget(label(u"wizardRawPreview", m_records));
    layout->addWidget(m_records, 1);
    layout->addWidget(new WorkProgress(session, this));
    m_problem = problemLabel();
    layout->addWidget(m_problem);

    m_skip->setRange(0, 100);
    m_records->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_records->setTabKeyNavigation(false);
    m_records->setWordWrap(false);
    m_records->horizontalHeader()->setDefaultSectionSize(120);

    connect(m_delimiter, &QComboBox::activated, this, [this] {
        m_session.setDialect(CsvDialect{m_delimiter->currentData().toChar(), m_session.mapping().dialect.quote});
    });
    connect(m_header, &QCheckBox::toggled, this,
            [this](bool on) { change([on](ImportMapping &mapping) { mapping.hasHeader = on; }); });
    connect(m_skip, &QSpinBox::valueChanged, this,
            [this](int lines) { change([lines](ImportMapping &mapping) { mapping.skipLines = lines; }); });
    connect(m_numbers, &QComboBox::activated, this, [this] {
        const QString pair = m_numbers->currentData().toString();
        change([&pair](ImportMapping &mapping) { mapping.numbers = NumberStyle{pair.at(0), pair.at(1)}; });
    });
    connect(m_dates, &QComboBox::activated, this, [this] {
        const QString format = m_dates->currentData().toString();
        change([&format](ImportMapping &mapping) { mapping.dateFormat = format; });
    });
    connect(&session, &TransactionImport::tableChanged, this, &ImportLayoutPage::show);
    connect(&session, &TransactionImport::planChanged, this, &ImportLayoutPage::show);
    connect(&session, &TransactionImport::workChanged, this, &ImportLayoutPage::completeChanged);
    show();
}

void ImportLayoutPage::change(const std::function<void(ImportMapping &)> &edit)
{
    ImportMapping mapping = m_session.mapping();
    edit(mapping);
    if (!(mapping == m_session.mapping()))
        m_session.setMapping(std::move(mapping));
}

void ImportLayoutPage::show()
{
    const ImportMapping &mapping = m_session.mapping();
    QStringList labels{text(u"wizardDelimiterComma"), text(u"wizardDelimiterSemicolon"), text(u"wizardDelimiterTab"),
                       text(u"wizardDelimiterBar")};
    QVariantList delimiters{QChar(u','), QChar(u';'), QChar(u'\t'), QChar(u'|')};
    if (!delimiters.contains(QVariant(mapping.dialect.delimiter))) {
        labels.append(QString(mapping.dialect.delimiter));
        delimiters.append(mapping.dialect.delimiter);
    }
    showChoices(m_delimiter, labels, delimiters, mapping.dialect.delimiter);
    {
        const QSignalBlocker quiet(m_header);
        m_header->setChecked(mapping.hasHeader);
    }
    {
        const QSignalBlocker quiet(m_skip);
        m_skip->setValue(mapping.skipLines);
    }

    // Styles as "decimal sign, grouping sign" pairs; a null grouping is written as a NUL.
    QList<NumberStyle> styles{{u'.', QChar()}, {u'.', u','},  {u',', u'.'},         {u',', u' '},
                              {u',', QChar()}, {u'.', u'\''}, {u',', QChar(0x00A0)}};
    if (!styles.contains(mapping.numbers))
        styles.append(mapping.numbers);
    QStringList numberLabels;
    QVariantList numberValues;
    for (const NumberStyle &style : styles) {
        numberLabels.append(numberExample(style));
        numberValues.append(QString(style.decimal) + (style.grouping.isNull() ? QChar(u'\0') : style.grouping));
    }
    showChoices(m_numbers, numberLabels, numberValues,
                QString(mapping.numbers.decimal) +
                    (mapping.numbers.grouping.isNull() ? QChar(u'\0') : mapping.numbers.grouping));

    // The formats that read every date of the file first, each with how it reads the first one.
    const QStringList dates = valuesOf(m_session, ImportField::Date);
    const QStringList fitting = dates.isEmpty() ? QStringList() : dateFormatsFitting(dates);
    QStringList formats = fitting;
    for (const QString &format : knownDateFormats() + QStringList{mapping.dateFormat}) {
        if (!format.isEmpty() && !formats.contains(format))
            formats.append(format);
    }
    const QLocale locale(m_session.workspace().displayLocale());
    QStringList dateLabels;
    for (const QString &format : formats) {
        const QDate date = dates.isEmpty() ? QDate() : parseImportDate(dates.first(), format);
        QString shown = date.isValid()
                            ? AppText::format(u"wizardDateExample", language(),
                                              {format, dates.first(), locale.toString(date, QLocale::LongFormat)})
                            : format;
        if (!dates.isEmpty() && !fitting.contains(format))
            shown = AppText::format(u"wizardFormatDoesNotFit", language(), {shown});
        dateLabels.append(shown);
    }
    showChoices(m_dates, dateLabels, QVariantList(formats.cbegin(), formats.cend()), mapping.dateFormat);

    showRecords();
    const auto problem = m_session.problemText();
    m_problem->setText(problem.value_or(QString()));
    m_problem->setVisible(problem.has_value() && !m_session.isBusy());
    Q_EMIT completeChanged();
}

void ImportLayoutPage::showRecords()
{
    const ImportMapping &mapping = m_session.mapping();
    const auto &records = m_session.table().records;
    const int rows = int(std::min(records.size(), qsizetype(shownRecords)));
    const int columns = std::min(m_session.columnCount(), shownColumns);
    m_records->clear();
    m_records->setRowCount(rows);
    m_records->setColumnCount(columns);
    QStringList lines;
    const QColor skipped = palette().color(QPalette::Disabled, QPalette::Text);
    QFont heading = font();
    heading.setBold(true);
    for (int row = 0; row < rows; ++row) {
        lines.append(QString::number(records[row].line));
        for (int column = 0; column < std::min(columns, int(records[row].fields.size())); ++column) {
            auto *cell = new QTableWidgetItem(records[row].fields[column]);
            if (row < mapping.skipLines)
                cell->setForeground(skipped);
            else if (row == mapping.skipLines && mapping.hasHeader)
                cell->setFont(heading);
            m_records->setItem(row, column, cell);
        }
    }
    m_records->setVerticalHeaderLabels(lines);
}

bool ImportLayoutPage::isComplete() const
{
    return hasRecords();
}

} // namespace quillfern
