#include "app/exchange/ExportDialog.h"

#include "app/table/TableStyle.h"
#include "app/workspace/FileErrorText.h"
#include "app/workspace/Workspace.h"
#include "core/exchange/ExportColumns.h"
#include "text/Localization.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace quillfern {

using exchange::ExportTableKind;

const QString ExportDialog::folderKey = QStringLiteral("quillfernExportFolder");
const QString ExportDialog::byteOrderMarkKey = QStringLiteral("quillfernExportByteOrderMark");

namespace {

const QString spreadsheetName = QStringLiteral("Excel");

bool isCJK(const QString &language)
{
    return exchange::exportLanguage(language) != exchange::ExportLanguage::English;
}

} // namespace

ExportDialog::ExportDialog(Workspace &workspace, QWidget *parent)
    : QDialog(parent), m_workspace(workspace), m_language(workspace.displayLanguageCode())
{
    const auto text = [this](const char16_t *key) { return AppText::value(QStringView(key), m_language); };
    const auto rows = [this](const char16_t *key, qsizetype count) {
        return AppText::format(QStringView(key), m_language, {qint64(count)});
    };
    setObjectName(QStringLiteral("exportDialog"));
    setWindowTitle(text(u"exportTitle"));

    auto *include = new QGroupBox(text(u"exportInclude"), this);
    m_holdings = new QCheckBox(rows(u"exportHoldings", workspace.rows().size()), include);
    m_cash = new QCheckBox(rows(u"exportCash", workspace.cashRows().size()), include);
    m_ledger = new QCheckBox(rows(u"exportLedger", workspace.transactions().size()), include);
    auto *includeLayout = new QVBoxLayout(include);
    for (QCheckBox *box : {m_holdings, m_cash, m_ledger}) {
        box->setChecked(true);
        includeLayout->addWidget(box);
    }

    auto *format = new QGroupBox(text(u"exportFormat"), this);
    m_csv = new QRadioButton(text(u"exportCsv"), format);
    m_byteOrderMark = new QCheckBox(text(u"exportByteOrderMark"), format);
    m_byteOrderMark->setChecked(workspace.preferences().value(byteOrderMarkKey, isCJK(m_language)).toBool());
    m_byteOrderMarkHint = new QLabel(text(u"exportByteOrderMarkHint"), format);
    m_byteOrderMarkHint->setWordWrap(true);
    m_byteOrderMarkHint->setForegroundRole(QPalette::PlaceholderText);
    m_workbook = new QRadioButton(
        AppText::format(u"exportXlsx", m_language, {spreadsheetName, QStringLiteral(".xlsx")}), format);
    m_csv->setChecked(true);
    auto *formatLayout = new QVBoxLayout(format);
    formatLayout->addWidget(m_csv);
    auto *markLayout = new QVBoxLayout;
    markLayout->setContentsMargins(24, 0, 0, 0);
    markLayout->addWidget(m_byteOrderMark);
    markLayout->addWidget(m_byteOrderMarkHint);
    formatLayout->addLayout(markLayout);
    formatLayout->addWidget(m_workbook);

    auto *destinationLabel = new QLabel(text(u"exportDestination"), this);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    m_destination =
        new QLineEdit(QDir::toNativeSeparators(workspace.preferences().value(folderKey, documents).toString()), this);
    m_destination->setMinimumWidth(360);
    destinationLabel->setBuddy(m_destination);
    m_browse = new QPushButton(text(u"exportChoose"), this);
    auto *destinationLayout = new QHBoxLayout;
    destinationLayout->addWidget(destinationLabel);
    destinationLayout->addWidget(m_destination, 1);
    destinationLayout->addWidget(m_browse);

    auto *note =
        new QLabel(AppText::format(u"exportReportingNote", m_language, {workspace.reportingCurrency().code}), this);
    note->setWordWrap(true);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->hide();
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->hide();

    m_buttons = new QDialogButtonBox(this);
    m_export = m_buttons->addButton(text(u"exportButton"), QDialogButtonBox::AcceptRole);
    m_export->setDefault(true);
    m_close = m_buttons->addButton(text(u"cancel"), QDialogButtonBox::RejectRole);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(include);
    layout->addWidget(format);
    layout->addLayout(destinationLayout);
    layout->addWidget(note);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addStretch(1);
    layout->addWidget(m_buttons);

    connect(m_workbook, &QRadioButton::toggled, this, &ExportDialog::formatChanged);
    connect(m_browse, &QPushButton::clicked, this, &ExportDialog::chooseDestination);
    connect(m_export, &QPushButton::clicked, this, &ExportDialog::startExport);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &ExportDialog::reject);
    connect(&m_watcher, &QFutureWatcher<exchange::ExportOutcome>::finished, this,
            [this] { showOutcome(m_watcher.result()); });
    formatChanged();
}

ExportDialog::~ExportDialog()
{
    // The worker holds copies of everything it reads; it is left to finish rather than waited for.
    disconnect(&m_watcher, nullptr, this, nullptr);
}

