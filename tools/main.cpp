// zdx-q270: the linearity measurement of the Q270 without a window, for
// production and scripts. The same core as the results window: discovery and
// command exchange through the access library, the twenty-step run against
// the meter on COM1, the evaluation and the trim search.
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "commands.h"

namespace {

constexpr const char* kUsage =
    "usage: zdx-q270 COMMAND [ARGUMENTS]\n"
    "  list                              the calibrators on USB: serial, strings 4, 5 and 6\n"
    "  send SERIAL LINE                  one command exchange: the answer and the result code\n"
    "  scan [-o FILE] [--no-archive] [--serial SERIAL] [--meter-id TEXT]\n"
    "                                    a linearity run against the meter on COM1, archived\n"
    "                                    and/or saved as a run file\n"
    "  evaluate RUNFILE                  the evaluation of a run file as JSON\n"
    "  optimise RUNFILE                  the trim search for 0..4 trim resistors as JSON\n"
    "  history SERIAL [--json]           the archived runs of a unit, oldest first\n"
    "  export [--serial S] [--since TIME] --csv|--json\n"
    "                                    archived runs for a spreadsheet or a script\n"
    "  report RUN -o FILE.pdf            a run (run ID or run file) as a PDF report\n"
    "exit status: 0 done, 1 failed (nothing written), 2 wrong arguments\n";

}  // namespace

int main(int argc, char** argv) {
    // The library is looked for beside the program and in ../lib, which needs
    // the application; the serial port needs it too. A report needs fonts,
    // so a GUI application, which draws off screen.
    const bool drawing = argc >= 2 && std::strcmp(argv[1], "report") == 0;
    if (drawing && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        drawing ? std::make_unique<QGuiApplication>(argc, argv)
                : std::make_unique<QCoreApplication>(argc, argv);
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? zdxtool::kExitUsage : zdxtool::kExitDone;
    }
    const std::string command = argv[1];
    const zdxtool::Arguments args(argv + 2, argv + argc);
    if (command == "list") return zdxtool::CmdList(args);
    if (command == "send") return zdxtool::CmdSend(args);
    if (command == "scan") return zdxtool::CmdScan(args);
    if (command == "evaluate") return zdxtool::CmdEvaluate(args);
    if (command == "history") return zdxtool::CmdHistory(args);
    if (command == "export") return zdxtool::CmdExport(args);
    if (command == "report") return zdxtool::CmdReport(args);
    if (command == "optimise" || command == "optimize") return zdxtool::CmdOptimise(args);
    zdxtool::Complain("unknown command \"" + command + "\"");
    std::fputs(kUsage, stderr);
    return zdxtool::kExitUsage;
}
