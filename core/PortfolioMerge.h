#pragma once

// Three-way merge of one table's rows by id: what the user changed since the last sync is laid over what the
// service holds now. Rows are compared field by field; an id present on one side only is an addition or a
// deletion relative to the base.

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace quillfern {

template <class Row> struct MergedRows {
    QList<Row> rows;
    // Rows both sides changed differently; the local change was kept.
    QList<Row> conflicts;
};

// base: the copy both sides started from; local: the working copy; remote: the service's current copy.
// A row changed on one side only takes that side. A row changed on both sides keeps the local version;
// when one side deleted it and the other edited it, it is kept as edited, so no typed value is lost.
// Order: the local order, then rows only the service has, in its order.
template <class Row>
MergedRows<Row> mergeRows(const QList<Row> &base, const QList<Row> &local, const QList<Row> &remote)
{
    const auto byID = [](const QList<Row> &rows) {
        QHash<QString, const Row *> index;
        index.reserve(rows.size());
        for (const Row &row : rows)
            index.insert(row.id, &row);
        return index;
    };
    const QHash<QString, const Row *> baseRows = byID(base);
    const QHash<QString, const Row *> remoteRows = byID(remote);
    const QHash<QString, const Row *> localRows = byID(local);

    const auto same = [](const Row *a, const Row *b) { return a == b || (a && b && *a == *b); };
    MergedRows<Row> merged;
    const auto decide = [&](const QString &id) -> const Row * {
        const Row *b = baseRows.value(id);
        const Row *l = localRows.value(id);
        const Row *r = remoteRows.value(id);
        const bool localChanged = !same(l, b);
        const bool remoteChanged = !same(r, b);
        if (!localChanged)
            return r;
        if (!remoteChanged || same(l, r))
            return l;
        if (!l)
            return r; // deleted here, edited there
        if (r)
            merged.conflicts.append(*l);
        return l; // edited here, and edited or deleted there
    };

    QSet<QString> placed;
    for (const Row &row : local) {
        placed.insert(row.id);
        if (const Row *kept = decide(row.id))
            merged.rows.append(*kept);
    }
    for (const Row &row : remote) {
        if (placed.contains(row.id))
            continue;
        placed.insert(row.id);
        if (const Row *kept = decide(row.id))
            merged.rows.append(*kept);
    }
    return merged;
}

} // namespace quillfern
