#include "core/Numbers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace tavoro {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view skipLeadingBlanks(std::string_view text) {
    auto first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

}  // namespace

ConversionError::ConversionError(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' n'est pas un nombre entier valide") {}

int ParseWholeNumber(std::string_view text) {
    std::string_view rest = skipLeadingBlanks(text);
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    if (rest.empty() || !std::all_of(rest.begin(), rest.end(), isDigit)) {
        throw ConversionError(text);
    }
    // Parse the magnitude wide enough to hold -2^31 before applying the sign.
    long long magnitude = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), magnitude);
    long long value = negative ? -magnitude : magnitude;
    if (error != std::errc{} || end != rest.data() + rest.size() ||
        value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        throw ConversionError(text);
    }
    return static_cast<int>(value);
}

std::optional<double> ParseDecimalNumber(std::string_view text) {
    std::string_view rest = skipLeadingBlanks(text);
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    // Checked by hand: from_chars alone would also take "inf", "nan" and exponents.
    auto point = rest.find('.');
    std::string_view whole = rest.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : rest.substr(point + 1);
    if (whole.size() + fraction.size() == 0 || !std::all_of(whole.begin(), whole.end(), isDigit) ||
        !std::all_of(fraction.begin(), fraction.end(), isDigit)) {
        return std::nullopt;
    }
    double value = 0;
    auto [end, error] =
        std::from_chars(rest.data(), rest.data() + rest.size(), value, std::chars_format::fixed);
    if (error == std::errc::result_out_of_range) {
        return std::nullopt;
    }
    if (error != std::errc{} || end != rest.data() + rest.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::string FormatFixed(double value, int width, int decimals) {
    // to_chars rounds the exact binary value to nearest, ties to even, and ignores the
    // locale, so a French or German desktop still writes "." on the wire.
    std::array<char, 400> buffer{};
    auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    std::string text = error == std::errc{} ? std::string(buffer.data(), end) : std::string("0");
    // A value that rounds to zero from below is written as zero, not "-0".
    if (!text.empty() && text.front() == '-' &&
        text.find_first_not_of("0.", 1) == std::string::npos) {
        text.erase(0, 1);
    }
    if (static_cast<int>(text.size()) < width) {
        text.insert(0, static_cast<std::size_t>(width - static_cast<int>(text.size())), ' ');
    }
    return text;
}

}  // namespace tavoro
