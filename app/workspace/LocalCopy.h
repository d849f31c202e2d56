#pragma once

// The portfolio as this computer last knew it, one file per account: the copy last synchronised with the
// service (with its version tag), the working copy with any edits not yet sent, and the reference lists,
// so that the window can paint at once, work offline and send the edits later. Files are owner-only and
// replaced atomically (written to a temporary file, flushed to disk, renamed over the old one).

#include "api/PortfolioSync.h"
#include "core/ServiceRecords.h"

#include <QString>

#include <optional>

namespace quillfern {

struct LocalCopyData {
    PortfolioData synced; // synced.version is the service's tag for it
    QList<AssetRow> rows;
    QList<CashRow> cashRows;
    QList<CurrencyOption> currencies;
    QList<LanguageOption> languages;
    QList<BrokerageOption> brokerages;
    QList<GICSClassification> gicsClassifications;
    QList<TransactionRecord> transactions;

    bool operator==(const LocalCopyData &) const = default;
};

class LocalCopy {
public:
    // folder holds one file per account; an empty folder keeps nothing on disk.
    explicit LocalCopy(QString folder = {});

    // The default place: the user's data folder (XDG_DATA_HOME), under quillfern/accounts.
    static QString defaultFolder();

    bool isEnabled() const { return !m_folder.isEmpty(); }
    // Whose copy this is: the service origin and the account's email (or name when it has none). An empty
    // account selects none.
    void setAccount(const QString &serviceOrigin, const QString &account);
    bool hasAccount() const { return !m_path.isEmpty(); }
    QString filePath() const { return m_path; }

    // None when there is no copy, or it cannot be read.
    std::optional<LocalCopyData> load() const;
    // False when the copy could not be written; the previous file is then left as it was.
    bool store(const LocalCopyData &data) const;
    bool remove() const;

    // The file's bytes, and back; exposed for tests of the format.
    static QByteArray encode(const LocalCopyData &data);
    static std::optional<LocalCopyData> decode(const QByteArray &bytes);

private:
    QString m_folder;
    QString m_path;
};

} // namespace quillfern
