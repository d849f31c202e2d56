// Holds a crowd of connections open on a running service until killed: idle ones that never send, and slow
// ones that send a request one byte a second, each reopened as soon as the service lets it go. bench/service/run
// measures the service's latency for a normal client while the crowd stands.
//   bench-service-crowd PORT IDLE SLOW
// Idle connections come from 127.0.0.2 onwards, 100 per address, the slow ones from the address after them,
// so that no address reaches the service's per-address cap. Prints "ready" once all are open.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Connection {
    int fd = -1;
    std::string from;
    bool slow = false;
    std::size_t sent = 0;
};

const std::string slowRequest = "GET /v1/languages HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: "
                                + std::string(40, 'x') + "\r\n\r\n";

int openFrom(const std::string &from, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(std::uint16_t(port));
    ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
        || ::connect(fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PORT IDLE SLOW\n", argv[0]);
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int idle = std::atoi(argv[2]);
    const int slow = std::atoi(argv[3]);
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);

    std::vector<Connection> crowd;
    for (int i = 0; i < idle; ++i)
        crowd.push_back({-1, "127.0.0." + std::to_string(2 + i / 100), false, 0});
    const std::string slowFrom = "127.0.0." + std::to_string(3 + (idle - 1) / 100);
    for (int i = 0; i < slow; ++i)
        crowd.push_back({-1, slowFrom, true, 0});

    bool announced = false;
    for (;;) {
        bool complete = true;
        std::vector<pollfd> watched;
        for (Connection &c : crowd) {
            if (c.fd < 0) {
                c.fd = openFrom(c.from, port);
                c.sent = 0;
            }
            complete = complete && c.fd >= 0;
            if (c.fd >= 0)
                watched.push_back({c.fd, POLLIN, 0});
        }
        if (complete && !announced) {
            std::puts("ready");
            std::fflush(stdout);
            announced = true;
        }
        // Anything the service sends (a 408, a close) ends that connection; it is opened again next round.
        ::poll(watched.data(), watched.size(), 0);
        std::size_t w = 0;
        for (Connection &c : crowd) {
            if (c.fd < 0)
                continue;
            if (watched[w++].revents != 0) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            if (c.slow && c.sent < slowRequest.size() && ::send(c.fd, slowRequest.data() + c.sent, 1, MSG_NOSIGNAL) == 1)
                ++c.sent;
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}
