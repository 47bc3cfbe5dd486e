#include "tool_output.h"

#include <cstdio>

#include "zdxusbcal.h"

namespace zdxtool {

void Complain(const std::string& text) {
    std::fprintf(stderr, "zdx-q270: %s\n", text.c_str());
}

void ComplainSetupMissing() {
    Complain("the platform's USB setup library cannot be bound (" +
             std::to_string(ZDXUSBCAL_SETUP_MISSING) + ")");
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + ch;
        else if (c < 0x20 || c > 0x7E) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += ch;
    }
    return out + "\"";
}

void PrintJson(const nlohmann::ordered_json& doc) {
    std::printf("%s\n",
                doc.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

}  // namespace zdxtool
