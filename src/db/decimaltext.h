#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnel {

// A number as a driver writes it ("12,5", ".5", "-1.0E+20", " 42 ") in plain decimal notation
// without superfluous zeros ("12.5", "0.5", "-100000000000000000000", "42"): the form that
// RowSet keeps of a number no 64-bit integer holds, and that a statement may carry as a
// literal. Nothing for a text that is no number.
std::optional<std::string> plainDecimal(std::string_view text);

} // namespace varnel
