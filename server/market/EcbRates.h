#pragma once

#include <map>
#include <string>
#include <variant>
#include <vector>

namespace quillfern::server {

// US dollars per one unit of each currency, from the ECB daily reference-rate XML (eurofxref-daily.xml), where
// rates are units per one euro. The result includes "EUR" (the USD rate), "USD" (1.0) and every listed currency
// as usdPerEuro / unitsPerEuro. Fails with a reason on malformed XML, a missing USD rate, a rate that is not a
// positive normal number or gives no finite dollar rate, or no Cube with a time. When a document holds several
// days, the first (newest) is read.
struct EcbRates {
    std::string date; // YYYY-MM-DD
    std::map<std::string, double> usdPerUnit;
};

std::variant<EcbRates, std::string> parseEcbDaily(const std::string &xml);
// Every day of a history document (eurofxref-hist.xml, eurofxref-hist-90d.xml), newest first.
std::variant<std::vector<EcbRates>, std::string> parseEcbHistory(const std::string &xml);

// GETs url (https, or http on loopback), giving up after 10 seconds or past 1 MiB, and parses the answer.
std::variant<EcbRates, std::string> fetchEcbDaily(const std::string &url);
// The same for a history document, up to 64 MiB.
std::variant<std::vector<EcbRates>, std::string> fetchEcbHistory(const std::string &url);

} // namespace quillfern::server
