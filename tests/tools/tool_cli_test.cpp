// zdx-q270 evaluate and optimise on run files made from a known divider, and
// on every kind of bad file: the same figures as the core, or a clear error
// and nothing on stdout.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <filesystem>

#include "tool_support.h"
#include "trim_search.h"
#include "uncertainty.h"

namespace {

using namespace zdxtool::testing;
using nlohmann::json;

class ToolCliTest : public ::testing::Test {
  protected:
    std::string write(const q270::RunRecord& record, const char* name = "run.json") {
        const std::string file = dir_.filePath(name).toStdString();
        q270::WriteRunFile(file, record);
        return file;
    }
    QTemporaryDir dir_;
};

void ExpectFigures(const json& shown, const q270::ResultsData& data) {
    ASSERT_EQ(shown["DevR"].size(), 20u);
    ASSERT_EQ(shown["DevRS"].size(), 10u);
    ASSERT_EQ(shown["LinErr"].size(), 10u);
    for (int i = 1; i <= 20; ++i)
        EXPECT_EQ(static_cast<float>(shown["DevR"][i - 1].get<double>()), data.DevR[i]) << i;
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(static_cast<float>(shown["DevRS"][i - 1].get<double>()), data.DevRS[i]) << i;
        EXPECT_EQ(static_cast<float>(shown["LinErr"][i - 1].get<double>()), data.LinErr[i]) << i;
    }
    EXPECT_EQ(static_cast<float>(shown["SumDown"].get<double>()), data.SumDown);
    EXPECT_EQ(static_cast<float>(shown["SumUp"].get<double>()), data.SumUp);
    EXPECT_EQ(shown["DevDown"].get<double>(), data.DevDown);
    EXPECT_EQ(shown["DevUp"].get<double>(), data.DevUp);
    EXPECT_EQ(shown["ErrSq"].get<double>(), data.ErrSq);
}

TEST_F(ToolCliTest, EvaluateGivesTheCoresFiguresUntrimmedAndTrimmed) {
    q270::RunRecord record = CraftedRun();
    record.ShuntSel[3] = 5;
    record.ShuntSel[18] = 1;
    const std::string file = write(record);
    const ToolRun run = RunTool({"evaluate", file});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json shown = json::parse(run.out);

    q270::ResultsData data = q270::ToResultsData(record);
    q270::CalcResults(data, false);
    ExpectFigures(shown["untrimmed"], data);
    q270::CalcResults(data, true);
    ExpectFigures(shown["trimmed"], data);
    EXPECT_NE(shown["trimmed"]["ErrSq"], shown["untrimmed"]["ErrSq"]);
    EXPECT_EQ(shown["ShuntSel"][2], 5);
    EXPECT_EQ(shown["calibrator"]["serial"], "Q270S9-00417");
    EXPECT_EQ(shown["file"], file);
    // Shortest float texts: a figure reads as its float, without a double's tail.
    EXPECT_EQ(run.out.find("0000001"), std::string::npos) << run.out;
}

TEST_F(ToolCliTest, EvaluateOfAnExactDividerMatchesItsTruth) {
    const ToolRun run = RunTool({"evaluate", write(CraftedRun())});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json shown = json::parse(run.out)["untrimmed"];
    // LinErr(j) of the divider: the lowest j segments of both sweeps.
    double total = 0;
    for (const double d : kStepDeviationsPpm) total += 1 + d * 1e-6;
    for (int j = 1; j <= 10; ++j) {
        double low = 0;
        for (int m = 1; m <= j; ++m)
            low += 2 + (kStepDeviationsPpm[std::size_t(10 - m)] +
                        kStepDeviationsPpm[std::size_t(9 + m)]) *
                           1e-6;
        EXPECT_NEAR(shown["LinErr"][j - 1].get<double>(), 1e6 * (j * 0.1 - low / total), 0.25) << j;
    }
}

