#include "app/exchange/ImportWizard.h"

#include "app/workspace/Workspace.h"
#include "text/Localization.h"

namespace quillfern {

ImportWizard::ImportWizard(Workspace &workspace, QWidget *parent)
    : QWizard(parent), m_session(new TransactionImport(workspace, this))
{
    const QString language = workspace.displayLanguageCode();
    const auto text = [&language](const char16_t *key) { return AppText::value(QStringView(key), language); };
    setObjectName(QStringLiteral("importWizard"));
    setWindowTitle(text(u"wizardTitle"));
    setWizardStyle(QWizard::ClassicStyle);
    setOptions(QWizard::NoBackButtonOnStartPage | QWizard::NoCancelButtonOnLastPage);
    setButtonText(QWizard::BackButton, text(u"wizardBack"));
    setButtonText(QWizard::NextButton, text(u"wizardNext"));
    setButtonText(QWizard::CommitButton, text(u"wizardImport"));
    setButtonText(QWizard::FinishButton, text(u"wizardDone"));
    setButtonText(QWizard::CancelButton, text(u"cancel"));
    setMinimumSize(900, 660);

    m_file = new ImportFilePage(*m_session, this);
    m_layout = new ImportLayoutPage(*m_session, this);
    m_columns = new ImportColumnsPage(*m_session, this);
    m_preview = new ImportPreviewPage(*m_session, this);
    const auto leavesOutErrors = [preview = m_preview] { return preview->leavesOutErrors(); };
    m_classify = new ImportClassifyPage(*m_session, leavesOutErrors, this);
    m_result = new ImportResultPage(*m_session, leavesOutErrors, this);
    setPage(FilePageId, m_file);
    setPage(LayoutPageId, m_layout);
    setPage(ColumnsPageId, m_columns);
    setPage(PreviewPageId, m_preview);
    setPage(ClassifyPageId, m_classify);
    setPage(ResultPageId, m_result);
    setStartId(FilePageId);
}

ImportWizard *ImportWizard::openOver(Workspace &workspace, QWidget *parent)
{
    auto *wizard = new ImportWizard(workspace, parent);
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    wizard->setWindowModality(Qt::WindowModal);
    wizard->open();
    return wizard;
}

void ImportWizard::reject()
{
    // The service books the file whole or not at all; the answer is awaited rather than left unknown.
    if (m_session->work() == TransactionImport::Work::Committing)
        return;
    m_session->cancel();
    QWizard::reject();
}

} // namespace quillfern
