#pragma once

#include "server/ResponseEncoding.h"

#include <QHash>
#include <QString>

#include <memory>
#include <mutex>

namespace quillfern::server {

// Encoded portfolio answers by user, each labelled with the portfolio version it was read at. The version
// comes from the database with every request, so an entry is used only while it is still current, whichever
// replica changed the portfolio: the cache saves work but holds nothing another replica needs.
class PortfolioCache {
public:
    std::shared_ptr<const EncodedBody> find(const QString &userID, qint64 version) const;
    void store(const QString &userID, qint64 version, std::shared_ptr<const EncodedBody> body);

private:
    struct Entry {
        qint64 version;
        std::shared_ptr<const EncodedBody> body;
    };

    mutable std::mutex m_mutex;
    QHash<QString, Entry> m_entries;
};

} // namespace quillfern::server