TEST_F(ToolCliTest, EvaluateGivesTheStatementInDoublePrecisionAgainstTheChosenLimit) {
    const std::string file = write(CraftedRun());
    const ToolRun plain = RunTool({"evaluate", file});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const json doc = json::parse(plain.out);
    EXPECT_FALSE(doc.contains("trimmed")) << "a run without trims has no trimmed block";
    const json& st = doc["statement"];
    ASSERT_EQ(st["points"].size(), 10u);
    EXPECT_TRUE(st["verdict"].is_null()) << "no limit, no verdict";
    EXPECT_TRUE(st["limit_ppm"].is_null());
    EXPECT_EQ(st["rule"], "guarded");
    // Equal readings: no noise, only the replies' last digit (rectangular,
    // infinite degrees of freedom): k is the normal distribution's 2.
    EXPECT_NEAR(st["k"].get<double>(), 2.0, 0.001);
    double total = 0, largest = 0;
    for (const double d : kStepDeviationsPpm) total += 1 + d * 1e-6;
    for (int j = 1; j <= 9; ++j) {
        double low = 0;
        for (int m = 1; m <= j; ++m)
            low += 2 + (kStepDeviationsPpm[std::size_t(10 - m)] +
                        kStepDeviationsPpm[std::size_t(9 + m)]) *
                           1e-6;
        const json& point = st["points"][j - 1];
        EXPECT_EQ(point["percent"], j * 10);
        // Double precision: far closer to the truth than the table's floats.
        EXPECT_NEAR(point["LinErr"].get<double>(), 1e6 * (j * 0.1 - low / total), 0.01) << j;
        EXPECT_GT(point["U"].get<double>(), 0.0);
        largest = std::max(largest, std::fabs(point["LinErr"].get<double>()));
    }
    EXPECT_EQ(st["points"][9]["LinErr"], 0.0);
    EXPECT_TRUE(st["points"][9]["verdict"].is_null()) << "the 100 % point is the reference";

    const auto verdict = [&](double limit, const char* rule) {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", limit);
        const ToolRun run = RunTool({"evaluate", file, "--limit", text, "--rule", rule});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return json::parse(run.out)["statement"]["verdict"].get<std::string>();
    };
    EXPECT_EQ(verdict(largest * 2, "non-binary"), "pass");
    EXPECT_EQ(verdict(largest / 2, "simple"), "fail");
    // Just above the largest error, inside its U: only a conditional pass.
    EXPECT_EQ(verdict(largest + 1e-6, "non-binary"), "conditional pass");

    const ToolRun wrongRule = RunTool({"evaluate", file, "--rule", "lenient"});
    EXPECT_EQ(wrongRule.exitCode, 2);
    EXPECT_NE(wrongRule.err.find("lenient"), std::string::npos) << wrongRule.err;
    EXPECT_EQ(RunTool({"evaluate", file, "--limit", "-3"}).exitCode, 2);
}

