// The run file on its own: what is written reads back the same, what a bad
// file holds is refused whole with the file and the field named, and a write
// either replaces the file whole or leaves it as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "linearity_run.h"
#include "meter_reading.h"
#include "reply_recorder.h"
#include "tool_support.h"

namespace {

using namespace zdxtool::testing;

class RunFileTest : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return dir_.filePath(name).toStdString(); }
    QTemporaryDir dir_;
};

TEST_F(RunFileTest, WrittenRunReadsBackUnchanged) {
    q270::RunRecord record = CraftedRun();
    for (int step = 1; step <= 6; ++step) record.ShuntSel[step] = std::int16_t(step - 1);
    record.ShuntSel[20] = 5;
    record.meterId = "HEWLETT-PACKARD,34401A,0,11-5-2";
    q270::WriteRunFile(path("run.json"), record);
    const q270::RunRecord back = q270::ReadRunFile(path("run.json"));
    for (int i = 1; i <= q270::kStepCount; ++i) {
        EXPECT_EQ(back.Mw1[i].text, record.Mw1[i].text) << i;
        EXPECT_EQ(back.Mw1[i].volts, record.Mw1[i].volts) << i;
        EXPECT_EQ(back.Mw2[i].text, record.Mw2[i].text) << i;
        EXPECT_EQ(back.Mw2[i].volts, record.Mw2[i].volts) << i;
    }
    EXPECT_EQ(back.ShuntSel, record.ShuntSel);
    EXPECT_EQ(back.calibratorSerial, "Q270S9-00417");
    EXPECT_EQ(back.calibratorId, "Q270S9 V1.18");
    EXPECT_EQ(back.meterId, record.meterId);
    EXPECT_EQ(back.time, record.time);
    // The document says what it is before anything else.
    const std::string text = ReadText(path("run.json"));
    EXPECT_LT(text.find("\"format\": \"zdx-q270-run\""), text.find("\"steps\""));
    EXPECT_NE(text.find("\"version\": 1"), std::string::npos);
    EXPECT_NE(text.find("\"Mw1_text\": \"+"), std::string::npos);
    EXPECT_NE(text.find("E-01\\r\\n\""), std::string::npos) << "the reply's line end is kept";
}

TEST_F(RunFileTest, UnknownMeterIsNullAndTimesInIso8601Forms) {
    q270::RunRecord record = CraftedRun();
    for (const char* time : {"2026-12-08T02:15:00Z", "2026-12-08T03:15:00+01:00",
                             "2026-12-08T02:15:00.250Z", "2026-12-07T21:15:00-05:00"}) {
        record.time = time;
        const q270::RunRecord back = q270::ParseRunFile(q270::RunFileText(record), "t.json");
        EXPECT_EQ(back.time, time);
        EXPECT_FALSE(back.meterId.has_value());
    }
    EXPECT_NE(q270::RunFileText(record).find("\"id\": null"), std::string::npos);
    const std::string now = q270::CurrentTimeIso8601();
    record.time = now;
    EXPECT_EQ(q270::ParseRunFile(q270::RunFileText(record), "t.json").time, now);
    EXPECT_EQ(now.size(), 20u);
}

TEST_F(RunFileTest, EveryBadFileIsRefusedNamingFileAndField) {
    for (const BadFile& bad : BadFiles()) {
        SCOPED_TRACE(bad.name);
        const std::string file = path("bad.json");
        WriteText(file, bad.text);
        try {
            q270::ReadRunFile(file);
            ADD_FAILURE() << "read without complaint";
        } catch (const q270::RunFileError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind(file + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(bad.field), std::string::npos) << message;
        }
    }
}

TEST_F(RunFileTest, MissingAndOversizedFilesAreRefused) {
    EXPECT_THROW(q270::ReadRunFile(path("none.json")), q270::RunFileError);
    WriteText(path("big.json"), std::string(2 << 20, ' ') + "{}");
    try {
        q270::ReadRunFile(path("big.json"));
        ADD_FAILURE();
    } catch (const q270::RunFileError& error) {
        EXPECT_NE(std::string(error.what()).find("too large"), std::string::npos);
    }
}

TEST_F(RunFileTest, ARecordThatIsNoRunIsNotWrittenAndTheOldFileStays) {
    const std::string file = path("run.json");
    WriteText(file, "earlier contents");
    q270::RunRecord record = CraftedRun();
    record.Mw2[3].volts = 0;
    record.Mw2[3].text = "+0.00000000E+00\r\n";
    EXPECT_THROW(q270::WriteRunFile(file, record), q270::RunFileError);
    record = CraftedRun();
    record.ShuntSel[4] = 6;
    EXPECT_THROW(q270::WriteRunFile(file, record), q270::RunFileError);
    EXPECT_EQ(ReadText(file), "earlier contents");
    EXPECT_FALSE(std::filesystem::exists(file + ".part"));
    // A folder that does not exist: nothing anywhere.
    EXPECT_THROW(q270::WriteRunFile(path("no/such/run.json"), CraftedRun()), q270::RunFileError);
}

