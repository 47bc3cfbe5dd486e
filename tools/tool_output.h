// What the tool writes for a person and a script: complaints on stderr,
// texts made safe for a terminal, JSON documents on stdout.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace zdxtool {

// "zdx-q270: <text>" on stderr.
void Complain(const std::string& text);
// The complaint about a missing platform USB setup library, with its code.
void ComplainSetupMissing();
// The text with control and non-ASCII bytes escaped, in double quotes.
std::string Quoted(const std::string& text);
// The document on stdout, indented.
void PrintJson(const nlohmann::ordered_json& doc);

}  // namespace zdxtool
