#include "server/http/HttpServer.h"

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <atomic>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quillfern::server::http {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// A closing connection reads what the client still sends for this long, so that the client sees the answer
// rather than a reset from a socket closed with unread bytes.
constexpr auto lingerLimit = std::chrono::seconds(2);
// While the service stops, a shorter time: its clients are on their way to another replica, and a stop
// should not wait on any one of them for long.
constexpr auto stopLingerLimit = std::chrono::milliseconds(500);

std::chrono::milliseconds transferDeadline(const ServerLimits &limits, std::uint64_t bytes)
{
    return limits.bodyDeadlineFloor + std::chrono::milliseconds(bytes * 1000 / limits.bodyBytesPerSecond);
}

// Header values go out as given, less any line break that would end the header early.
std::string headerSafe(std::string value)
{
    for (char &c : value)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return value;
}

std::string_view view(beast::string_view text) { return {text.data(), text.size()}; }

bool isFormBody(std::string_view contentType)
{
    static constexpr std::string_view form = "application/x-www-form-urlencoded";
    return contentType.size() >= form.size() && sameHeaderName(contentType.substr(0, form.size()), form);
}

} // namespace

class Connection;

// One event loop per thread, each connection on one of them for its whole life, and the acceptor on a loop of
// its own. Loops shared by many threads hand every completion from thread to thread: on two cores, 32 threads
// on one loop served a quarter of the requests one loop per thread does.
struct Server::Impl {
    Impl(Server &owner, int threads) : server(owner), acceptLoop(1), acceptor(acceptLoop)
    {
        for (int i = 0; i < std::max(threads, 1); ++i) {
            loops.push_back(std::make_unique<net::io_context>(1));
            keepRunning.push_back(net::make_work_guard(*loops.back()));
        }
    }

    net::io_context &nextLoop() { return *loops[nextLoopIndex++ % loops.size()]; }

    Server &server;
    net::io_context acceptLoop;
    std::vector<std::unique_ptr<net::io_context>> loops;
    std::vector<net::executor_work_guard<net::io_context::executor_type>> keepRunning;
    std::size_t nextLoopIndex = 0; // the acceptor's loop only
    tcp::acceptor acceptor;
    std::atomic<bool> stopping = false;

    std::mutex connectionsMutex;
    std::unordered_map<Connection *, std::weak_ptr<Connection>> connections;
    std::unordered_map<std::string, std::size_t> perAddress;

    void accept();
    // Counts a new connection; false when a cap is reached.
    bool admit(const std::shared_ptr<Connection> &connection, const std::string &address);
    void release(Connection *connection, const std::string &address);
};

// One client connection: waits for a request under the idle limit, reads it under its deadlines, runs the
// handler on the thread that finished reading, writes the answer, and starts over while keep-alive holds.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(Server::Impl &server, tcp::socket socket, std::string address)
        : m_server(server), m_limits(server.server.m_limits), m_stream(std::move(socket)),
          m_deadline(m_stream.get_executor()), m_address(std::move(address))
    {
    }
    ~Connection() { m_server.release(this, m_address); }

    void start() { awaitRequest(); }
    net::any_io_executor executor() { return m_stream.get_executor(); }

    // From stop(): a connection waiting for a request ends now; one in the middle of a request finishes it
    // and then closes.
    void stopIfIdle()
    {
        net::post(m_stream.get_executor(), [self = shared_from_this()] {
            self->m_closeAfterAnswer = true;
            // A closing connection waiting for its client to hang up is not waited for either.
            if (self->m_idle || self->m_draining)
                self->m_stream.socket().cancel();
        });
    }

    // A connection over the caps: the 503 goes out before any request is read.
    void refuse()
    {
        m_closeAfterAnswer = true;
        Response response;
        response.status = 503;
        response.setHeader("Retry-After", std::to_string(m_limits.retryAfterSeconds));
        m_server.server.fillError(response);
        send(std::move(response), 11);
    }

