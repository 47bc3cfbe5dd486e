// The multimeter line, the reading of its replies and the twenty-step run,
// against a scripted port, a scripted USB access and a clock that moves only
// when waited on.
#include <gtest/gtest.h>

#include <QString>
#include <chrono>
#include <clocale>
#include <functional>
#include <stdexcept>

#include "fakes.h"
#include "linearity_run.h"
#include "meter_link.h"
#include "meter_reading.h"
#include "step_sequence.h"

namespace q270 {
namespace {

using namespace std::chrono_literals;
using testing::FakeClock;
using testing::FakeLine;
using testing::FakeUsb;

class FakeMeterPort : public FakeLine<MeterPort> {
  public:
    using FakeLine<MeterPort>::FakeLine;
    void writeText(std::string_view text) override {
        if (onWrite) onWrite(std::string(text));
        FakeLine<MeterPort>::writeText(text);
    }
    std::function<void(const std::string&)> onWrite;  // may throw, as a failing port does
    void openWith(int number, const QString& settings) override {
        openedNumber = number;
        openedSettings = settings.toStdString();
        open = openable;
    }
    bool openable = true;
    int openedNumber = 0;
    std::string openedSettings;
};

double seconds(FakeClock::duration d) {
    return std::chrono::duration<double>(d).count();
}

class MeterLinkTest : public ::testing::Test {
  protected:
    FakeClock clock;
    FakeMeterPort port{clock};
    MeterLink meter{port, clock};
};

TEST_F(MeterLinkTest, OpenPutsTheMeterIntoRemoteWithTheLinesAndPausesInOrder) {
    port.open = false;
    port.replies = {{}, {"+0,\"No error\"\r\n"}, {"-113,\"Undefined header\"\r\n"}};
    const auto start = clock.now();
    ASSERT_TRUE(meter.OpenHP());
    EXPECT_EQ(port.openedNumber, 1);
    EXPECT_EQ(port.openedSettings, "9600,N,8,1");
    EXPECT_EQ(port.written, (std::vector<std::string>{"SYST:REM\n", "SYST:ERR?\n", "SYST:ERR?\n"}));
    // 0.3 + 0.1 + 0.1 s of pauses plus the two replies' arrival.
    EXPECT_GE(seconds(clock.now() - start), 0.5);
    EXPECT_LT(seconds(clock.now() - start), 0.6);
    EXPECT_TRUE(port.pending.empty());
}

TEST_F(MeterLinkTest, OpenOfAMissingPortSendsNothing) {
    port.open = false;
    port.openable = false;
    EXPECT_FALSE(meter.OpenHP());
    EXPECT_TRUE(port.written.empty());
    meter.CloseHP();
    EXPECT_TRUE(port.written.empty());
}

TEST_F(MeterLinkTest, CloseReturnsTheMeterToLocalThenClosesThePort) {
    const auto start = clock.now();
    meter.CloseHP();
    EXPECT_EQ(port.written, std::vector<std::string>{"SYST:LOC\n"});
    EXPECT_FALSE(port.open);
    EXPECT_NEAR(seconds(clock.now() - start), 0.2, 1e-6);
}

TEST_F(MeterLinkTest, ReplyKeepsItsLineEndAndOnlyItsFirstPointBecomesAComma) {
    port.replies = {{"+2.49912345E-01\r\n"}, {"1.2.3\n"}, {"+0\r\n"}};
    EXPECT_EQ(meter.ReadHP("MEAS:VOLT:DC? 1,1E-6"), "+2,49912345E-01\r\n");
    EXPECT_EQ(meter.ReadHP("X"), "1,2.3\n");
    EXPECT_EQ(meter.ReadHP("X"), "+0\r\n");
}

TEST_F(MeterLinkTest, ReplyInPiecesIsOneStringWithWhatCameAfterTheLineFeed) {
    port.replies = {{"+2.4991", "2345E-0", "1\r\nxy"}};
    EXPECT_EQ(meter.ReadHP("Q"), "+2,49912345E-01\r\nxy");
}

TEST_F(MeterLinkTest, SilentMeterGivesAnEmptyReplyAfterOneAndAHalfSeconds) {
    const auto start = clock.now();
    EXPECT_EQ(meter.ReadHP("MEAS:VOLT:DC? 1,1E-6"), "");
    EXPECT_GE(seconds(clock.now() - start), 1.5);
    EXPECT_LT(seconds(clock.now() - start), 1.6);
}

TEST_F(MeterLinkTest, LateReplyIsReadAsTheAnswerToTheNextQuery) {
    port.replies = {{}, {}};
    port.chunkDelay = 5ms;
    EXPECT_EQ(meter.ReadHP("A"), "");
    port.pending.push_back("+1.0E-01\r\n");  // the late answer to A
    EXPECT_EQ(meter.ReadHP("B"), "+1,0E-01\r\n");
}

TEST(MeterReading, RepliesAreReadWithTheDecimalCommaInAnyProcessLocale) {
    for (const char* name : {"C", "de_DE.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) == nullptr) continue;
        const MeterReading r = ParseMeterReply("+2,49912345E-01\r\n");
        EXPECT_EQ(r.fault, ReadingFault::None) << name;
        EXPECT_DOUBLE_EQ(r.volts, 0.249912345) << name;
        EXPECT_DOUBLE_EQ(ParseMeterReply("-1,5\n").volts, -1.5) << name;
        EXPECT_DOUBLE_EQ(ParseMeterReply("+0\r\n").volts, 0.0) << name;
    }
    std::setlocale(LC_ALL, "C");
}

TEST(MeterReading, WhatIsNoVoltageIsNamedForWhatItIs) {
    EXPECT_EQ(ParseMeterReply("").fault, ReadingFault::Empty);
    EXPECT_EQ(ParseMeterReply("\r\n").fault, ReadingFault::Empty);
    EXPECT_EQ(ParseMeterReply("+9,90000000E+37\r\n").fault, ReadingFault::Overload);
    EXPECT_EQ(ParseMeterReply("-9,9E+37\r\n").fault, ReadingFault::Overload);
    EXPECT_EQ(ParseMeterReply("1E999\n").fault, ReadingFault::Overload);
    for (const char* garbage : {"-113,\"Undefined header\"\r\n", "+2,4991,2345E-01\n", "abc\n",
                                "nan\n", "inf\n", "++1\n", "+-1\n", "1,5 V\n", "\x01\xff\n"})
        EXPECT_EQ(ParseMeterReply(garbage).fault, ReadingFault::NotANumber) << garbage;
    EXPECT_EQ(ParseMeterReply("+1,0E-400\r\n").fault, ReadingFault::Underflow);
    EXPECT_EQ(ParseMeterReply("-0,000000000000000000001E-310\r\n").fault, ReadingFault::Underflow);
    EXPECT_EQ(ParseMeterReply("+100000000000000000000E-430\r\n").fault, ReadingFault::Underflow);
    EXPECT_EQ(ParseMeterReply("+0,001E+311\r\n").fault, ReadingFault::Overload);
    EXPECT_EQ(ReplyForDisplay(" \x01garbage\xff\r\n"), "?garbage?");
    EXPECT_EQ(ReplyForDisplay(std::string(500, 'x')).size(), 40u);
}

// Replies longer than 40 characters, as a meter that pads them sends them: read
// whole, they give their own number, never one read from their first part.
TEST(MeterReading, ALongReplyIsReadWholeOrRefused) {
    const std::string zeros(40, '0');
    const struct {
        std::string reply;
        double volts;
    } readings[] = {
        {"+1," + zeros + "E-01\r\n", 0.1},  // 46 characters before the line end
        {"+0000000000" + zeros + "2,49912345E-01\r\n", 0.249912345},
        {"-4,9991234500000000000000000000000000000000000E-02\r\n", -0.049991234500},
        {"        +2,49912345E-01" + std::string(30, ' ') + "\r\n", 0.249912345},
    };
    for (const auto& r : readings) {
        const MeterReading reading = ParseMeterReply(r.reply);
        EXPECT_EQ(reading.fault, ReadingFault::None) << r.reply;
        EXPECT_DOUBLE_EQ(reading.volts, r.volts) << r.reply;
    }
    EXPECT_EQ(ParseMeterReply("+9,9" + zeros + "E+37\r\n").fault, ReadingFault::Overload);
    EXPECT_EQ(ParseMeterReply("+2,49912345" + zeros + "E-01 V\r\n").fault,
              ReadingFault::NotANumber);
    EXPECT_EQ(ParseMeterReply("+2,4991234500000000000000000000000000E-01\x01\r\n").fault,
              ReadingFault::NotANumber);
}

// A meter that answers every measurement with the next of the given replies.
class RunTest : public ::testing::Test, public RunObserver {
  protected:
    void selectCell(int row, int column) override { selected.emplace_back(row, column); }
    void showReading(int row, int column, double volts, bool differs) override {
        shown.push_back({row, column, volts, differs});
    }
    void processEvents() override {
        ++eventPasses;
        if (eventPasses == stopAfterStep) stop = true;
    }
    bool stopPending() override { return stop; }

    void scriptMeter(const std::vector<std::string>& readings) {
        port.open = false;
        port.replies = {{}, {"+0,\"No error\"\r\n"}, {"+0,\"No error\"\r\n"}};
        for (const auto& r : readings) port.replies.push_back({r});
    }
    RunResult run() { return RunLinearity(meter, usb, "Q270S9-00417", data, *this); }
    std::vector<std::string> meterLines() const {
        std::vector<std::string> lines;
        for (const auto& w : port.written)
            if (w.rfind("MEAS", 0) != 0) lines.push_back(w);
        return lines;
    }

    struct Shown {
        int row, column;
        double volts;
        bool differs;
    };
    FakeClock clock;
    FakeMeterPort port{clock};
    MeterLink meter{port, clock};
    struct TimedUsb : FakeUsb {
        int exchange(const std::string& serial, std::string& line) override {
            if (onExchange) onExchange(line);
            return FakeUsb::exchange(serial, line);
        }
        std::function<void(const std::string&)> onExchange;
    } usb;
    ResultsData data;
    std::vector<std::pair<int, int>> selected;
    std::vector<Shown> shown;
    int eventPasses = 0;
    int stopAfterStep = -1;
    bool stop = false;
};

std::vector<std::string> readingsFor(int steps) {
    std::vector<std::string> r;
    for (int i = 1; i <= steps; ++i) {
        r.push_back("+2.5000" + std::to_string(10 + i) + "E-01\r\n");
        r.push_back("+2.5000" + std::to_string(10 + i) + "E-01\r\n");
    }
    return r;
}

TEST_F(RunTest, CompleteRunSendsTheTwentyStepLinesAndStoresBothReadings) {
    std::vector<std::string> readings = readingsFor(20);
    readings[2] = "+2.50001000E-01\r\n";  // step 2: 2.1E-6 V apart
    readings[3] = "+2.50003100E-01\r\n";
    readings[4] = "+2.0E-06\r\n";  // step 3: exactly 2E-6 V apart, which is not "more"
    readings[5] = "+0.0E+00\r\n";
    scriptMeter(readings);
    const auto start = clock.now();
    const RunResult result = run();
    EXPECT_EQ(result.end, RunEnd::Complete);
    EXPECT_EQ(result.steps, 20);
    EXPECT_TRUE(result.message.empty());

    const auto lines = AllStepLines();
    ASSERT_EQ(usb.sent.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(usb.sent[i], lines[i]);
    EXPECT_EQ(usb.serials.front(), "Q270S9-00417");
    EXPECT_EQ(meterLines(),
              (std::vector<std::string>{"SYST:REM\n", "SYST:ERR?\n", "SYST:ERR?\n", "SYST:LOC\n"}));
    EXPECT_EQ(port.written.size(), 44u);
    EXPECT_FALSE(port.open);

    EXPECT_FLOAT_EQ(data.Mw1[1], 0.2500011f);
    EXPECT_FLOAT_EQ(data.Mw2[20], 0.2500030f);
    EXPECT_NEAR(data.MwDiff[2], -2.1e-6, 0.05e-6);
    ASSERT_EQ(shown.size(), 40u);
    EXPECT_TRUE(shown[3].differs);
    EXPECT_FALSE(shown[5].differs);
    EXPECT_FALSE(shown[1].differs);
    EXPECT_EQ(selected.front(), std::make_pair(1, 1));
    EXPECT_EQ(selected[1], std::make_pair(1, 2));
    EXPECT_EQ(selected.back(), std::make_pair(20, 2));
    EXPECT_EQ(eventPasses, 20);
    // Open 0.5 s, twenty steps of 0.6 + 0.7 s, close 0.2 s, plus the replies.
    EXPECT_GE(seconds(clock.now() - start), 26.7);
    EXPECT_LT(seconds(clock.now() - start), 27.0);
}

TEST_F(RunTest, EachStepPausesAfterItsLineAndBetweenItsTwoReadingsOnly) {
    // When each line went to either instrument, in seconds on the run's clock.
    std::vector<std::pair<std::string, double>> timeline;
    const auto start = clock.now();
    usb.onExchange = [&](const std::string& line) {
        timeline.emplace_back(line, seconds(clock.now() - start));
    };
    port.onWrite = [&](const std::string& line) {
        if (line.rfind("MEAS", 0) == 0) timeline.emplace_back(line, seconds(clock.now() - start));
    };
    scriptMeter(readingsFor(kStepCount));
    ASSERT_EQ(run().end, RunEnd::Complete);
    ASSERT_EQ(timeline.size(), std::size_t(3 * kStepCount));
    for (int step = 1; step <= kStepCount; ++step) {
        SCOPED_TRACE(step);
        const auto& line = timeline[std::size_t(3 * step - 3)];
        const auto& first = timeline[std::size_t(3 * step - 2)];
        const auto& second = timeline[std::size_t(3 * step - 1)];
        EXPECT_EQ(line.first.substr(0, 3), "K1Y");
        EXPECT_EQ(first.first, "MEAS:VOLT:DC? 1,1E-6\n");
        // 0.6 s from the step line to the first query; the reply (5 ms), then
        // 0.7 s to the second; the next step's line follows its reply at once.
        EXPECT_NEAR(first.second - line.second, 0.6, 1e-6);
        EXPECT_NEAR(second.second - first.second, 0.705, 1e-6);
        if (step < kStepCount) {
            EXPECT_NEAR(timeline[std::size_t(3 * step)].second - second.second, 0.005, 1e-6);
        }
    }
}

TEST_F(RunTest, APortThatThrowsMidRunIsClosedAndTheFailurePassedOn) {
    for (const bool recovers : {true, false}) {
        SCOPED_TRACE(recovers);
        scriptMeter(readingsFor(kStepCount));
        port.written.clear();
        port.pending.clear();  // what the last line of the first round brought
        int queries = 0;
        port.onWrite = [&](const std::string& line) {
            const bool measuring = line.rfind("MEAS", 0) == 0;
            if ((measuring && ++queries == 7) || (!recovers && queries >= 7))
                throw std::runtime_error("port failed");
        };
        EXPECT_THROW(run(), std::runtime_error);
        EXPECT_FALSE(port.open);
        // A line that still works takes the meter back to local on the way out.
        EXPECT_EQ(port.written.back() == "SYST:LOC\n", recovers);
    }
}

TEST_F(RunTest, StopAfterAStepEndsTheRunAndStillReturnsTheMeterToLocal) {
    scriptMeter(readingsFor(20));
    stopAfterStep = 3;
    const RunResult result = run();
    EXPECT_EQ(result.end, RunEnd::Stopped);
    EXPECT_EQ(result.steps, 3);
    EXPECT_EQ(usb.sent.size(), 3u);
    EXPECT_EQ(meterLines().back(), "SYST:LOC\n");
    EXPECT_FALSE(port.open);
    EXPECT_EQ(data.Mw2[4], 0.0f);
}

TEST_F(RunTest, FailingReadingsEndTheRunWithAMessageAndKeepWhatWasRead) {
    struct Case {
        std::size_t index;  // reading 0..39 that fails
        std::string reply;
        const char* words;
    };
    for (const Case& c : {Case{4, "", "No reply from the multimeter (R 114, reading 1)"},
                          Case{5, "", "No reply from the multimeter (R 114, reading 2)"},
                          Case{0, "+9.90000000E+37\r\n", "Multimeter overload (R 116, reading 1)"},
                          Case{7, "-222,\"Data out of range\"\r\n", "is not a number"},
                          Case{9, "+1.0E-400\r\n",
                               "below the smallest number: \"+1,0E-400\" (R 112, reading 2)"}}) {
        SCOPED_TRACE(c.words);
        std::vector<std::string> readings = readingsFor(20);
        readings.resize(c.index);
        if (!c.reply.empty()) readings.push_back(c.reply);
        data = ResultsData();
        usb.sent.clear();
        port.written.clear();
        scriptMeter(readings);
        const RunResult result = run();
        EXPECT_EQ(result.end, RunEnd::MeterFailed);
        EXPECT_NE(result.message.find(c.words), std::string::npos) << result.message;
        EXPECT_EQ(result.steps, static_cast<int>(c.index / 2));
        EXPECT_EQ(usb.sent.size(), c.index / 2 + 1);
        EXPECT_EQ(meterLines().back(), "SYST:LOC\n");
        EXPECT_FALSE(port.open);
        if (c.index >= 2) {
            EXPECT_NE(data.Mw2[1], 0.0f);
        }
    }
}

TEST_F(RunTest, MissingMeterPortSendsNothingToEitherInstrument) {
    port.openable = false;
    const RunResult result = run();
    EXPECT_EQ(result.end, RunEnd::MeterPortMissing);
    EXPECT_FALSE(result.message.empty());
    EXPECT_TRUE(usb.sent.empty());
    EXPECT_TRUE(port.written.empty());
}

}  // namespace
}  // namespace q270
