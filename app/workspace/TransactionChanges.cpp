#include "app/workspace/TransactionChanges.h"

#include "app/workspace/TransactionRules.h"
#include "app/workspace/Workspace.h"
#include "text/Localization.h"

#include <QCoroSignal>
#include <QPointer>
#include <QUndoCommand>
#include <QUndoStack>

namespace quillfern {

struct TransactionChanges::Change {
    enum class Kind { Edit, Delete };
    Kind kind = Kind::Edit;
    QString id;                    // as it was when the change was made; see currentID
    TransactionCreateInput before; // an edit's old fields, or the deleted transaction
    TransactionCreateInput after;  // an edit's new fields
    bool applied = true;           // whether the service holds the change now
};

// Runs through the changes object, so that a command left on the stack after its page closed does nothing.
class LedgerCommand : public QUndoCommand {
public:
    LedgerCommand(const QString &text, TransactionChanges &changes, std::shared_ptr<TransactionChanges::Change> change)
        : QUndoCommand(text), m_changes(&changes), m_change(std::move(change))
    {
    }

    void undo() override
    {
        if (m_changes)
            m_changes->replay(m_change, false);
    }
    void redo() override
    {
        // The first run is the change itself, which was sent before the command was made.
        if (std::exchange(m_ranOnce, true) && m_changes)
            m_changes->replay(m_change, true);
    }

private:
    QPointer<TransactionChanges> m_changes;
    std::shared_ptr<TransactionChanges::Change> m_change;
    bool m_ranOnce = false;
};

TransactionChanges::TransactionChanges(Workspace &workspace, QUndoStack &undoStack, QObject *parent)
    : QObject(parent), m_workspace(workspace), m_undoStack(undoStack)
{
    connect(&undoStack, &QUndoStack::indexChanged, this, [this] {
        if (std::exchange(m_offersUndo, false))
            Q_EMIT changed();
    });
    connect(&workspace, &Workspace::preferencesChanged, this, [this] {
        if (m_status.retranslate(m_workspace.displayLanguageCode()))
            Q_EMIT changed();
    });
}

TransactionChanges::~TransactionChanges() = default;

QString TransactionChanges::nameOf(const TransactionCreateInput &input, const QString &languageCode)
{
    const QString key = transactionTypeKey(input.transactionType);
    const QString type = key.isEmpty() ? input.transactionType : AppText::value(key, languageCode);
    return input.code.isEmpty() ? type : type + QLatin1Char(' ') + input.code;
}

QString TransactionChanges::currentID(const QString &id) const
{
    QString current = id;
    // Each step goes to a later recording, so the walk ends within the table's size.
    for (qsizetype steps = 0; steps <= m_recordedAgain.size(); ++steps) {
        const auto next = m_recordedAgain.constFind(current);
        if (next == m_recordedAgain.cend())
            break;
        current = *next;
    }
    return current;
}

QCoro::Task<bool> TransactionChanges::waitTurn()
{
    const QPointer<TransactionChanges> self(this);
    while (m_busy) {
        co_await qCoro(this, &TransactionChanges::turnFreed);
        if (!self)
            co_return false;
    }
    m_busy = true;
    Q_EMIT changed();
    co_return true;
}

void TransactionChanges::endTurn()
{
    m_busy = false;
    Q_EMIT changed();
    Q_EMIT turnFreed();
}

void TransactionChanges::setStatus(StatusLine status, bool offersUndo)
{
    m_status = std::move(status);
    m_offersUndo = offersUndo;
    Q_EMIT changed();
}

QCoro::Task<std::optional<APIFailure>> TransactionChanges::edit(TransactionRecord before, TransactionCreateInput after)
{
    const QPointer<TransactionChanges> self(this);
    auto turn = waitTurn();
    if (!co_await std::move(turn))
        co_return APIFailure(
            TransportError{TransportError::Kind::Cancelled, QNetworkReply::OperationCanceledError, {}});
    auto update = m_workspace.updateTransaction(currentID(before.id), after);
    auto failure = co_await std::move(update);
    if (!self)
        co_return failure;
    endTurn();
    if (failure)
        co_return failure;
    auto change = std::make_shared<Change>(Change{Change::Kind::Edit, before.id, inputOf(before), after});
    const QString language = m_workspace.displayLanguageCode();
    const QString name = nameOf(after, language);
    m_undoStack.push(new LedgerCommand(AppText::format(u"changeTransactionCommand", language, {name}), *this, change));
    setStatus(StatusLine(
        [after](const QString &in) { return AppText::format(u"changedTransaction", in, {nameOf(after, in)}); },
        language));
    co_return std::nullopt;
}

QCoro::Task<std::optional<APIFailure>> TransactionChanges::remove(TransactionRecord record)
{
    const QPointer<TransactionChanges> self(this);
    auto turn = waitTurn();
    if (!co_await std::move(turn))
        co_return APIFailure(
            TransportError{TransportError::Kind::Cancelled, QNetworkReply::OperationCanceledError, {}});
    auto removal = m_workspace.deleteTransaction(currentID(record.id));
    auto failure = co_await std::move(removal);
    if (!self)
        co_return failure;
    endTurn();
    const TransactionCreateInput gone = inputOf(record);
    const QString language = m_workspace.displayLanguageCode();
    if (failure) {
        const QString reason = failure->description();
        setStatus(StatusLine(
            [gone, reason](const QString &in) {
                return AppText::format(u"transactionNotDeleted", in, {nameOf(gone, in), reason});
            },
            language));
        co_return failure;
    }
    auto change = std::make_shared<Change>(Change{Change::Kind::Delete, record.id, gone, {}});
    m_undoStack.push(new LedgerCommand(AppText::format(u"deleteTransactionCommand", language, {nameOf(gone, language)}),
                                       *this, change));
    setStatus(StatusLine([gone](const QString &in) { return AppText::format(u"deletedRow", in, {nameOf(gone, in)}); },
                         language),
              true);
    co_return std::nullopt;
}

QCoro::Task<> TransactionChanges::replay(std::shared_ptr<Change> change, bool forward)
{
    const QPointer<TransactionChanges> self(this);
    auto turn = waitTurn();
    if (!co_await std::move(turn))
        co_return;
    // A run the service refused left the change where it was; the stack's next move over it has nothing to do.
    if (change->applied == forward) {
        endTurn();
        co_return;
    }
    const QString id = currentID(change->id);
    std::optional<APIFailure> failure;
    if (change->kind == Change::Kind::Edit) {
        auto update = m_workspace.updateTransaction(id, forward ? change->after : change->before);
        failure = co_await std::move(update);
    } else if (forward) {
        auto removal = m_workspace.deleteTransaction(id);
        failure = co_await std::move(removal);
    } else {
        auto record = m_workspace.recordTransaction(change->before);
        auto recorded = co_await std::move(record);
        if (recorded && self)
            m_recordedAgain.insert(id, recorded->id);
        else if (!recorded)
            failure = recorded.error();
    }
    if (!self)
        co_return;
    endTurn();
    if (!failure)
        change->applied = forward;
    const bool isEdit = change->kind == Change::Kind::Edit;
    const TransactionCreateInput shown = isEdit && forward ? change->after : change->before;
    const char16_t *commandKey = isEdit ? u"changeTransactionCommand" : u"deleteTransactionCommand";
    const char16_t *outcomeKey =
        failure ? (forward ? u"redoFailed" : u"undoFailed") : (forward ? u"redoneChange" : u"undoneChange");
    const QString reason = failure ? failure->description() : QString();
    setStatus(StatusLine(
        [shown, commandKey, outcomeKey, reason](const QString &in) {
            const QString command = AppText::format(QStringView(commandKey), in, {nameOf(shown, in)});
            return AppText::format(QStringView(outcomeKey), in, {command, reason});
        },
        m_workspace.displayLanguageCode()));
}

} // namespace quillfern
