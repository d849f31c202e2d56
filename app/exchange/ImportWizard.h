#pragma once

// File › Import Transactions…: a wizard over the window that reads a broker's CSV or tab-separated file,
// lets the user confirm its encoding, layout, columns and type words, shows what each row becomes, asks the
// sector of codes held nowhere, and books the rows in one request. Escape closes it and stops a running read;
// it stays open while the booking is on its way.

#include "app/exchange/ImportPages.h"

#include <QWizard>

namespace quillfern {

class Workspace;

class ImportWizard : public QWizard {
    Q_OBJECT

public:
    explicit ImportWizard(Workspace &workspace, QWidget *parent = nullptr);

    // A wizard over parent, window-modal, deleted once closed.
    static ImportWizard *openOver(Workspace &workspace, QWidget *parent);

    TransactionImport &session() const { return *m_session; }
    ImportFilePage *filePage() const { return m_file; }
    ImportLayoutPage *layoutPage() const { return m_layout; }
    ImportColumnsPage *columnsPage() const { return m_columns; }
    ImportPreviewPage *previewPage() const { return m_preview; }
    ImportClassifyPage *classifyPage() const { return m_classify; }
    ImportResultPage *resultPage() const { return m_result; }

    void reject() override;

private:
    TransactionImport *m_session;
    ImportFilePage *m_file;
    ImportLayoutPage *m_layout;
    ImportColumnsPage *m_columns;
    ImportPreviewPage *m_preview;
    ImportClassifyPage *m_classify;
    ImportResultPage *m_result;
};

} // namespace quillfern
