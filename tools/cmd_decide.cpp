// decide: records the trim decision of an archived run from the tool, exactly
// as clicking the search's line for K trim resistors does in the window (the
// search's best vector, placed as the window places it), so that production
// can script the cycle: scan, decide, fit the trims, scan --as-left.
#include <charconv>
#include <cstdio>

#include "archived_run.h"
#include "commands.h"
#include "options.h"
#include "run_figures.h"
#include "run_sources.h"
#include "search_decision.h"
#include "trim_search.h"

namespace zdxtool {

namespace {

std::optional<int> countOf(const std::string& text) {
    int count = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || count < 0 ||
        count > q270::kMaxTrimCount)
        return std::nullopt;
    return count;
}

}  // namespace

int CmdDecide(const Arguments& args) {
    const Options options(args, {}, {"--count"});
    if (!options.error().empty()) return UsageError("decide", options.error());
    if (options.positionals().size() != 1) return UsageError("decide", "give one run ID");
    const std::string& runId = options.positionals()[0];
    const auto countText = options.value("--count");
    if (!countText) return UsageError("decide", "give the number of trim resistors with --count K");
    const auto count = countOf(*countText);
    if (!count)
        return UsageError("decide", "--count takes 0 to " + std::to_string(q270::kMaxTrimCount) +
                                        ", not " + Quoted(*countText));

    const auto archive = OpenArchive();
    if (!archive) return kExitFailed;
    try {
        const auto run = archive->fetch(runId);
        if (!run) {
            Complain("no run " + Quoted(runId) + " in the " + archive->where());
            return kExitFailed;
        }
        if (run->asLeftOf) {
            Complain("run " + Quoted(runId) + " is the as-left run of " + Quoted(*run->asLeftOf) +
                     ": trims are decided on an as-found run");
            return kExitFailed;
        }
        q270::PerStep<std::int16_t> choice{};
        if (*count > 0) {
            const auto found = q270::SearchDecision(run->record, *count);
            if (!found) {
                Complain("the search finds no choice of " + std::to_string(*count) +
                         " trim resistors for run " + Quoted(runId));
                return kExitFailed;
            }
            choice = *found;
        }
        // Recorded as an amendment: what was archived with the run stays.
        const q270::Amendment amendment =
            q270::MakeAmendment(*run, choice, q270::ThisBench().operatorLogin);
        const bool changed = archive->amend(runId, amendment) == q270::AmendOutcome::Amended;
        std::printf("run %s: trims %s, predicted ErrSq %.1f ppm^2 (untrimmed %.1f)%s\n",
                    runId.c_str(), q270::TrimsText(choice).c_str(),
                    amendment.decision.predictedErrSq, run->errSq,
                    changed ? "" : "; the decision in force already");
    } catch (const q270::ArchiveError& error) {
        Complain(error.what());
        return kExitFailed;
    } catch (const q270::RunFileError& error) {
        Complain(error.what());
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace zdxtool
