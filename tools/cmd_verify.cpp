// verify: every archived run (and amendment) against the digest stored with
// it, so that rows changed without the program show.
#include <cstdio>

#include "archive_deadline.h"
#include "commands.h"
#include "options.h"
#include "run_sources.h"
#include "terminal_text.h"

namespace zdxtool {

int CmdVerify(const Arguments& args) {
    const Options options(args, {}, {});
    if (!options.error().empty()) return UsageError("verify", options.error());
    if (!options.positionals().empty())
        return UsageError("verify", "unexpected argument " + Quoted(options.positionals()[0]));
    const auto archive = OpenArchive();
    if (!archive) return kExitFailed;
    std::vector<q270::RunProblem> changed;
    int checked = 0;
    try {
        const ArchiveDeadline deadline(kExitFailed, "given up");
        changed = archive->verify(&checked);
    } catch (const q270::ArchiveError& error) {
        Complain(TerminalText(error.what()));
        return kExitFailed;
    }
    for (const q270::RunProblem& p : changed)
        std::printf("%s: %s\n", TerminalText(p.runId).c_str(), TerminalText(p.problem).c_str());
    std::printf("%d run(s) checked, %zu changed or damaged\n", checked, changed.size());
    return changed.empty() ? kExitDone : kExitFailed;
}

}  // namespace zdxtool
