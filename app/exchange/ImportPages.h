#pragma once

// The import wizard's pages. Each shows a part of the import session and forwards the user's choices to it;
// none keeps state of its own beyond its widgets.

#include "app/workspace/TransactionImport.h"

#include <QWizardPage>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;
class QTableWidget;
class QVBoxLayout;

namespace quillfern {

class ImportPreviewModel;

// The wizard's pages in order; the classification page is skipped when every code is held or classified.
enum ImportPageId { FilePageId, LayoutPageId, ColumnsPageId, PreviewPageId, ClassifyPageId, ResultPageId };

// The step a read or plan is at, its progress and the button that stops it; after a stop, that it stopped.
class WorkProgress : public QWidget {
    Q_OBJECT

public:
    WorkProgress(TransactionImport &session, QWidget *parent = nullptr);
    QPushButton *stopButton() const { return m_stop; }

private:
    void show();

    TransactionImport &m_session;
    QLabel *m_step;
    QProgressBar *m_bar;
    QPushButton *m_stop;
};

class ImportPage : public QWizardPage {
    Q_OBJECT

protected:
    ImportPage(TransactionImport &session, QWidget *parent);
    QString language() const;
    QString text(QStringView key) const;
    // A label with a mnemonic that gives the focus to buddy.
    QLabel *label(QStringView key, QWidget *buddy);
    QLabel *problemLabel();
    // The page can go on once the file was read into records (a problem of the plan is for later pages).
    bool hasRecords() const;

    TransactionImport &m_session;
};

class ImportFilePage : public ImportPage {
    Q_OBJECT

public:
    explicit ImportFilePage(TransactionImport &session, QWidget *parent = nullptr);
    bool isComplete() const override;
    void initializePage() override;

    QLineEdit *pathField() const { return m_path; }
    QComboBox *brokerPicker() const { return m_broker; }
    QComboBox *encodingPicker() const { return m_encoding; }
    QPlainTextEdit *sampleView() const { return m_sample; }

private:
    void browse();
    void openTyped();
    void show();

    QLineEdit *m_path;
    QComboBox *m_broker;
    QComboBox *m_encoding;
    QPlainTextEdit *m_sample;
    QLabel *m_problem;
};

class ImportLayoutPage : public ImportPage {
    Q_OBJECT

public:
    explicit ImportLayoutPage(TransactionImport &session, QWidget *parent = nullptr);
    bool isComplete() const override;

    QComboBox *delimiterPicker() const { return m_delimiter; }
    QCheckBox *headerBox() const { return m_header; }
    QSpinBox *skipField() const { return m_skip; }
    QComboBox *numbersPicker() const { return m_numbers; }
    QComboBox *datesPicker() const { return m_dates; }
    QTableWidget *recordsView() const { return m_records; }

private:
    void show();
    void showRecords();
    void change(const std::function<void(exchange::ImportMapping &)> &edit);

    QComboBox *m_delimiter;
    QCheckBox *m_header;
    QSpinBox *m_skip;
    QComboBox *m_numbers;
    QComboBox *m_dates;
    QTableWidget *m_records;
    QLabel *m_problem;
};

class ImportColumnsPage : public ImportPage {
    Q_OBJECT

public:
    explicit ImportColumnsPage(TransactionImport &session, QWidget *parent = nullptr);
    bool isComplete() const override;

    // The column picker of a field, and the value taken when the field is not in the file (broker, market,
    // currency and type only).
    QComboBox *columnPicker(exchange::ImportField field) const { return m_columns.value(field); }
    QComboBox *defaultPicker(exchange::ImportField field) const { return m_defaults.value(field); }
    // The type picked for each distinct word of the type column, in the order the file shows them.
    const QList<QComboBox *> &typeWordPickers() const { return m_typeWords; }
    QCheckBox *tradesSettleInCash() const { return m_tradesSettle; }

private:
    void showColumns();
    void showTypeWords();
    void show();
    void change(const std::function<void(exchange::ImportMapping &)> &edit);

    QStringList m_columnNames;
    QHash<exchange::ImportField, QComboBox *> m_columns;
    QHash<exchange::ImportField, QComboBox *> m_defaults;
    QLabel *m_source;
    QVBoxLayout *m_typeArea;
    QWidget *m_typeForm = nullptr;
    QStringList m_shownWords;
    bool m_typeColumnShown = false;
    QList<QComboBox *> m_typeWords;
    QList<QLabel *> m_typeLabels;
    QCheckBox *m_tradesSettle = nullptr;
};

class ImportPreviewPage : public ImportPage {
    Q_OBJECT

public:
    static constexpr int shownRows = 200;

    explicit ImportPreviewPage(TransactionImport &session, QWidget *parent = nullptr);
    bool isComplete() const override;
    int nextId() const override;
    void initializePage() override;

    QLabel *countsLabel() const { return m_counts; }
    QTableView *rowsView() const { return m_view; }
    QCheckBox *onlyGoodRowsBox() const { return m_onlyGood; }
    bool leavesOutErrors() const;

private:
    void show();

    ImportPreviewModel *m_model;
    QLabel *m_counts;
    QTableView *m_view;
    QLabel *m_duplicates;
    QCheckBox *m_onlyGood;
    QLabel *m_problem;
};

class ImportClassifyPage : public ImportPage {
    Q_OBJECT

public:
    explicit ImportClassifyPage(TransactionImport &session, std::function<bool()> leavesOutErrors,
                                QWidget *parent = nullptr);
    bool isComplete() const override;
    void initializePage() override;

    // The sector and sub-industry pickers of each code, in the order listed.
    QList<std::pair<QComboBox *, QComboBox *>> pickers() const { return m_pickers; }

private:
    void showIndustries(const QString &code, QComboBox *sector, QComboBox *industry);

    std::function<bool()> m_leavesOutErrors;
    QGridLayout *m_grid;
    QWidget *m_rows;
    QList<std::pair<QComboBox *, QComboBox *>> m_pickers;
};

class ImportResultPage : public ImportPage {
    Q_OBJECT

public:
    ImportResultPage(TransactionImport &session, std::function<bool()> leavesOutErrors, QWidget *parent = nullptr);
    bool isComplete() const override;
    void initializePage() override;

    QLabel *statusLabel() const { return m_status; }
    QPushButton *tryAgainButton() const { return m_tryAgain; }

private:
    void commit();
    void show();

    std::function<bool()> m_leavesOutErrors;
    int m_sending = 0;
    QLabel *m_status;
    QProgressBar *m_bar;
    QPushButton *m_tryAgain;
};

} // namespace quillfern
