#include "scpi_line.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace zdx::bench {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

// One keyword against its pattern ("SYSTem"): the short form is the upper
// case part, the long form the whole word.
bool keywordMatches(std::string_view word, std::string_view pattern) {
    std::size_t shortLength = 0;
    while (shortLength < pattern.size() &&
           !std::islower(static_cast<unsigned char>(pattern[shortLength])))
        ++shortLength;
    if (word == upper(pattern)) return true;
    return word == pattern.substr(0, shortLength);
}

}  // namespace

ScpiLine parseScpiLine(std::string_view line) {
    ScpiLine out;
    line = trim(line);
    std::size_t blank = 0;
    while (blank < line.size() && !std::isspace(static_cast<unsigned char>(line[blank]))) ++blank;
    std::string_view header = line.substr(0, blank);
    if (!header.empty() && header.front() == ':') header.remove_prefix(1);
    out.header = upper(header);
    std::string_view rest = trim(line.substr(blank));
    if (rest.empty()) return out;
    for (;;) {
        std::size_t comma = rest.find(',');
        out.params.emplace_back(trim(rest.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return out;
}

bool scpiMatches(const std::string& header, std::string_view pattern) {
    std::string_view h = header;
    const bool query = !h.empty() && h.back() == '?';
    const bool wantQuery = !pattern.empty() && pattern.back() == '?';
    if (query != wantQuery) return false;
    if (query) {
        h.remove_suffix(1);
        pattern.remove_suffix(1);
    }
    for (;;) {
        const std::size_t hc = h.find(':'), pc = pattern.find(':');
        if ((hc == std::string_view::npos) != (pc == std::string_view::npos)) return false;
        if (!keywordMatches(h.substr(0, hc), pattern.substr(0, pc))) return false;
        if (hc == std::string_view::npos) return true;
        h.remove_prefix(hc + 1);
        pattern.remove_prefix(pc + 1);
    }
}

std::optional<double> scpiNumber(const std::string& param) {
    std::string_view s = param;
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    // from_chars also takes "inf" and "nan": SCPI numbers are neither.
    if (s.empty() || std::isalpha(static_cast<unsigned char>(s.front()))) return std::nullopt;
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace zdx::bench
