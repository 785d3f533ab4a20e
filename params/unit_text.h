// Units in the headers of data files: the time units a pulse trace takes, and numbers read in
// one unit and given in another by a power of ten, exactly as if written in the other unit
// (0.02 in us reads as the same double as 20 in ns).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kt {

// The whole text as one finite number times 10^`shift`, rounded once from its decimal digits:
// "3e-9" with shift 9 gives the double nearest to 3. False when the text is not one finite
// number.
bool read_shifted_decimal(const std::string& text, int shift, double& value);

// The power of ten from a time unit to ns: "ns" 0, "us" or "µs" 3, "ms" 6, "s" 9, "ps" -3;
// none for anything else.
std::optional<int> time_unit_shift(std::string_view unit);

// The unit as plain lower-case ASCII: "µm" and "μm" become "um", "cm²" becomes "cm2".
std::string plain_unit_text(std::string_view unit);

}  // namespace kt
