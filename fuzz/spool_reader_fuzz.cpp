// The spool reader: any text gives a run or a SpoolFileError that starts with
// the file's name, never another exception, a crash or undefined behaviour.
// A run it gives holds only texts the archive keeps and trim choices 0..5, and
// is written and read again to the same content (the same digest).
#include "fuzz_support.h"
#include "run_digest.h"
#include "spool.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    q270::ArchivedRun run;
    try {
        run = q270::ParseSpoolText(text, "fuzz.json");
    } catch (const q270::SpoolFileError& error) {
        FUZZ_CHECK(std::string_view(error.what()).substr(0, 11) == "fuzz.json: ");
        return 0;
    }
    FUZZ_CHECK(q270::IsRunId(run.runId));
    FUZZ_CHECK(q270::ArchivedRunProblem(run).empty());
    for (std::size_t i = 1; i <= q270::kStepCount; ++i)
        FUZZ_CHECK(!run.decision ||
                   (run.decision->ShuntSel[i] >= 0 && run.decision->ShuntSel[i] <= 5));
    FUZZ_CHECK(q270::UtcTime(run.record.time) == run.record.time);
    const q270::ArchivedRun back = q270::ParseSpoolText(q270::SpoolText(run), "again.json");
    FUZZ_CHECK(q270::RunDigest(back) == q270::RunDigest(run));
    return 0;
}
