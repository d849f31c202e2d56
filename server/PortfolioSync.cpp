#include "server/PortfolioSync.h"

#include <QCryptographicHash>
#include <QHash>

#include <bit>

namespace quillfern::server {
namespace {

// Content in a form where no two different rows look alike: lengths before text, and numbers by their
// bits, so 0.1 + 0.2 and 0.3 differ as they do in the table. ASCII text is written a byte a character, so
// a typical row fits one block of the hash.
class Fingerprinter {
public:
    Fingerprinter &add(const QString &text)
    {
        const qsizetype start = m_bytes.size();
        append(quint32(text.size()));
        m_bytes.append('a');
        for (const QChar c : text) {
            if (c.unicode() >= 0x80) {
                m_bytes.truncate(start);
                append(quint32(text.size()));
                m_bytes.append('u');
                m_bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * qsizetype(sizeof(char16_t)));
                return *this;
            }
            m_bytes.append(char(c.unicode()));
        }
        return *this;
    }
    Fingerprinter &add(double number)
    {
        append(std::bit_cast<quint64>(number));
        return *this;
    }
    // The fingerprint of what was added since the last one.
    QString take()
    {
        m_hash.reset();
        m_hash.addData(m_bytes);
        m_bytes.resize(0);
        return QString::fromLatin1(m_hash.result().toHex());
    }

private:
    template <class Number> void append(Number value)
    {
        m_bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
    }

    QByteArray m_bytes;
    QCryptographicHash m_hash{QCryptographicHash::Blake2b_160};
};

struct StoredRow {
    qint64 position;
    QString fingerprint;
};

// Statements with an IN list come in a few sizes only, so each connection prepares a handful of them; the
// list is filled up by repeating its last id.
constexpr qsizetype maxListSize = 32;

qsizetype listSize(qsizetype count)
{
    qsizetype size = 1;
    while (size < count)
        size *= 2;
    return size;
}

StoreOutcome deleteRows(QSqlDatabase connection, const QString &table, const QString &userID, const QStringList &ids)
{
    for (qsizetype first = 0; first < ids.size(); first += maxListSize) {
        const QStringList chunk = ids.mid(first, maxListSize);
        const qsizetype size = listSize(chunk.size());
        QVariantList values{userID};
        for (qsizetype i = 0; i < size; ++i)
            values.append(chunk[std::min(i, chunk.size() - 1)]);
        const Statement remove(connection,
                               QStringLiteral("DELETE FROM %1 WHERE user_id = ? AND id IN (%2)")
                                   .arg(table, QStringList(size, QStringLiteral("?")).join(QLatin1Char(','))),
                               values);
        if (!remove.ok())
            return StoreError::unavailable(remove.error());
    }
    return std::nullopt;
}

StoreOutcome insertRows(QSqlDatabase connection, const QString &userID, const SavedRows &rows,
                        const QList<qsizetype> &written)
{
    // Many rows per statement: a round trip per row dominated the cost of a save on PostgreSQL.
    constexpr qsizetype rowsPerStatement = 10;
    const qsizetype columns = rows.columns.size() + 4;
    const QString prefix = QStringLiteral("INSERT INTO %1 (user_id, position, id, fingerprint, %2) VALUES ")
                               .arg(rows.table, rows.columns.join(u','));
    const QString tuple =
        QLatin1Char('(') + QStringList(columns, QStringLiteral("?")).join(QLatin1Char(',')) + QLatin1Char(')');
    for (qsizetype first = 0; first < written.size(); first += rowsPerStatement) {
        const qsizetype count = std::min(rowsPerStatement, written.size() - first);
        QVariantList values;
        values.reserve(count * columns);
        for (qsizetype i = first; i < first + count; ++i) {
            const qsizetype row = written[i];
            values << userID << row << rows.ids[row] << rows.fingerprints[row];
            rows.appendValues(row, values);
        }
        const Statement insert(connection, prefix + QStringList(count, tuple).join(QLatin1Char(',')), values);
        if (!insert.ok())
            return StoreError::unavailable(insert.error());
    }
    return std::nullopt;
}

} // namespace

