// Number formatting by pattern strings such as " ###0.0", "##0.0000000" or
// "#0.0 ppm":
//   "0"  a digit that is always shown (leading or trailing zero if need be);
//   "#"  a digit that is shown only when it is significant;
//   "."  the decimal separator, shown as the locale's separator;
//   anything before or after the run of placeholders is literal text.
// The value is rounded to the number of decimal placeholders (halves away from
// zero). A negative value carries its "-" directly before its digits; a value
// that rounds to zero is shown without a sign.
#pragma once

#include <string>
#include <string_view>

namespace q270 {

std::string formatPattern(double value, std::string_view pattern, char decimalSeparator = '.');

// A whole number with the place of its sign: a blank before a non-negative
// number (" 5"), "-" before a negative one ("-5").
std::string formatStr(long long value);

}  // namespace q270
