// Texts from files and the archive made safe to print on a terminal: no
// control character (an escape sequence could rewrite the screen or the
// window title) reaches it.
#pragma once

#include <string>

namespace zdxtool {

// The text with every control character (C0, DEL, C1) and every byte that is
// no part of valid UTF-8 written as \xNN; the rest as it is.
std::string TerminalText(const std::string& text);

}  // namespace zdxtool