TEST_F(ToolCliTest, OptimiseGivesTheSearchAndThePlacementOfEachCount) {
    q270::RunRecord record = CraftedRun();
    record.ShuntSel[1] = 4;  // the search starts without any trim resistor all the same
    const ToolRun run = RunTool({"optimise", write(record)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json shown = json::parse(run.out);
    const json& solutions = shown["solutions"];
    ASSERT_EQ(solutions.size(), 5u);

    q270::ResultsData data = q270::ToResultsData(record);
    data.ShuntSel.fill(0);
    q270::CalcResults(data, false);
    const long long counts[] = {1, 51, 1176, 16176, 147426};
    double previous = 1e30;
    for (int k = 0; k <= 4; ++k) {
        SCOPED_TRACE(k);
        const json& s = solutions[std::size_t(k)];
        q270::TrimSearch search(data, k);
        search.run();
        EXPECT_EQ(s["K"], k);
        EXPECT_EQ(s["evaluations"], counts[k]);
        EXPECT_EQ(s["ErrSq"].get<double>(), search.best());
        EXPECT_EQ(s["TrimMin"].get<double>(), search.trimMin());
        EXPECT_EQ(s["TrimMax"].get<double>(), search.trimMax());
        EXPECT_EQ(s["line"], q270::TrimResultLine(search, '.'));
        EXPECT_EQ(s["line"].get<std::string>().rfind(std::to_string(k) + " Rs:  Bew=", 0), 0u);
        int nonZero = 0;
        for (int i = 1; i <= 10; ++i) {
            EXPECT_EQ(s["BestSel"][i - 1], search.bestSel()[std::size_t(i)]);
            nonZero += search.bestSel()[std::size_t(i)] != 0;
        }
        EXPECT_LE(nonZero, k);
        EXPECT_LE(s["ErrSq"].get<double>(), previous);
        previous = s["ErrSq"].get<double>();

        q270::ResultsData applied = data;
        const int mask = q270::PlaceBest(applied, search.bestSel(), k);
        EXPECT_EQ(s["mask"], mask);
        int placed = 0;
        for (int i = 1; i <= 20; ++i) {
            EXPECT_EQ(s["ShuntSel"][i - 1], applied.ShuntSel[std::size_t(i)]) << i;
            placed += applied.ShuntSel[std::size_t(i)] != 0;
        }
        EXPECT_EQ(placed, nonZero);
        q270::CalcResults(applied, true);
        ExpectFigures(s["applied"], applied);
    }
    // No trim resistor: the untrimmed figure.
    EXPECT_EQ(solutions[0]["ErrSq"].get<double>(), shown["untrimmed"]["ErrSq"].get<double>());
    EXPECT_LT(solutions[4]["ErrSq"].get<double>(), solutions[0]["ErrSq"].get<double>());
}

TEST_F(ToolCliTest, BadRunFilesAreRefusedWithFileAndFieldAndNothingOnStdout) {
    const std::string file = dir_.filePath("bad run.json").toStdString();
    for (const BadFile& bad : BadFiles()) {
        SCOPED_TRACE(bad.name);
        WriteText(file, bad.text);
        for (const char* command : {"evaluate", "optimise"}) {
            const ToolRun run = RunTool({command, file});
            EXPECT_EQ(run.exitCode, 1) << command;
            EXPECT_EQ(run.out, "") << command;
            EXPECT_NE(run.err.find(file + ": "), std::string::npos) << run.err;
            EXPECT_NE(run.err.find(bad.field), std::string::npos) << run.err;
        }
        EXPECT_EQ(ReadText(file), bad.text) << "the file is left as it was";
    }
    const ToolRun missing = RunTool({"evaluate", dir_.filePath("none.json").toStdString()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("none.json"), std::string::npos);
}

TEST_F(ToolCliTest, EvaluateGivesTheUncertaintyOfEach10PercentPointFromTheReadingNoise) {
    q270::RunRecord record = CraftedRun();
    for (std::size_t i = 1; i <= 20; ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "%+.8E\r\n", record.Mw1[i].volts + (i % 2 ? 2e-6 : -2e-6));
        record.Mw1[i] = {text, std::strtod(text, nullptr)};
    }
    record.ShuntSel[4] = 2;
    const ToolRun run = RunTool({"evaluate", write(record)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json shown = json::parse(run.out);
    EXPECT_NEAR(shown["reading_noise_uV"].get<double>(), 2.0 / std::sqrt(2.0), 0.01);
    const q270::ResultsData data = q270::ToResultsData(record);
    const auto u = q270::LinErrUncertainty(data, false, q270::ReadingNoise(data));
    ASSERT_EQ(shown["untrimmed"]["u_LinErr"].size(), 10u);
    for (int j = 1; j <= 10; ++j)
        EXPECT_NEAR(shown["untrimmed"]["u_LinErr"][j - 1].get<double>(), u[std::size_t(j)], 1e-3);
    EXPECT_GT(shown["untrimmed"]["u_LinErr"][4].get<double>(), 0.1);
    EXPECT_EQ(shown["untrimmed"]["u_LinErr"][9].get<double>(), 0.0);
    EXPECT_EQ(shown["trimmed"]["u_LinErr"].size(), 10u);
    EXPECT_TRUE(shown["trimmed"]["improvement"]["within_noise"].is_boolean());
}

// Each wrong call says what was wrong, then the command's usage.
TEST_F(ToolCliTest, WrongArgumentsSayWhatWasWrongAndGiveStatus2) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"evaluate"}, "evaluate: give one run file"},
        {{"evaluate", "a", "b"}, "evaluate: give one run file"},
        {{"evaluate", "a", "--rule", "strict"}, "--rule \"strict\" is none of"},
        {{"optimise"}, "optimise: give one run file"},
        {{"send", "Q270S9-00417"}, "send: give a serial number and one command line (1 given"},
        {{"send", "Q270S9-00417", "K1A0,0,1,0", "x"}, "(3 given; quote a line with blanks)"},
        {{"send", "--com", "0", "DCL"}, "--com \"0\" is no COM port number 1..99"},
        {{"send", "--com", "2"}, "with --com give one command line (0 given"},
        {{"list", "extra"}, "list: takes no arguments"},
        {{"scan", "--no-archive"}, "--no-archive needs -o FILE"},
        {{"scan", "--serial"}, "--serial needs a value"},
        {{"scan", "--no-archive", "--serial", "X"}, "--no-archive needs -o FILE"},
        {{"scan", "-o", "f.json", "--fast"}, "unknown option \"--fast\""},
    };
    for (const auto& [args, what] : cases) {
        const ToolRun run = RunTool(args);
        const std::string call = args.empty() ? "(none)" : args[0];
        EXPECT_EQ(run.exitCode, 2) << call;
        EXPECT_EQ(run.out, "") << call;
        EXPECT_NE(run.err.find(what), std::string::npos) << call << ": " << run.err;
        EXPECT_NE(run.err.find("usage: zdx-q270"), std::string::npos) << call << ": " << run.err;
    }
    const ToolRun help = RunTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("optimise RUNFILE"), std::string::npos);
}

TEST_F(ToolCliTest, WithoutTheAccessLibraryTheUsbCommandsFailAndSaySo) {
    const std::vector<std::string> nowhere = {"ZDXUSBCAL_LIBRARY=/nonexistent/zdxusbcal.so"};
    const std::string file = dir_.filePath("run.json").toStdString();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"list"}, {"send", "Q270S9-00417", "DCL"}, {"scan", "-o", file}}) {
        const ToolRun run = RunTool(args, 30000, nowhere);
        EXPECT_EQ(run.exitCode, 1) << args[0];
        EXPECT_NE(run.err.find("ZDXUSBCAL cannot be bound"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    // A run file needs no library.
    EXPECT_EQ(RunTool({"evaluate", write(CraftedRun())}, 30000, nowhere).exitCode, 0);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