SavedRows holdingRows(const QList<ServerHolding> &holdings)
{
    SavedRows rows{QStringLiteral("holdings"),
                   {QStringLiteral("market"), QStringLiteral("sector"), QStringLiteral("sub_sector"),
                    QStringLiteral("code"), QStringLiteral("currency"), QStringLiteral("broker"),
                    QStringLiteral("average_price"), QStringLiteral("quantity"), QStringLiteral("current_price"),
                    QStringLiteral("fx_to_usd"), QStringLiteral("note")},
                   {},
                   {},
                   [&holdings](qsizetype row, QVariantList &values) {
                       const ServerHolding &h = holdings[row];
                       values << h.market << h.sector << h.subSector << h.code << h.currency << h.broker
                              << h.averagePrice << h.quantity << h.currentPrice << h.fxToUsd << h.note;
                   }};
    rows.ids.reserve(holdings.size());
    rows.fingerprints.reserve(holdings.size());
    Fingerprinter fingerprint;
    for (const ServerHolding &h : holdings) {
        rows.ids.append(*h.id);
        rows.fingerprints.append(fingerprint.add(h.market)
                                     .add(h.sector)
                                     .add(h.subSector)
                                     .add(h.code)
                                     .add(h.currency)
                                     .add(h.broker)
                                     .add(h.averagePrice)
                                     .add(h.quantity)
                                     .add(h.currentPrice)
                                     .add(h.fxToUsd)
                                     .add(h.note)
                                     .take());
    }
    return rows;
}

SavedRows cashBalanceRows(const QList<ServerCashBalance> &cashBalances)
{
    SavedRows rows{QStringLiteral("cash_balances"),
                   {QStringLiteral("broker"), QStringLiteral("original_cash"), QStringLiteral("currency"),
                    QStringLiteral("fx_to_usd"), QStringLiteral("note")},
                   {},
                   {},
                   [&cashBalances](qsizetype row, QVariantList &values) {
                       const ServerCashBalance &c = cashBalances[row];
                       values << c.broker << c.originalCash << c.currency << c.fxToUsd << c.note;
                   }};
    rows.ids.reserve(cashBalances.size());
    rows.fingerprints.reserve(cashBalances.size());
    Fingerprinter fingerprint;
    for (const ServerCashBalance &c : cashBalances) {
        rows.ids.append(*c.id);
        rows.fingerprints.append(
            fingerprint.add(c.broker).add(c.originalCash).add(c.currency).add(c.fxToUsd).add(c.note).take());
    }
    return rows;
}

StoreOutcome syncPortfolioRows(QSqlDatabase connection, const QString &userID, const SavedRows &holdings,
                               const SavedRows &cashBalances)
{
    // The app saves the whole portfolio after every edit, so most rows arrive unchanged: only what differs
    // is written, which keeps each save's share of the log small. A changed row is deleted and inserted
    // again, so that all writes of a table take one DELETE and a few INSERTs.
    const SavedRows *tables[] = {&holdings, &cashBalances};
    QHash<QString, StoredRow> stored[2];
    {
        Statement existing(connection,
                           QStringLiteral("SELECT 0, id, position, fingerprint FROM holdings WHERE user_id = ? "
                                          "UNION ALL SELECT 1, id, position, fingerprint FROM cash_balances "
                                          "WHERE user_id = ?"),
                           {userID, userID});
        if (!existing.ok())
            return StoreError::unavailable(existing.error());
        stored[0].reserve(holdings.ids.size());
        while (existing.next())
            stored[existing.integer(0) == 0 ? 0 : 1].insert(existing.text(1),
                                                            StoredRow{existing.integer(2), existing.text(3)});
    }

    for (int t = 0; t < 2; ++t) {
        const SavedRows &rows = *tables[t];
        QStringList removed;
        QList<qsizetype> written;
        for (qsizetype position = 0; position < rows.ids.size(); ++position) {
            const auto found = stored[t].constFind(rows.ids[position]);
            if (found == stored[t].cend()) {
                written.append(position);
                continue;
            }
            if (found->position != position || found->fingerprint != rows.fingerprints[position]) {
                removed.append(found.key());
                written.append(position);
            }
            stored[t].erase(found);
        }
        for (auto gone = stored[t].cbegin(); gone != stored[t].cend(); ++gone)
            removed.append(gone.key());
        if (auto failed = deleteRows(connection, rows.table, userID, removed))
            return failed;
        if (auto failed = insertRows(connection, userID, rows, written))
            return failed;
    }
    return std::nullopt;
}

} // namespace quillfern::server