private:
    void awaitRequest()
    {
        if (m_closeAfterAnswer || m_server.stopping) {
            // An answer that promised to keep the connection (the stop came while it was being written) left
            // the client with nothing more to read or send: the connection is idle, and ends at once as idle
            // ones do. After an answer that said it closes, the client may still be sending; reading that for
            // a while lets it see the answer rather than a reset.
            if (m_answeredKeepAlive && m_buffer.size() == 0)
                return close();
            return closeGracefully();
        }
        if (m_buffer.size() > 0) // the next request is already here (pipelined)
            return readHeader();
        m_idle = true;
        m_stream.expires_after(m_limits.idle);
        m_stream.async_read_some(m_buffer.prepare(4096),
                                 [self = shared_from_this()](beast::error_code error, std::size_t read) {
                                     self->m_idle = false;
                                     if (error)
                                         return self->close();
                                     self->m_buffer.commit(read);
                                     self->readHeader();
                                 });
    }

    // A deadline for the whole of a read, however the bytes trickle in. The stream's own timeout would close
    // the socket, leaving no way to say why; this one cancels the read, and the connection answers 408.
    void startDeadline(std::chrono::milliseconds limit)
    {
        m_stream.expires_never();
        m_timedOut = false;
        m_deadline.expires_after(limit);
        m_deadline.async_wait([self = shared_from_this(), read = ++m_reads](beast::error_code error) {
            // Cancelled, or expired just as its read finished: the read was in time.
            if (error || read != self->m_reads)
                return;
            self->m_timedOut = true;
            beast::error_code ignored;
            self->m_stream.socket().cancel(ignored);
        });
    }

    // Whether a finished read went past its deadline.
    bool endDeadline()
    {
        ++m_reads;
        m_deadline.cancel();
        return m_timedOut;
    }

    void readHeader()
    {
        m_parser.emplace();
        m_parser->header_limit(std::uint32_t(m_limits.maxHeaderBytes));
        // The largest any path allows: the header's path sets the request's own limit once it is known.
        m_parser->body_limit(std::uint64_t(m_server.server.largestBody()));
        startDeadline(m_limits.headerDeadline);
        bhttp::async_read_header(m_stream, m_buffer, *m_parser,
                                 [self = shared_from_this()](beast::error_code error, std::size_t) {
                                     self->headerRead(error);
                                 });
    }

    void headerRead(beast::error_code error)
    {
        if (endDeadline())
            return refuseRequest(408);
        if (error == bhttp::error::header_limit)
            return refuseRequest(431);
        if (error == bhttp::error::body_limit)
            return refuseRequest(413);
        if (error == bhttp::error::end_of_stream || error == net::error::operation_aborted ||
            error == net::error::connection_reset || error == net::error::eof)
            return close();
        if (error)
            return refuseRequest(400);

        const auto &header = m_parser->get();
        const std::string_view encoding = view(header[bhttp::field::content_encoding]);
        // Inflating a body would let a few kilobytes of gzip outgrow the body limit many times over; no client
        // of ours compresses what it sends.
        if (!encoding.empty() && !sameHeaderName(encoding, "identity"))
            return refuseRequest(415);
        if (m_parser->is_done())
            return dispatch();
        const std::size_t limit = m_server.server.bodyLimit(view(header.target()));
        if (const auto length = m_parser->content_length(); length && *length > limit)
            return refuseRequest(413);
        m_parser->body_limit(std::uint64_t(limit));
        if (sameHeaderName(view(header[bhttp::field::expect]), "100-continue")) {
            auto proceed = std::make_shared<bhttp::response<bhttp::empty_body>>(bhttp::status::continue_, 11);
            m_stream.expires_after(m_limits.bodyDeadlineFloor);
            return bhttp::async_write(m_stream, *proceed,
                                      [self = shared_from_this(), proceed](beast::error_code error, std::size_t) {
                                          if (error)
                                              return self->close();
                                          self->readBody();
                                      });
        }
        readBody();
    }

    void readBody()
    {
        const std::uint64_t expected =
            m_parser->content_length().value_or(m_server.server.bodyLimit(view(m_parser->get().target())));
        startDeadline(transferDeadline(m_limits, expected));
        bhttp::async_read(m_stream, m_buffer, *m_parser, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (self->endDeadline())
                return self->refuseRequest(408);
            if (error == bhttp::error::body_limit)
                return self->refuseRequest(413);
            if (error == net::error::operation_aborted || error == net::error::connection_reset ||
                error == net::error::eof || error == bhttp::error::end_of_stream)
                return self->close();
            if (error)
                return self->refuseRequest(400);
            self->dispatch();
        });
    }

    void dispatch()
    {
        const auto started = Clock::now();
        auto message = m_parser->release();
        m_parser.reset();
        m_stream.expires_never();

        Request request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        const std::size_t question = request.target.find('?');
        request.path = percentDecoded(std::string_view(request.target).substr(0, question));
        if (question != std::string::npos)
            request.params = parseFormText(std::string_view(request.target).substr(question + 1));
        request.headers.reserve(std::size_t(std::distance(message.begin(), message.end())));
        for (const auto &field : message)
            request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        request.body = std::move(message.body());
        if (isFormBody(view(message[bhttp::field::content_type]))) {
            FormFields form = parseFormText(request.body);
            request.params.insert(request.params.end(), std::make_move_iterator(form.begin()),
                                  std::make_move_iterator(form.end()));
        }
        request.remoteAddress = m_address;

        Response response;
        m_server.server.handle(request, response);
        if (m_server.server.m_logger)
            m_server.server.m_logger(request, response, Clock::now() - started);
        if (!message.keep_alive() || m_server.stopping)
            m_closeAfterAnswer = true;
        send(std::move(response), message.version());
    }

    // An answer the server makes itself, to a request it will not read further: the connection closes after it.
    void refuseRequest(int status)
    {
        m_parser.reset();
        m_closeAfterAnswer = true;
        Response response;
        response.status = status;
        m_server.server.fillError(response);
        send(std::move(response), 11);
    }

    void send(Response response, unsigned version)
    {
        auto answer = std::make_shared<bhttp::response<bhttp::string_body>>();
        answer->version(version);
        answer->result(unsigned(response.status));
        for (auto &[name, value] : response.headers)
            answer->insert(name, headerSafe(std::move(value)));
        for (const auto &[name, value] : m_server.server.m_defaultHeaders)
            if (answer->find(name) == answer->end())
                answer->insert(name, value);
        answer->body() = std::move(response.body);
        answer->keep_alive(!m_closeAfterAnswer);
        m_answeredKeepAlive = !m_closeAfterAnswer;
        answer->prepare_payload();
        m_stream.expires_after(transferDeadline(m_limits, answer->body().size()));
        bhttp::async_write(m_stream, *answer, [self = shared_from_this(), answer](beast::error_code error, std::size_t) {
            if (error)
                return self->close();
            self->awaitRequest();
        });
    }

    void closeGracefully()
    {
        m_draining = true;
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        m_stream.expires_after(m_server.stopping ? stopLingerLimit : lingerLimit);
        drain();
    }

    void drain()
    {
        m_buffer.clear();
        m_stream.async_read_some(m_buffer.prepare(16384),
                                 [self = shared_from_this()](beast::error_code error, std::size_t) {
                                     if (error)
                                         return self->close();
                                     self->drain();
                                 });
    }

    void close()
    {
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        m_stream.close();
    }

    Server::Impl &m_server;
    const ServerLimits &m_limits;
    beast::tcp_stream m_stream;
    net::steady_timer m_deadline;
    bool m_timedOut = false;
    std::uint64_t m_reads = 0;
    beast::flat_buffer m_buffer;
    std::optional<bhttp::request_parser<bhttp::string_body>> m_parser;
    std::string m_address;
    bool m_idle = false;
    bool m_draining = false;
    bool m_closeAfterAnswer = false;
    bool m_answeredKeepAlive = false;
};

