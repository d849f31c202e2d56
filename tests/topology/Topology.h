#pragma once

#include "tests/support/ServiceProcess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace quillfern::testing {

// The deployed topology on loopback for as long as the object lives: nginx running the shipped site in front
// of the three replicas it names, each a quillfern-server on the same PostgreSQL database.
class Topology {
public:
    explicit Topology(QString databaseURL);
    ~Topology();
    Topology(const Topology &) = delete;
    Topology &operator=(const Topology &) = delete;

    // Starts the replicas all at once on free ports, then nginx in front of them; false with problem() saying
    // why.
    bool start();
    QString problem() const { return m_problem; }

    // Where clients reach the service: nginx.
    QUrl url() const;
    int replicaCount() const { return int(m_replicas.size()); }
    ServiceProcess &replica(int index) { return *m_replicas.at(std::size_t(index)); }
    // How long the shipped site has nginx leave a replica alone once it counted it as failed.
    std::chrono::milliseconds failTimeout() const { return m_failTimeout; }
    // nginx's error log, for failure messages.
    QString nginxLog() const;

private:
    std::optional<QString> writeConfiguration(int port);
    bool startNginx();
    void stopNginx();

    QString m_databaseURL;
    QTemporaryDir m_folder;
    std::vector<std::unique_ptr<ServiceProcess>> m_replicas;
    QProcess m_nginx;
    int m_port = 0;
    std::chrono::milliseconds m_failTimeout{0};
    QString m_problem;
};

} // namespace quillfern::testing
