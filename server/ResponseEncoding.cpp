#include "server/ResponseEncoding.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace quillfern::server {
namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// The weight of one "coding;q=0.5" element: 1 without a q parameter, nothing when the q is not a number
// from 0 to 1.
std::optional<double> weight(std::string_view parameters)
{
    double q = 1.0;
    while (!parameters.empty()) {
        const std::size_t end = std::min(parameters.find(';'), parameters.size());
        const std::string_view parameter = trimmed(parameters.substr(0, end));
        parameters.remove_prefix(std::min(end + 1, parameters.size()));
        if (parameter.size() < 2 || !equalsIgnoringCase(parameter.substr(0, 2), "q="))
            continue;
        const std::string_view number = trimmed(parameter.substr(2));
        const auto [rest, error] = std::from_chars(number.data(), number.data() + number.size(), q);
        if (error != std::errc() || rest != number.data() + number.size() || q < 0 || q > 1)
            return std::nullopt;
    }
    return q;
}

} // namespace

bool acceptsGzip(std::string_view acceptEncoding)
{
    std::optional<bool> named;
    bool anything = false;
    while (!acceptEncoding.empty()) {
        const std::size_t end = std::min(acceptEncoding.find(','), acceptEncoding.size());
        const std::string_view element = acceptEncoding.substr(0, end);
        acceptEncoding.remove_prefix(std::min(end + 1, acceptEncoding.size()));
        const std::size_t split = std::min(element.find(';'), element.size());
        const std::string_view coding = trimmed(element.substr(0, split));
        const auto q = weight(element.substr(std::min(split + 1, element.size())));
        if (!q)
            continue;
        if (equalsIgnoringCase(coding, "gzip") || equalsIgnoringCase(coding, "x-gzip"))
            named = named.value_or(false) || *q > 0;
        else if (coding == "*")
            anything = *q > 0;
    }
    return named.value_or(anything);
}

std::string gzip(std::string_view data)
{
    z_stream stream{};
    // 15 window bits plus 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string out(deflateBound(&stream, uLong(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int finished = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return finished == Z_STREAM_END ? out : std::string();
}

const std::string &EncodedBody::gzipped() const
{
    std::call_once(m_compressed, [this] { m_gzipped = gzip(m_json); });
    return m_gzipped;
}

namespace {

bool compresses(const http::Request &request, const std::string &json)
{
    return json.size() >= compressionThreshold && acceptsGzip(request.header("Accept-Encoding"));
}

// The answer as sent: body is the JSON itself or, when gzipped, its gzip form.
void send(http::Response &response, int status, bool large, std::string body, bool gzipped)
{
    response.status = status;
    if (large)
        response.setHeader("Vary", "Accept-Encoding"); // a large answer differs with what the client takes
    if (gzipped)
        response.setHeader("Content-Encoding", "gzip");
    response.body = std::move(body);
    response.setHeader("Content-Type", jsonContentType);
}

} // namespace

void sendBody(const http::Request &request, http::Response &response, int status, const EncodedBody &body)
{
    const bool large = body.json().size() >= compressionThreshold;
    // An empty gzip form means compression failed: the body goes out as it is.
    if (compresses(request, body.json()) && !body.gzipped().empty())
        return send(response, status, large, body.gzipped(), true);
    send(response, status, large, body.json(), false);
}

void sendBody(const http::Request &request, http::Response &response, int status, std::string json)
{
    const bool large = json.size() >= compressionThreshold;
    std::string gzipped = compresses(request, json) ? gzip(json) : std::string();
    if (!gzipped.empty())
        return send(response, status, large, std::move(gzipped), true);
    send(response, status, large, std::move(json), false);
}

} // namespace quillfern::server
