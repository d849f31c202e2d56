#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillfern::server::market {

// A plain decimal such as "1.0813", "-2" or "6.5e3", read the same way under every locale. Commas, blanks,
// a leading '+', hex, "NaN", "inf" and values outside the finite double range are all nullopt.
std::optional<double> parseDecimal(std::string_view text);

// A price or rate that can be computed with: positive, finite and normal. A subnormal one has lost its
// precision, and its inverse is infinite.
bool isUsableAmount(double value);

// Spaces and tabs only: the data we read never uses other blanks, and treating them as content is safer.
std::string_view trimBlanks(std::string_view text);

std::string upperAscii(std::string_view text);
std::string lowerAscii(std::string_view text);

} // namespace quillfern::server::market
