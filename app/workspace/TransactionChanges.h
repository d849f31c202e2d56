#pragma once

// Edits and deletes of the ledger as commands on the account's undo stack, the way the holdings and the
// balances are edited. A change is sent first and becomes a command once the service stored it; undoing
// an edit sends the old fields back, undoing a delete records the transaction again, under a new id that
// later commands follow. One change, undo or redo is out at a time; the others wait their turn in order.
// An undo or redo the service refuses leaves the ledger as it was, and the status line says why.

#include "api/APIFailure.h"
#include "app/workspace/StatusLine.h"
#include "core/ServiceRecords.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>

#include <memory>
#include <optional>

class QUndoStack;

namespace quillfern {

class Workspace;

class TransactionChanges : public QObject {
    Q_OBJECT

public:
    TransactionChanges(Workspace &workspace, QUndoStack &undoStack, QObject *parent = nullptr);
    ~TransactionChanges() override;

    // The transaction with before's id takes after's fields. None once the service stored it and the
    // change is on the undo stack; else why not, and the stack is left alone.
    QCoro::Task<std::optional<APIFailure>> edit(TransactionRecord before, TransactionCreateInput after);
    // The transaction goes, without a question: the status line says what went and offers the undo.
    QCoro::Task<std::optional<APIFailure>> remove(TransactionRecord record);

    // What the last change, undo or redo did, in the workspace's language.
    const QString &status() const { return m_status.text(); }
    // The last change was a delete that the status line offers to undo.
    bool offersUndo() const { return m_offersUndo; }
    // A change, undo or redo is out.
    bool isBusy() const { return m_busy; }

    // The id the service holds the transaction under now: a transaction deleted and recorded again by an
    // undo has a new one.
    QString currentID(const QString &id) const;

    // A short name for a transaction in a status line or a command: its type's label and its code.
    static QString nameOf(const TransactionCreateInput &input, const QString &languageCode);

    struct Change; // what a command changes, shared with its runs

Q_SIGNALS:
    // status, offersUndo or isBusy changed.
    void changed();
    void turnFreed();

private:
    friend class LedgerCommand;

    QCoro::Task<bool> waitTurn();
    void endTurn();
    // Undoes (forward false) or redoes a change that the stack moved over.
    QCoro::Task<> replay(std::shared_ptr<Change> change, bool forward);
    void setStatus(StatusLine status, bool offersUndo = false);

    Workspace &m_workspace;
    QUndoStack &m_undoStack;
    StatusLine m_status;
    bool m_offersUndo = false;
    bool m_busy = false;
    // Ids of deleted transactions to the ids an undo recorded them again under.
    QHash<QString, QString> m_recordedAgain;
};

} // namespace quillfern
