// zdx-q270 list, send and the failures of scan against a bench: what the
// library reports, as it reports it, and no run file from a run that failed.
#include <gtest/gtest.h>

#include <signal.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "bench_session.h"
#include "tool_support.h"
#include "zdxusbcal.h"

namespace {

using namespace zdxtool::testing;

constexpr const char* kThreeDevices = R"({"usb": [
    {"kind": "Q270", "serial": "Q270S9-00417", "id": "Q270S9 V1.18"},
    {"kind": "Q610", "serial": "Q610-00123"},
    {"kind": "Q270", "serial": "Q270S9-00418", "id": "Q270S9 V1.20", "string4": "ZDX GmbH"}],
  "serial": [{"com": 1, "kind": "meter", "calibrator": "Q270S9-00417",
              "reading_ms": 5, "settle_ms": 0}]})";

// The start of the line `send` prints for a library result: "result: <code> (".
std::string resultOf(int code) {
    return "result: " + std::to_string(code) + " (";
}

class ToolBenchTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        bench_ = new zdx::bench::BenchSession(kThreeDevices);
        bench_->exportEnvironment();
    }
    static void TearDownTestSuite() {
        delete bench_;
        bench_ = nullptr;
    }
    void SetUp() override {
        bench_->loadScenario(kThreeDevices);
        bench_->clearTraffic();
    }
    std::string path(const char* name) const { return dir_.filePath(name).toStdString(); }

    static zdx::bench::BenchSession* bench_;
    QTemporaryDir dir_;
};

zdx::bench::BenchSession* ToolBenchTest::bench_ = nullptr;

