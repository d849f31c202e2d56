// Private brokerages created from the add-brokerage dialog, and the save made when the window closes.

#include "app/workspace/Workspace.h"
#include "auth/AuthManager.h"
#include "text/Localization.h"

#include <QCoroSignal>
#include <QPointer>
#include <QTextBoundaryFinder>

namespace quillfern {

namespace {

int perceivedLength(const QString &text)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (graphemes.toNextBoundary() > 0)
        ++count;
    return count;
}

} // namespace

QCoro::Task<> Workspace::createCustomBrokerage()
{
    const auto token = currentToken();
    if (!token)
        co_return;
    const QString name = m_newBrokerageName.trimmed();
    if (perceivedLength(name) < 2) {
        setPortfolioError(AppText::value(u"brokerageNameRequired", selectedLanguage().code));
        co_return;
    }
    const QPointer<Workspace> self(this);
    auto call = PortfolioAPI::createBrokerage(m_endpoint, *token, name);
    auto created = co_await std::move(call);
    if (!self)
        co_return;
    if (!created) {
        setPortfolioError(created.error().description());
        co_return;
    }
    if (!isSession(*token))
        co_return;
    const bool known = std::any_of(m_brokerages.cbegin(), m_brokerages.cend(),
                                   [&](const BrokerageOption &option) { return option.id == created->id; });
    if (!known) {
        m_brokerages.append(*created);
        Q_EMIT referenceDataChanged();
    }
    m_newBrokerageName.clear();
}

bool Workspace::hasUnsavedChanges() const
{
    return hasUnsyncedEdits();
}

QCoro::Task<bool> Workspace::saveBeforeClosing()
{
    const QPointer<Workspace> self(this);
    // A save refused because the service moved on merges and goes again; a few rounds at most.
    for (int round = 0; round < 3; ++round) {
        cancelPendingSave();
        while (m_savingPortfolio) {
            co_await qCoro(this, &Workspace::syncStateChanged);
            if (!self)
                co_return false;
        }
        cancelPendingSave(); // the save that ended may have scheduled the next one
        const auto token = currentToken();
        if (!token || portfolioMatchesSyncedData())
            co_return true;
        if (m_loadingPortfolio || !m_portfolioLoaded || m_portfolioError)
            co_return false;
        auto save = savePortfolio(*token, m_rows, m_cashRows);
        co_await std::move(save);
        if (!self)
            co_return false;
        if (m_portfolioError)
            co_return false;
    }
    cancelPendingSave();
    co_return portfolioMatchesSyncedData();
}

} // namespace quillfern
