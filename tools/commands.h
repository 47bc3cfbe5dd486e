// The sub-commands of zdx-q270. Each takes its own arguments (after the
// sub-command's name) and returns the program's exit status: 0 done, 1 the
// work failed (message on stderr, no file written), 2 wrong arguments.
#pragma once

#include <string>
#include <vector>

namespace zdxtool {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;

int CmdList(const Arguments& args);
int CmdSend(const Arguments& args);
int CmdScan(const Arguments& args);
int CmdEvaluate(const Arguments& args);
int CmdOptimise(const Arguments& args);
int CmdHistory(const Arguments& args);
int CmdExport(const Arguments& args);
int CmdReport(const Arguments& args);

// "zdx-q270: <text>" on stderr.
void Complain(const std::string& text);
// The complaint about a missing platform USB setup library, with its code.
void ComplainSetupMissing();
// The text with control and non-ASCII bytes escaped, in double quotes.
std::string Quoted(const std::string& text);

}  // namespace zdxtool
