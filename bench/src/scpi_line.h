// One SCPI command line as an instrument reads it: a header of keywords
// (long or short form, any case) and its parameters.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zdx::bench {

struct ScpiLine {
    std::string header;               // upper case, leading ':' removed, '?' kept
    std::vector<std::string> params;  // blanks around each removed; empty when none given
};

// Splits at the first blank; parameters at commas.
ScpiLine parseScpiLine(std::string_view line);

// True when `header` spells `pattern`, a header in SCPI notation whose
// keywords give their short form in upper case ("SYSTem:ERRor?"): each
// keyword may be sent in its short or its long form.
bool scpiMatches(const std::string& header, std::string_view pattern);

// A numeric parameter (decimal, optional exponent); nothing for anything else.
std::optional<double> scpiNumber(const std::string& param);

}  // namespace zdx::bench
