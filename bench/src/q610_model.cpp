#include "q610_model.h"

#include "q270_model.h"

namespace zdx::bench {

std::optional<std::string> Q610Model::handleLine(std::string_view line) {
    if (line == "DCL") return answerLine("0");
    if (line.substr(0, 3) != "PAP") return answerLine("?");
    int value = 0;
    if (!parseIntList(line.substr(3), &value, 1) || value < 0 || value > 255)
        return answerLine("?");
    // The byte is taken in either switch position; only the answer tells the
    // program whether the unit is under its control.
    output_ = static_cast<std::uint8_t>(value);
    return answerLine(remote_ ? "1" : "0");
}

}  // namespace zdx::bench
