#include <array>

#include "commands.h"
#include "tool_output.h"

namespace zdxtool {

namespace {

constexpr std::array kCommands = {
    Command{"list", nullptr, "", "the calibrators on USB: serial, strings 4, 5 and 6", false,
            CmdList},
    Command{"send", nullptr, "SERIAL LINE | --com N LINE",
            "one command exchange over USB (answered only when the answer is shorter than the "
            "command) or over COM port N",
            false, CmdSend},
    Command{"scan", nullptr,
            "[-o FILE] [--no-archive] [--serial SERIAL] [--meter-id TEXT] [--as-left RUN-ID]",
            "a linearity run against the meter on COM1, archived and/or saved as a run file", false,
            CmdScan},
    Command{"decide", nullptr, "RUN-ID --count K",
            "records an archived run's trim decision: the search's line for K trim resistors, "
            "placed as in the window",
            false, CmdDecide},
    Command{"evaluate", nullptr, "RUNFILE [--limit PPM] [--rule simple|guarded|non-binary]",
            "the evaluation of a run file and its calibration statement as JSON", false,
            CmdEvaluate},
    Command{"optimise", "optimize", "RUNFILE", "the trim search for 0..4 trim resistors as JSON",
            false, CmdOptimise},
    Command{"history", nullptr, "[--json] [--] SERIAL", "the archived runs of a unit, oldest first",
            false, CmdHistory},
    Command{"export", nullptr, "[--serial SERIAL] [--since TIME] --csv|--json",
            "archived runs for a spreadsheet or a script (TIME without a zone is UTC)", false,
            CmdExport},
    Command{"report", nullptr, "RUN -o FILE.pdf", "a run (run ID or run file) as a PDF report",
            true, CmdReport},
    Command{"meter", nullptr,
            "add ID --model M --serial S --certificate C --calibrated DATE --due DATE | list | "
            "show ID",
            "the register of reference meters (dates YYYY-MM-DD)", false, CmdMeter},
    Command{"verify", nullptr, "",
            "every archived run against its digest: lists runs changed since archived (status 1)",
            false, CmdVerify},
};

constexpr std::size_t kSynopsisColumn = 36;

}  // namespace

std::span<const Command> Commands() {
    return kCommands;
}

const Command* FindCommand(std::string_view name) {
    for (const Command& c : kCommands)
        if (name == c.name || (c.alias && name == c.alias)) return &c;
    return nullptr;
}

std::string UsageText() {
    std::string text = "usage: zdx-q270 COMMAND [ARGUMENTS]\n";
    for (const Command& c : kCommands) {
        std::string line = std::string("  ") + c.name;
        if (*c.synopsis) line += std::string(" ") + c.synopsis;
        // A long synopsis gets a line of its own, the summary below it.
        if (line.size() + 1 > kSynopsisColumn)
            line += "\n" + std::string(kSynopsisColumn, ' ');
        else
            line.resize(kSynopsisColumn, ' ');
        text += line + c.summary + "\n";
    }
    return text + "exit status: 0 done, 1 failed (nothing written), 2 wrong arguments\n";
}

int UsageError(std::string_view command, const std::string& what) {
    Complain(std::string(command) + ": " + what);
    if (const Command* c = FindCommand(command))
        Complain(std::string("usage: zdx-q270 ") + c->name + (*c->synopsis ? " " : "") +
                 c->synopsis);
    return kExitUsage;
}

}  // namespace zdxtool