TEST_F(ToolBenchTest, ListShowsEveryCalibratorWithItsStringsFirstDeviceFirst) {
    const ToolRun run = RunTool({"list"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "serial\tstring4\tstring5\tstring6\n"
              "Q270S9-00417\tZDX\tQ270 Calibrator\tQ270S9 V1.18\n"
              "Q610-00123\tZDX\tQ610 Calibrator\tQ610 V2.03\n"
              "Q270S9-00418\tZDX GmbH\tQ270 Calibrator\tQ270S9 V1.20\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(ToolBenchTest, ListSaysWhatItCannotTellApartAndWhenThereIsNothing) {
    // "Q270-7" lies inside the first serial: no serial filter reaches it alone.
    bench_->loadScenario(R"({"usb": [{"kind": "Q270", "serial": "XQ270-77"},
                                     {"kind": "Q270", "serial": "Q270-7"}]})");
    ToolRun run = RunTool({"list"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("XQ270-77\t"), std::string::npos);
    EXPECT_NE(run.err.find("2 calibrators enumerated, 1 listed"), std::string::npos) << run.err;

    bench_->loadScenario(R"({"usb": []})");
    run = RunTool({"list"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no calibrator on USB"), std::string::npos);
}

TEST_F(ToolBenchTest, ListReachesEveryOneOfThe32CalibratorsTheLibraryEnumerates) {
    // Serials that differ only in their last digits: each is found by a
    // substring only it holds.
    bench_->loadScenario(
        R"({"usb_generate": [{"count": 40, "kind": "Q270", "serial_prefix": "Q270S9-0"}]})");
    const ToolRun run = RunTool({"list"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<std::string> serials;
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) serials.push_back(line.substr(0, line.find('\t')));
    ASSERT_EQ(serials.size(), 32u);
    EXPECT_EQ(serials.front(), "Q270S9-00001");
    std::sort(serials.begin(), serials.end());
    for (int i = 1; i <= 32; ++i) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "Q270S9-0%04d", i);
        EXPECT_EQ(serials[std::size_t(i - 1)], expected);
    }
}

TEST_F(ToolBenchTest, SendPrintsTheAnswerAndTheLibrarysResult) {
    ToolRun run = RunTool({"send", "Q270S9-00418", "K1Y  1, 10, 9, 0"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "answer: \"0\\r\\n\"\nreceived: 3\nresult: 0 (answer received)\n");
    EXPECT_EQ(bench_->linesTo("Q270S9-00418"), std::vector<std::string>{"K1Y  1, 10, 9, 0"});

    // An answer not shorter than its command is no usable answer.
    run = RunTool({"send", "Q270S9-00417", "SNR?0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("received: 14\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(resultOf(ZDXUSBCAL_CMD_NO_ANSWER)), std::string::npos) << run.out;

    run = RunTool({"send", "Q270S9-00999", "DCL"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find(resultOf(ZDXUSBCAL_CMD_NO_ANSWER_PIPE)), std::string::npos) << run.out;
}

// The README's example, and an answer the library withholds because it is
// not shorter than its command: said so, with the serial line as the way to it.
TEST_F(ToolBenchTest, SendAsTheReadmeShowsItAndTheAnswerOfAShortCommandOverCom) {
    ToolRun run = RunTool({"send", "Q270S9-00417", "K1A0,0,1,0"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "answer: \"0\\r\\n\"\nreceived: 3\nresult: 0 (answer received)\n");

    run = RunTool({"send", "Q270S9-00417", "DCL"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(bench_->linesTo("Q270S9-00417"), (std::vector<std::string>{"K1A0,0,1,0", "DCL"}));
    EXPECT_NE(run.err.find("the unit answered 3 bytes, but the access library returns an answer "
                           "only when it is shorter than the command (3 characters here)"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("zdx-q270 send --com N \"DCL\""), std::string::npos) << run.err;

    bench_->loadScenario(
        R"({"serial": [{"com": 2, "kind": "Q270", "serial": "S1", "id": "Q270S6 V1.12"}]})");
    run = RunTool({"send", "--com", "2", "SNR?0"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "answer: \"Q270S6 V1.12\\r\\n\"\n");
    run = RunTool({"send", "--com", "3", "DCL"}, 30000, {"ZDX_COM3=/nonexistent/tty"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Error accessing COM3 (/nonexistent/tty: No such file or directory)"),
              std::string::npos)
        << run.err;
}

TEST_F(ToolBenchTest, SendOf90CharactersGoesOutAndOf91IsTheLibrarysMinus1) {
    const std::string ninety(90, 'X');
    ToolRun run = RunTool({"send", "Q270S9-00417", ninety});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("answer: \"?\\r\\n\""), std::string::npos) << run.out;

    bench_->clearTraffic();
    run = RunTool({"send", "Q270S9-00417", ninety + "X"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "answer: \"\"\n" + resultOf(ZDXUSBCAL_CMD_REFUSED) +
                           "command longer than 90 characters; nothing was sent)\n");
    EXPECT_TRUE(bench_->linesTo("Q270S9-00417").empty());
}

TEST_F(ToolBenchTest, ScanOfAnUnknownCalibratorTouchesNoMeter) {
    const ToolRun run = RunTool({"scan", "--serial", "Q270S9-0041", "-o", path("run.json")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no calibrator with serial number \"Q270S9-0041\""), std::string::npos)
        << run.err;
    EXPECT_TRUE(bench_->linesTo("COM1").empty());
    EXPECT_FALSE(std::filesystem::exists(path("run.json")));
}

TEST_F(ToolBenchTest, ScanWithoutItsMeterPortSendsNothing) {
    const ToolRun run =
        RunTool({"scan", "-o", path("run.json")}, 30000, {"ZDX_COM1=/nonexistent/tty"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Error accessing COM1 (multimeter, /nonexistent/tty: No such file or "
                           "directory)"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(bench_->linesTo("Q270S9-00417").empty());
    EXPECT_FALSE(std::filesystem::exists(path("run.json")));
}

TEST_F(ToolBenchTest, ScanAgainstASilentMeterEndsWritesNothingAndLeavesTheMeterLocal) {
    bench_->setFault("COM1", "silent");
    WriteText(path("run.json"), "an earlier run");
    const ToolRun run = RunTool({"scan", "-o", path("run.json")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("No reply from the multimeter (R 116, reading 1)"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("nothing written"), std::string::npos);
    EXPECT_EQ(ReadText(path("run.json")), "an earlier run");
    const auto lines = bench_->linesTo("COM1");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "SYST:LOC");
    EXPECT_FALSE(bench_->meter(1).remote);
    // Only the first step's line went to the calibrator.
    EXPECT_EQ(bench_->linesTo("Q270S9-00417"), std::vector<std::string>{"K1Y  1, 10, 9, 0"});
}

TEST_F(ToolBenchTest, ScanAgainstAGarbledMeterEndsWithTheReplyShown) {
    bench_->setFault("COM1", "garbage");
    const ToolRun run = RunTool({"scan", "-o", path("run.json")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("not a number"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(path("run.json")));
    EXPECT_FALSE(std::filesystem::exists(path("run.json.part")));
}

TEST_F(ToolBenchTest, CtrlCEndsAScanAfterItsStepAndWritesNothing) {
    QProcess process;
    process.start(QStringLiteral(ZDX_Q270_TOOL),
                  {QStringLiteral("scan"), QStringLiteral("-o"), dir_.filePath("run.json")});
    ASSERT_TRUE(process.waitForStarted());
    // Into the second step (each takes 1.3 s after 0.5 s of opening the meter).
    QThread::msleep(2500);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 1);
    const std::string err = process.readAllStandardError().toStdString();
    int steps = 0;
    const auto line = err.find("zdx-q270: stopped after ");
    ASSERT_NE(line, std::string::npos) << err;
    ASSERT_EQ(std::sscanf(err.c_str() + line, "zdx-q270: stopped after %d steps: nothing written",
                          &steps),
              1)
        << err;
    EXPECT_GE(steps, 1);
    EXPECT_LT(steps, 20);
    EXPECT_FALSE(std::filesystem::exists(path("run.json")));
    EXPECT_EQ(bench_->linesTo("COM1").back(), "SYST:LOC");
    EXPECT_FALSE(bench_->meter(1).remote);
    // The step that was under way when the stop came was finished, and no other begun.
    EXPECT_EQ(bench_->linesTo("Q270S9-00417").size(), std::size_t(steps));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
