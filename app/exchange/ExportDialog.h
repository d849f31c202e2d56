#pragma once

// File › Export…: which tables (holdings, cash, ledger), CSV files into a folder or one workbook, and for
// CSV a byte-order mark. The tables are made from a snapshot of the working copy and written on a worker
// thread; the dialog then names the files written, or why they could not be, in the user's words.

#include "core/exchange/ExportJob.h"

#include <QDialog>
#include <QFutureWatcher>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace quillfern {

class Workspace;

class ExportDialog : public QDialog {
    Q_OBJECT

public:
    // Where the last export went; the documents folder until then.
    static const QString folderKey;
    static const QString byteOrderMarkKey;

    explicit ExportDialog(Workspace &workspace, QWidget *parent = nullptr);
    ~ExportDialog() override;

    // A dialog over parent, window-modal, deleted once closed.
    static ExportDialog *openOver(Workspace &workspace, QWidget *parent);

    // What the choices ask for, destination and day included.
    exchange::ExportRequest request() const;
    // Starts the export the choices ask for; the outcome shows in statusLabel() once finished() is emitted.
    void startExport();
    bool isRunning() const;

    QCheckBox *tableBox(exchange::ExportTableKind kind) const;
    QRadioButton *csvButton() const { return m_csv; }
    QRadioButton *workbookButton() const { return m_workbook; }
    QCheckBox *byteOrderMarkBox() const { return m_byteOrderMark; }
    QLineEdit *destinationField() const { return m_destination; }
    QLabel *statusLabel() const { return m_status; }
    QPushButton *exportButton() const { return m_export; }

    void reject() override;

Q_SIGNALS:
    void exportFinished(bool succeeded);

private:
    void formatChanged();
    void chooseDestination();
    void showOutcome(const exchange::ExportOutcome &outcome);
    void showStatus(const QString &text, bool isError);
    void setRunning(bool running);

    Workspace &m_workspace;
    QString m_language;
    QCheckBox *m_holdings;
    QCheckBox *m_cash;
    QCheckBox *m_ledger;
    QRadioButton *m_csv;
    QRadioButton *m_workbook;
    QCheckBox *m_byteOrderMark;
    QLabel *m_byteOrderMarkHint;
    QLineEdit *m_destination;
    QPushButton *m_browse;
    QLabel *m_status;
    QProgressBar *m_progress;
    QDialogButtonBox *m_buttons;
    QPushButton *m_export;
    QPushButton *m_close;
    QFutureWatcher<exchange::ExportOutcome> m_watcher;
};

} // namespace quillfern