ExportDialog *ExportDialog::openOver(Workspace &workspace, QWidget *parent)
{
    auto *dialog = new ExportDialog(workspace, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    return dialog;
}

QCheckBox *ExportDialog::tableBox(ExportTableKind kind) const
{
    switch (kind) {
    case ExportTableKind::Holdings:
        return m_holdings;
    case ExportTableKind::Cash:
        return m_cash;
    case ExportTableKind::Ledger:
        return m_ledger;
    }
    return nullptr;
}

exchange::ExportRequest ExportDialog::request() const
{
    exchange::ExportRequest request;
    for (const ExportTableKind kind : {ExportTableKind::Holdings, ExportTableKind::Cash, ExportTableKind::Ledger}) {
        if (tableBox(kind)->isChecked())
            request.tables.append(kind);
    }
    request.format = m_workbook->isChecked() ? exchange::ExportFileFormat::Xlsx : exchange::ExportFileFormat::Csv;
    request.destination = QDir::fromNativeSeparators(m_destination->text().trimmed());
    request.byteOrderMark = m_byteOrderMark->isChecked();
    request.day = QDate::currentDate();
    return request;
}

bool ExportDialog::isRunning() const
{
    return m_watcher.isRunning();
}

void ExportDialog::formatChanged()
{
    const bool workbook = m_workbook->isChecked();
    m_byteOrderMark->setEnabled(!workbook);
    m_byteOrderMarkHint->setEnabled(!workbook);
    // The field holds the folder for CSV files and the workbook's own path otherwise.
    const QString current = QDir::fromNativeSeparators(m_destination->text().trimmed());
    const bool namesWorkbook = current.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
    QString destination = current;
    if (workbook && !namesWorkbook && !current.isEmpty())
        destination = QDir(current).filePath(exchange::workbookFileName(QDate::currentDate()));
    else if (!workbook && namesWorkbook)
        destination = QFileInfo(current).absolutePath();
    m_destination->setText(QDir::toNativeSeparators(destination));
}

void ExportDialog::chooseDestination()
{
    const QString current = QDir::fromNativeSeparators(m_destination->text().trimmed());
    QString chosen;
    if (m_workbook->isChecked()) {
        const QString filter =
            AppText::format(u"exportWorkbookFilter", m_language, {spreadsheetName, QStringLiteral("*.xlsx")});
        chosen = QFileDialog::getSaveFileName(this, AppText::value(u"exportSaveWorkbook", m_language), current, filter);
        if (!chosen.isEmpty() && !chosen.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
            chosen += QStringLiteral(".xlsx");
    } else {
        chosen = QFileDialog::getExistingDirectory(this, AppText::value(u"exportChooseFolder", m_language), current);
    }
    if (!chosen.isEmpty())
        m_destination->setText(QDir::toNativeSeparators(chosen));
}

void ExportDialog::startExport()
{
    if (isRunning())
        return;
    const exchange::ExportRequest request = this->request();
    if (request.tables.isEmpty())
        return showStatus(AppText::value(u"exportNothingChosen", m_language), true);
    if (request.destination.isEmpty())
        return showStatus(AppText::value(u"exportNoDestination", m_language), true);

    exchange::ExportSource source{m_workspace.rows(),       m_workspace.cashRows(),          m_workspace.transactions(),
                                  m_workspace.currencies(), m_workspace.reportingCurrency(), m_language};
    const QString folder = request.format == exchange::ExportFileFormat::Csv
                               ? request.destination
                               : QFileInfo(request.destination).absolutePath();
    m_workspace.preferences().setValue(folderKey, folder);
    if (request.format == exchange::ExportFileFormat::Csv)
        m_workspace.preferences().setValue(byteOrderMarkKey, request.byteOrderMark);
    setRunning(true);
    m_watcher.setFuture(QtConcurrent::run(&exchange::runExport, request, std::move(source)));
}

void ExportDialog::showOutcome(const exchange::ExportOutcome &outcome)
{
    setRunning(false);
    if (outcome.error) {
        showStatus(fileErrorText(*outcome.error, m_language), true);
        Q_EMIT exportFinished(false);
        return;
    }
    const exchange::ExportRequest asked = request();
    if (asked.format == exchange::ExportFileFormat::Xlsx)
        showStatus(
            AppText::format(u"exportDoneWorkbook", m_language, {QDir::toNativeSeparators(outcome.written.value(0))}),
            false);
    else
        showStatus(AppText::format(u"exportDoneFiles", m_language,
                                   {qint64(outcome.written.size()), QDir::toNativeSeparators(asked.destination)}),
                   false);
    m_close->setText(AppText::value(u"exportClose", m_language));
    Q_EMIT exportFinished(true);
}

void ExportDialog::showStatus(const QString &text, bool isError)
{
    QPalette palette = this->palette();
    if (isError)
        palette.setColor(QPalette::WindowText, table::red(palette));
    m_status->setPalette(palette);
    m_status->setText(text);
    m_status->show();
}

void ExportDialog::setRunning(bool running)
{
    for (QWidget *choice : std::initializer_list<QWidget *>{m_holdings, m_cash, m_ledger, m_csv, m_workbook,
                                                            m_destination, m_browse, m_export, m_close})
        choice->setEnabled(!running);
    m_byteOrderMark->setEnabled(!running && m_csv->isChecked());
    m_progress->setVisible(running);
    if (running) {
        m_status->setText(AppText::value(u"exportRunning", m_language));
        m_status->setPalette(palette());
        m_status->show();
    }
}

void ExportDialog::reject()
{
    // The files are being written: closing now would leave the user not knowing which ones were.
    if (isRunning())
        return;
    QDialog::reject();
}

} // namespace quillfern
