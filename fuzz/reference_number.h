// An independent reading of a meter reply, for the targets that check the
// reply conversion: a strict grammar, then strtod in the "C" locale.
#pragma once

#include <locale.h>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace zdx::fuzz {

enum class Reference { Empty, NotANumber, Number, Overload, Underflow };

struct ReferenceReading {
    Reference kind = Reference::Empty;
    double volts = 0;
};

inline ReferenceReading ReferenceRead(std::string_view reply) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!reply.empty() && blank(reply.front())) reply.remove_prefix(1);
    while (!reply.empty() && blank(reply.back())) reply.remove_suffix(1);
    ReferenceReading r;
    if (reply.empty()) return r;
    r.kind = Reference::NotANumber;
    std::string text(reply);
    // [+-] (digits [point digits] | point digits) [(e|E) [+-] digits]; the
    // point is the reply's one decimal comma or a ".".
    std::size_t i = 0, points = 0, mantissaDigits = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            ++mantissaDigits;
        } else if (text[i] == ',' || text[i] == '.') {
            if (++points > 1) return r;
            text[i] = '.';
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) return r;
    if (i < text.size()) {
        if (text[i] != 'e' && text[i] != 'E') return r;
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exponentDigits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++exponentDigits;
        if (exponentDigits == 0 || i != text.size()) return r;
    }
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    errno = 0;
    const double v = strtod_l(text.c_str(), nullptr, c);
    if (std::isinf(v) || std::fabs(v) >= 9.0e37) {
        r.kind = Reference::Overload;
    } else if (errno == ERANGE && v == 0) {
        r.kind = Reference::Underflow;
    } else {
        r.kind = Reference::Number;
        r.volts = v;
    }
    return r;
}

}  // namespace zdx::fuzz
