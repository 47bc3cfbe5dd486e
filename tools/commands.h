// The sub-commands of zdx-q270, in one table from which main dispatches and
// the usage is printed. Each takes its own arguments (after the sub-command's
// name) and returns the program's exit status.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zdxtool {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // the work failed: why on stderr, no file written
inline constexpr int kExitUsage = 2;   // wrong arguments: what was wrong on stderr

using Arguments = std::vector<std::string>;

struct Command {
    const char* name;
    const char* alias;     // another spelling, or nullptr
    const char* synopsis;  // the arguments, as the usage shows them
    const char* summary;   // what it does, in a line or two
    bool draws;            // needs fonts (a GUI application drawing off screen)
    int (*run)(const Arguments& args);
};

std::span<const Command> Commands();
// The command of this name or alias; nullptr when there is none.
const Command* FindCommand(std::string_view name);
// The whole usage text, from the table.
std::string UsageText();
// Says on stderr what was wrong with a command's arguments and the command's
// synopsis; gives kExitUsage.
int UsageError(std::string_view command, const std::string& what);

int CmdList(const Arguments& args);
int CmdSend(const Arguments& args);
int CmdScan(const Arguments& args);
int CmdDecide(const Arguments& args);
int CmdEvaluate(const Arguments& args);
int CmdOptimise(const Arguments& args);
int CmdHistory(const Arguments& args);
int CmdExport(const Arguments& args);
int CmdReport(const Arguments& args);
int CmdMeter(const Arguments& args);
int CmdVerify(const Arguments& args);

}  // namespace zdxtool