TEST_F(RunFileTest, ResultsDataOfARecordHasTheReadingsOnSteps1To20) {
    q270::RunRecord record = CraftedRun();
    record.ShuntSel[1] = 2;
    record.Mw1[6].text = "+2.49000000E-01\r\n";
    record.Mw1[6].volts = 0.249;
    const q270::ResultsData data = q270::ToResultsData(record);
    EXPECT_EQ(data.Mw2[1], static_cast<float>(record.Mw2[1].volts));
    EXPECT_EQ(data.Mw2[20], static_cast<float>(record.Mw2[20].volts));
    EXPECT_EQ(data.MwDiff[6], 0.249f - data.Mw2[6]);
    EXPECT_EQ(data.ShuntSel[1], 2);
    EXPECT_EQ(data.Mw2[0], 0.0f);
    EXPECT_EQ(data.Mw2[21], 0.0f);
}

// A scripted meter port: each measurement query is answered by the next reply,
// in two pieces, with a stray byte after the line end.
class ScriptedPort : public q270::MeterPort {
  public:
    void openWith(int, const QString&) override { open_ = true; }
    bool isOpen() const override { return open_; }
    void close() override { open_ = false; }
    void writeText(std::string_view text) override {
        if (text.rfind("MEAS", 0) == 0) pending_ = {"+2.5", "0000000E-01\r\nX"};
        if (text.rfind("SYST:ERR?", 0) == 0) pending_ = {"+0,\"No error\"\r\n"};
    }
    int waitingCount() override { return pending_.empty() ? 0 : 1; }
    std::string readWaiting() override {
        if (pending_.empty()) return {};
        std::string piece = pending_.front();
        pending_.erase(pending_.begin());
        return piece;
    }
    bool waitForData(int) override { return !pending_.empty(); }

  private:
    bool open_ = false;
    std::vector<std::string> pending_;
};

TEST_F(RunFileTest, RecordOfARunFromTheMetersRepliesOnTheSameStepsAsTheData) {
    std::vector<std::string> replies;
    for (int i = 0; i < 40; ++i)
        replies.push_back(i % 2 ? "+2.50001000E-01\r\n" : "+2.49999000E-01\r\n");
    replies[38] = "+2.49000000E-01\r\n";  // step 20's first reading
    q270::ResultsData data;
    data.ShuntSel[20] = 3;
    ScriptedPort port;
    q270::ReplyRecorder recorder(port);
    recorder.openWith(1, "9600,N,8,1");
    recorder.setReplies(replies);
    const q270::RunRecord record = q270::RecordOfRun(recorder, data, "Q270S9-00417", "V1.18");
    EXPECT_EQ(record.Mw1[1].text, "+2.49999000E-01\r\n");
    EXPECT_DOUBLE_EQ(record.Mw1[1].volts, 0.249999);
    EXPECT_DOUBLE_EQ(record.Mw2[20].volts, 0.250001);
    EXPECT_DOUBLE_EQ(record.Mw1[20].volts, 0.249);
    EXPECT_EQ(record.ShuntSel[20], 3);
    EXPECT_EQ(record.calibratorSerial, "Q270S9-00417");
    EXPECT_EQ(record.calibratorId, "V1.18");
    EXPECT_EQ(record.time, recorder.startedAt());
    EXPECT_EQ(record.meterId, std::nullopt);

    replies.pop_back();
    EXPECT_THROW(q270::MakeRunRecord(replies, data), q270::RunFileError);
    replies.push_back("+#.~%\r\n");
    EXPECT_THROW(q270::MakeRunRecord(replies, data), q270::RunFileError);
}

TEST(ReplyRecorderTest, KeepsEachMeasurementReplyAsSentAndForgetsThemAtTheNextOpen) {
    ScriptedPort port;
    q270::ReplyRecorder recorder(port);
    q270::MeterLink meter(recorder, q270::SteadyClock::instance());
    recorder.openWith(1, "9600,N,8,1");
    EXPECT_EQ(recorder.runs(), 1);
    meter.ReadHP("SYST:ERR?");
    EXPECT_EQ(meter.ReadHP(q270::kMeasureQuery), "+2,50000000E-01\r\nX");
    meter.ReadHP(q270::kMeasureQuery);
    ASSERT_EQ(recorder.replies().size(), 2u);
    EXPECT_EQ(recorder.replies()[0], "+2.50000000E-01\r\nX") << "the text before the comma";
    EXPECT_EQ(recorder.startedAt().size(), 20u);

    recorder.openWith(1, "9600,N,8,1");
    EXPECT_EQ(recorder.runs(), 2);
    EXPECT_TRUE(recorder.replies().empty());
}

}  // namespace