bool Server::Impl::admit(const std::shared_ptr<Connection> &connection, const std::string &address)
{
    const std::lock_guard lock(connectionsMutex);
    std::size_t &fromAddress = perAddress[address];
    if (connections.size() >= server.m_limits.maxConnections ||
        fromAddress >= server.m_limits.maxConnectionsPerAddress) {
        if (fromAddress == 0)
            perAddress.erase(address);
        return false;
    }
    ++fromAddress;
    connections.emplace(connection.get(), connection);
    return true;
}

void Server::Impl::release(Connection *connection, const std::string &address)
{
    const std::lock_guard lock(connectionsMutex);
    if (connections.erase(connection) == 0)
        return; // a refused connection was never counted
    if (const auto found = perAddress.find(address); found != perAddress.end() && --found->second == 0)
        perAddress.erase(found);
}

void Server::Impl::accept()
{
    acceptor.async_accept(nextLoop(), [this](beast::error_code error, tcp::socket socket) {
        if (error == net::error::operation_aborted || stopping)
            return;
        if (error) {
            // Out of descriptors, most likely: wait for connections to close rather than spin.
            auto pause = std::make_shared<net::steady_timer>(acceptLoop, std::chrono::milliseconds(100));
            pause->async_wait([this, pause](beast::error_code) {
                if (!stopping)
                    accept();
            });
            return;
        }
        socket.set_option(tcp::no_delay(true), error);
        beast::error_code ignored;
        const std::string address = socket.remote_endpoint(ignored).address().to_string();
        auto connection = std::make_shared<Connection>(*this, std::move(socket), address);
        // The connection's work starts on its own loop's thread.
        if (admit(connection, address))
            net::post(connection->executor(), [connection] { connection->start(); });
        else
            net::post(connection->executor(), [connection] { connection->refuse(); });
        accept();
    });
}

