#include "terminal_text.h"

#include <cstdio>

namespace zdxtool {

namespace {

void escape(std::string& out, unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
}

// The length of the valid UTF-8 sequence at `i` that is no C1 control; 0
// when there is none.
std::size_t sequenceAt(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || i + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    if (lead == 0xC2 && byte(i + 1) < 0xA0) return 0;   // U+0080..U+009F
    if (lead == 0xE0 && byte(i + 1) < 0xA0) return 0;   // overlong
    if (lead == 0xED && byte(i + 1) >= 0xA0) return 0;  // surrogates
    if (lead == 0xF0 && byte(i + 1) < 0x90) return 0;   // overlong
    if (lead == 0xF4 && byte(i + 1) >= 0x90) return 0;  // beyond U+10FFFF
    return length;
}

}  // namespace

std::string TerminalText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F)
                escape(out, c);
            else
                out += char(c);
            ++i;
        } else if (const std::size_t n = sequenceAt(text, i); n > 0) {
            out.append(text, i, n);
            i += n;
        } else {
            escape(out, c);
            ++i;
        }
    }
    return out;
}

}  // namespace zdxtool
