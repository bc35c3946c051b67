#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavoro {

// A text that should have been a whole number. Handlers of received lines let it
// propagate: the receive pipeline drops the rest of that line.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(std::string_view text);
};

// Decimal digits with an optional sign, in the 32-bit range. Leading blanks are
// tolerated because some peers pad numeric fields; anything else raises ConversionError.
int ParseWholeNumber(std::string_view text);

// Optional leading blanks, an optional sign, digits with "." as separator, whatever
// the locale. Not a number gives no value; callers decide what stands in for it.
std::optional<double> ParseDecimalNumber(std::string_view text);

// `value` with exactly `decimals` decimals and "." as separator, rounded to nearest with
// ties to even, padded on the left with blanks to at least `width`; never cut.
std::string FormatFixed(double value, int width, int decimals);

}  // namespace tavoro
