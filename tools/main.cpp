// zdx-q270: the linearity measurement of the Q270 without a window, for
// production and scripts. The same core as the results window: discovery and
// command exchange through the access library, the twenty-step run against
// the meter on COM1, the evaluation and the trim search.
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "tool_output.h"

int main(int argc, char** argv) {
    using namespace zdxtool;
    const std::string name = argc >= 2 ? argv[1] : "";
    const Command* command = FindCommand(name);
    // The library is looked for beside the program and in ../lib, which needs
    // the application; the serial port needs it too. A report needs fonts,
    // so a GUI application, which draws off screen.
    const bool drawing = command && command->draws;
    if (drawing && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        drawing ? std::make_unique<QGuiApplication>(argc, argv)
                : std::make_unique<QCoreApplication>(argc, argv);
    if (name == "--help" || name == "-h") {
        std::fputs(UsageText().c_str(), stdout);
        return kExitDone;
    }
    if (!command) {
        Complain(name.empty() ? "no command given" : "unknown command " + Quoted(name));
        std::fputs(UsageText().c_str(), stderr);
        return kExitUsage;
    }
    return command->run(Arguments(argv + 2, argv + argc));
}
