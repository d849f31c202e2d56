// Private brokerages created from the add-brokerage dialog, and the save made when the window closes.

#include "app/workspace/Workspace.h"
#include "auth/AuthManager.h"
#include "text/Localization.h"

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

QCoro::Task<> Workspace::createCustomBrokerage(QString typed)
{
    const auto token = currentToken();
    if (!token)
        co_return;
    const QString name = typed.trimmed();
    if (perceivedLength(name) < 2) {
        setPortfolioError(StatusLine::of(u"brokerageNameRequired", displayLanguageCode()));
        co_return;
    }
    const QPointer<Workspace> self(this);
    auto call = PortfolioAPI::createBrokerage(m_endpoint, *token, name);
    auto created = co_await std::move(call);
    if (!self)
        co_return;
    if (!created) {
        setPortfolioError(created.error());
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
}

bool Workspace::canSaveNow() const
{
    return currentToken().has_value() && m_portfolioLoaded && !m_loadingPortfolio;
}

void Workspace::saveNow()
{
    cancelPendingSave();
    const auto token = currentToken();
    if (!token || m_savingPortfolio || !canSaveNow() || portfolioMatchesSyncedData())
        return;
    savePortfolio(*token, m_rows, m_cashRows);
}

} // namespace quillfern
