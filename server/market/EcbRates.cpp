#include "server/market/EcbRates.h"

#include "server/market/MarketText.h"
#include "server/outbound/OutboundHttp.h"

#include <QDate>
#include <QXmlStreamReader>

#include <optional>

namespace quillfern::server {
namespace {

const QLatin1String gesmesNamespace("http://www.gesmes.org/xml/2002-08-01");
const QLatin1String eurofxrefNamespace("http://www.ecb.int/vocabulary/2002-08-01/eurofxref");

// The real file is a few kilobytes; the bound only stops a misconfigured URL from filling memory.
constexpr std::size_t maxDocumentBytes = 1024 * 1024;

bool isCurrencyCode(const QString &code)
{
    if (code.size() != 3)
        return false;
    for (const QChar c : code) {
        if (c < QLatin1Char('A') || c > QLatin1Char('Z'))
            return false;
    }
    return true;
}

bool isIsoDay(const QString &text)
{
    static const QString shape = QStringLiteral("dddd-dd-dd");
    if (text.size() != shape.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool fits = shape[i] == QLatin1Char('d') ? text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')
                                                       : text[i] == QLatin1Char('-');
        if (!fits)
            return false;
    }
    return QDate::fromString(text, Qt::ISODate).isValid();
}

std::optional<QString> attribute(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    if (!attributes.hasAttribute(QString(), name))
        return std::nullopt;
    return attributes.value(QString(), name).toString();
}

std::string where(const QXmlStreamReader &reader)
{
    return " (line " + std::to_string(reader.lineNumber()) + ")";
}

} // namespace

namespace {

// US-dollar rates of one day from its units per euro.
std::variant<EcbRates, std::string> dollarRates(const QString &date, const std::map<std::string, double> &unitsPerEuro)
{
    const auto usd = unitsPerEuro.find("USD");
    if (usd == unitsPerEuro.end())
        return "The ECB rates for " + date.toStdString() + " have no USD rate.";
    const double usdPerEuro = usd->second;

    EcbRates rates;
    rates.date = date.toStdString();
    for (const auto &[code, units] : unitsPerEuro) {
        // Two usable rates can still make a dollar rate beyond a double's range.
        const double usdPerUnit = usdPerEuro / units;
        if (!market::isUsableAmount(usdPerUnit))
            return "The ECB rates give " + code + " no finite dollar rate.";
        rates.usdPerUnit[code] = usdPerUnit;
    }
    rates.usdPerUnit["EUR"] = usdPerEuro;
    rates.usdPerUnit["USD"] = 1.0;
    return rates;
}

// Every dated Cube of the document, newest first as the ECB writes them; only the first unless `all`.
std::variant<std::vector<EcbRates>, std::string> parseEcbDays(const std::string &xml, bool all)
{
    if (xml.find_first_not_of(" \t\r\n") == std::string::npos)
        return std::string("The ECB rates document is empty.");
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    reader.setNamespaceProcessing(true);

    if (!reader.readNextStartElement())
        return "The ECB rates are not well-formed XML" + where(reader) + ": " + reader.errorString().toStdString();
    if (reader.name() != QLatin1String("Envelope") || reader.namespaceUri() != gesmesNamespace)
        return std::string("The document is not an ECB reference-rate envelope.");

    std::optional<QString> date;
    std::map<std::string, double> unitsPerEuro;
    std::vector<EcbRates> days;
    std::optional<std::string> failed;
    // Ends the day being read: its dollar rates join the list.
    const auto finishDay = [&]() -> bool {
        auto rates = dollarRates(*date, unitsPerEuro);
        if (const auto *reason = std::get_if<std::string>(&rates)) {
            failed = *reason;
            return false;
        }
        days.push_back(std::move(std::get<EcbRates>(rates)));
        unitsPerEuro.clear();
        return true;
    };
    int depth = 1;
    int dayDepth = 0; // depth of the dated Cube being read, 0 outside it
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (depth == dayDepth) {
                if (!finishDay())
                    return *failed;
                dayDepth = all ? 0 : -1; // later days in a longer history are read only when asked
            }
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        if (reader.name() != QLatin1String("Cube") || reader.namespaceUri() != eurofxrefNamespace)
            continue;

        const QXmlStreamAttributes attributes = reader.attributes();
        if (const auto time = attribute(attributes, QLatin1String("time"))) {
            if (dayDepth != 0)
                continue;
            const QString day = time->trimmed();
            if (!isIsoDay(day))
                return "The ECB rates carry an unreadable date '" + time->toStdString() + "'" + where(reader) + ".";
            date = day;
            dayDepth = depth;
            continue;
        }
        if (dayDepth <= 0)
            continue;

        const auto currency = attribute(attributes, QLatin1String("currency"));
        const auto rate = attribute(attributes, QLatin1String("rate"));
        if (!currency || !rate)
            return "An ECB rate lacks its currency or rate" + where(reader) + ".";
        const QString code = currency->trimmed();
        if (!isCurrencyCode(code) || code == QLatin1String("EUR"))
            return "The ECB rates list an unexpected currency '" + currency->toStdString() + "'" + where(reader) + ".";
        const auto value = market::parseDecimal(market::trimBlanks(rate->toStdString()));
        if (!value)
            return "The ECB rate for " + code.toStdString() + " is not a number: '" + rate->toStdString() + "'" +
                   where(reader) + ".";
        if (*value <= 0)
            return "The ECB rate for " + code.toStdString() + " is not positive" + where(reader) + ".";
        if (!market::isUsableAmount(*value))
            return "The ECB rate for " + code.toStdString() + " is too close to zero to use" + where(reader) + ".";
        if (!unitsPerEuro.emplace(code.toStdString(), *value).second)
            return "The ECB rates list " + code.toStdString() + " twice" + where(reader) + ".";
    }
    if (reader.hasError())
        return "The ECB rates are not well-formed XML" + where(reader) + ": " + reader.errorString().toStdString();
    if (!date)
        return std::string("The ECB rates hold no dated Cube.");
    if (dayDepth > 0 && !finishDay()) // a day left open by a truncated document
        return *failed;
    return days;
}

} // namespace

