// The spool reader on hostile files: every content gives a run or a named
// refusal of the right kind (never a crash, never a number narrowed before
// its range is checked), and a run read back is the run that was kept, its
// as-left link and acceptance included, down to its digest.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "archive_support.h"
#include "run_digest.h"
#include "spool.h"

namespace {

using namespace q270;
using namespace q270::testing;
using nlohmann::json;
using Kind = SpoolFileError::Kind;

ArchivedRun linkedRun() {
    ArchivedRun run = Archived("Q270S9-00417", "2026-12-08T02:15:00Z", TrimsAt({{3, 3}, {19, 5}}));
    run.asLeftOf = NewRunId();
    run.acceptance = Acceptance{12.5, DecisionRule::NonBinary};
    return run;
}

// The kind of refusal a text gets; nullopt when it gives a run.
std::optional<Kind> refusalOf(const std::string& text) {
    try {
        ParseSpoolText(text, "spool.json");
        return std::nullopt;
    } catch (const SpoolFileError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("spool.json", 0), 0u) << error.what();
        return error.kind();
    }
}

TEST(SpoolReaderTest, AKeptRunReadsBackWhole) {
    const ArchivedRun run = linkedRun();
    const ArchivedRun back = ParseSpoolText(SpoolText(run), "spool.json");
    EXPECT_EQ(back.asLeftOf, run.asLeftOf);
    ASSERT_TRUE(back.acceptance);
    EXPECT_EQ(back.acceptance->limitPpm, 12.5);
    EXPECT_EQ(back.acceptance->rule, DecisionRule::NonBinary);
    EXPECT_EQ(RunDigest(back), RunDigest(run));

    // A file of the first version, which knew neither, still reads.
    json first = json::parse(SpoolText(run));
    first["version"] = 1;
    first.erase("as_left_of");
    first.erase("acceptance");
    const ArchivedRun old = ParseSpoolText(first.dump(), "spool.json");
    EXPECT_FALSE(old.asLeftOf);
    EXPECT_FALSE(old.acceptance);
    EXPECT_EQ(old.errSq, run.errSq);
}

TEST(SpoolReaderTest, HostileFilesAreRefusedByNameNeverCrashTheReader) {
    const json good = json::parse(SpoolText(linkedRun()));
    auto with = [&](auto change) {
        json doc = good;
        change(doc);
        return doc.dump();
    };
    const struct {
        const char* what;
        std::string text;
        Kind kind;
    } cases[] = {
        {"format a number", with([](json& d) { d["format"] = 7; }), Kind::Refused},
        {"version a text", with([](json& d) { d["version"] = "2"; }), Kind::Refused},
        {"version 0", with([](json& d) { d["version"] = 0; }), Kind::Refused},
        {"decision empty", with([](json& d) { d["decision"] = json::object(); }), Kind::Refused},
        {"decision a list", with([](json& d) { d["decision"] = json::array(); }), Kind::Refused},
        {"trim 65539", with([](json& d) { d["decision"]["ShuntSel"][4] = 65539; }), Kind::Refused},
        {"trim 2^64-1", with([](json& d) { d["decision"]["ShuntSel"][4] = std::uint64_t(-1); }),
         Kind::Refused},
        {"trim -1", with([](json& d) { d["decision"]["ShuntSel"][4] = -1; }), Kind::Refused},
        {"run a number", with([](json& d) { d["run"] = 3; }), Kind::Refused},
        {"no run", with([](json& d) { d.erase("run"); }), Kind::Refused},
        {"host with NUL", with([](json& d) { d["bench_host"] = std::string("be\0nch", 6); }),
         Kind::Refused},
        {"host with ESC", with([](json& d) { d["bench_host"] = "\x1b]0;owned\x07"; }),
         Kind::Refused},
        {"operator a list", with([](json& d) { d["operator"] = json::array(); }), Kind::Refused},
        {"run ID a path", with([](json& d) { d["run_id"] = "../../x"; }), Kind::Refused},
        {"as-left not an ID", with([](json& d) { d["as_left_of"] = "a b"; }), Kind::Refused},
        {"rule unknown", with([](json& d) { d["acceptance"]["rule"] = "lenient"; }), Kind::Refused},
        {"limit a text", with([](json& d) { d["acceptance"]["limit_ppm"] = "12"; }), Kind::Refused},
        {"leap second", with([](json& d) { d["run"]["time"] = "2016-12-31T23:59:60Z"; }),
         Kind::Refused},
        {"31 February", with([](json& d) { d["run"]["time"] = "2026-02-31T08:00:00Z"; }),
         Kind::Refused},
        {"run nested 100 000 deep",
         with([](json& d) {
             d["run"] = nullptr;
         }).replace(0, 1, "{\"run\": " + std::string(100000, '[') + std::string(100000, ']') + ","),
         Kind::Refused},
        {"not JSON", "{\"format\": \"zdx-q270-spool\"", Kind::Refused},
        {"empty", "", Kind::Refused},
        {"version 3", with([](json& d) { d["version"] = 3; }), Kind::Newer},
        {"version 2^32+1", with([](json& d) { d["version"] = 4294967297LL; }), Kind::Newer},
        {"version 2^64-1", with([](json& d) { d["version"] = std::uint64_t(-1); }), Kind::Newer},
    };
    for (const auto& c : cases) EXPECT_EQ(refusalOf(c.text), c.kind) << c.what;
}

}  // namespace