std::size_t Server::bodyLimit(std::string_view target) const
{
    const std::string_view path = target.substr(0, target.find('?'));
    const auto found = m_bodyLimits.find(path);
    return found == m_bodyLimits.end() ? m_limits.maxBodyBytes : std::max(found->second, m_limits.maxBodyBytes);
}

std::size_t Server::largestBody() const
{
    std::size_t largest = m_limits.maxBodyBytes;
    for (const auto &[path, limit] : m_bodyLimits)
        largest = std::max(largest, limit);
    return largest;
}

Server::Server(ServerLimits limits) : m_limits(limits), m_impl(std::make_unique<Impl>(*this, limits.threads)) {}

Server::~Server() = default;

void Server::route(const std::string &method, const std::string &path, Handler handler)
{
    m_routes[path][method] = std::move(handler);
}

std::error_code Server::bind(const std::string &host, int port)
{
    boost::system::error_code error;
    tcp::resolver resolver(m_impl->acceptLoop);
    const auto endpoints = resolver.resolve(host, std::to_string(port),
                                            tcp::resolver::numeric_service | tcp::resolver::passive, error);
    if (error)
        return error;
    for (const auto &entry : endpoints) {
        tcp::acceptor &acceptor = m_impl->acceptor;
        acceptor.close(error);
        acceptor.open(entry.endpoint().protocol(), error);
        if (error)
            continue;
        // Reusing an address in TIME_WAIT is all a restart needs; sharing the port (SO_REUSEPORT) would let a
        // second service start on it and take half of the connections.
        acceptor.set_option(tcp::acceptor::reuse_address(true), error);
        acceptor.bind(entry.endpoint(), error);
        if (error)
            continue;
        acceptor.listen(net::socket_base::max_listen_connections, error);
        if (!error)
            return {};
    }
    m_impl->acceptor.close();
    return error ? std::error_code(error.value(), std::system_category())
                 : std::make_error_code(std::errc::address_not_available);
}

int Server::port() const
{
    boost::system::error_code error;
    const auto endpoint = m_impl->acceptor.local_endpoint(error);
    return error ? -1 : endpoint.port();
}

void Server::run()
{
    if (!m_impl->stopping)
        m_impl->accept();
    std::vector<std::thread> threads;
    for (const auto &loop : m_impl->loops)
        threads.emplace_back([&loop] { loop->run(); });
    m_impl->acceptLoop.run();
    for (std::thread &thread : threads)
        thread.join();
}

void Server::stop()
{
    m_impl->stopping = true;
    net::post(m_impl->acceptor.get_executor(), [this] {
        beast::error_code ignored;
        m_impl->acceptor.close(ignored);
    });
    std::vector<std::shared_ptr<Connection>> open;
    {
        const std::lock_guard lock(m_impl->connectionsMutex);
        for (const auto &[raw, weak] : m_impl->connections)
            if (auto connection = weak.lock())
                open.push_back(std::move(connection));
    }
    for (const auto &connection : open)
        connection->stopIfIdle();
    // Each loop ends once its last connection has.
    for (auto &guard : m_impl->keepRunning)
        guard.reset();
}

void Server::handle(const Request &request, Response &response) const
{
    if (m_filter && m_filter(request, response))
        return fillError(response);
    auto path = m_routes.find(request.path);
    std::string parameter;
    if (path == m_routes.end()) {
        // "/v1/things/abc" is served by a route "/v1/things/{}" when no route names it exactly.
        const std::size_t slash = request.path.rfind('/');
        if (slash != std::string::npos && slash + 1 < request.path.size()) {
            path = m_routes.find(request.path.substr(0, slash + 1) + "{}");
            parameter = request.path.substr(slash + 1);
        }
    }
    if (path == m_routes.end()) {
        response.status = 404;
        return fillError(response);
    }
    const auto handler = path->second.find(request.method);
    if (handler == path->second.end()) {
        std::string allowed;
        for (const auto &[method, ignored] : path->second)
            allowed += (allowed.empty() ? "" : ", ") + method;
        response.status = 405;
        response.setHeader("Allow", allowed);
        return fillError(response);
    }
    try {
        if (parameter.empty()) {
            handler->second(request, response);
        } else {
            Request routed = request;
            routed.pathParameter = std::move(parameter);
            handler->second(routed, response);
        }
    } catch (...) {
        response = Response{};
        response.status = 500;
    }
    fillError(response);
}

void Server::fillError(Response &response) const
{
    if (response.status >= 400 && response.body.empty() && m_errorBody)
        m_errorBody(response);
}

} // namespace quillfern::server::http