std::variant<EcbRates, std::string> parseEcbDaily(const std::string &xml)
{
    auto days = parseEcbDays(xml, false);
    if (const auto *reason = std::get_if<std::string>(&days))
        return *reason;
    return std::move(std::get<std::vector<EcbRates>>(days).front());
}

std::variant<std::vector<EcbRates>, std::string> parseEcbHistory(const std::string &xml)
{
    return parseEcbDays(xml, true);
}

template <class Parsed>
std::variant<Parsed, std::string> fetchEcb(const std::string &url, std::size_t maxBytes,
                                          std::variant<Parsed, std::string> (*parse)(const std::string &))
{
    const auto fetched = outbound::get(url, {.timeout = std::chrono::seconds(20), .maxBytes = maxBytes});
    if (const auto *failure = std::get_if<outbound::Failure>(&fetched)) {
        switch (failure->kind) {
        case outbound::Failure::Kind::NotHttp:
            return "The ECB rates URL is not an http or https URL: " + url;
        case outbound::Failure::Kind::ClearText:
            return "The ECB rates URL must use https: " + url;
        case outbound::Failure::Kind::NoAnswer:
            break;
        }
        return "Could not fetch the ECB rates: " + failure->reason;
    }
    const auto &answer = std::get<outbound::Answer>(fetched);
    if (answer.status != 200)
        return "The ECB rates URL answered HTTP " + std::to_string(answer.status) + ".";
    return parse(answer.body);
}

std::variant<EcbRates, std::string> fetchEcbDaily(const std::string &url)
{
    return fetchEcb<EcbRates>(url, maxDocumentBytes, parseEcbDaily);
}

std::variant<std::vector<EcbRates>, std::string> fetchEcbHistory(const std::string &url)
{
    // Every working day since 1999 is some ten megabytes.
    return fetchEcb<std::vector<EcbRates>>(url, 64 * maxDocumentBytes, parseEcbHistory);
}

} // namespace quillfern::server
