// The results window's run files: a file opened shows the same figures the
// tool prints and can be optimised again; a measured run saved keeps what the
// meter sent; a refused file leaves the window as it was.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "application.h"
#include "bench_session.h"
#include "frm_results.h"
#include "skip_clock.h"
#include "tool_support.h"
#include "usb_access.h"

namespace {

using namespace zdxtool::testing;
using nlohmann::json;

// A calibrator that answers everything and tells its ID.
class FakeUsb : public q270::UsbAccess {
  public:
    void probe() override {}
    q270::UsbDeviceInfo deviceInfo(const std::string& serial, const std::string&) override {
        return {0, serial, "ZDX", "Q270 Calibrator", "Q270S9 V1.18"};
    }
    int exchange(const std::string&, std::string& line) override {
        line = "0\r\n";
        return 0;
    }
};

class WindowFileTest : public ::testing::Test {
  protected:
    void SetUp() override { window_ = std::make_unique<q270::frmResults>(serial_, usb_, clock_); }
    std::string path(const char* name) const { return dir_.filePath(name).toStdString(); }
    QString qpath(const char* name) const { return dir_.filePath(name); }
    std::string write(const q270::RunRecord& record, const char* name = "run.json") {
        q270::WriteRunFile(path(name), record);
        return path(name);
    }
    template <typename T = QWidget>
    T* control(const char* name) {
        T* found = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    std::string cell(int row, int column) {
        return control<QTableWidget>("Results")->item(row, column)->text().toStdString();
    }
    std::string status() { return control<QLabel>("Panel1")->text().toStdString(); }

    const std::string serial_ = "Q270S9-00417";
    FakeUsb usb_;
    q270::testing::SkipClock clock_;
    std::unique_ptr<q270::frmResults> window_;
    QTemporaryDir dir_;
};

TEST_F(WindowFileTest, SaveAndOpenButtonsAreThere) {
    EXPECT_EQ(control<QPushButton>("CmdSaveRun")->text(), "Messung speichern...");
    EXPECT_EQ(control<QPushButton>("CmdOpenRun")->text(), QString::fromUtf8("Messung öffnen..."));
}

TEST_F(WindowFileTest, ASecondReadingMoreThan2MicrovoltsOffIsShownInRed) {
    q270::RunRecord record = CraftedRun();
    const auto offBy = [&](int step, double volts) {
        char text[32];
        std::snprintf(text, sizeof text, "%+.8E\r\n", record.Mw1[step].volts + volts);
        record.Mw2[step] = {text, std::strtod(text, nullptr)};
    };
    offBy(2, 2.1e-6);
    offBy(3, -2.1e-6);
    offBy(4, 1.0e-6);
    ASSERT_TRUE(window_->openRun(QString::fromStdString(write(record))));
    const auto fore = [&](int row) {
        return control<QTableWidget>("Results")
            ->item(row, q270::kColReading2)
            ->data(q270::kForeValueRole)
            .value<quint32>();
    };
    EXPECT_EQ(fore(2), 0x0000FFu);
    EXPECT_EQ(fore(3), 0x0000FFu);
    EXPECT_EQ(fore(4), 0u);
    EXPECT_EQ(fore(5), 0u);
}

TEST_F(WindowFileTest, AnOpenedRunShowsWhatTheToolPrints) {
    q270::RunRecord record = CraftedRun();
    record.ShuntSel[4] = 2;
    record.ShuntSel[17] = 5;
    const std::string file = write(record);
    ASSERT_TRUE(window_->openRun(QString::fromStdString(file)));

    EXPECT_FALSE(control<QPushButton>("CmdOpt")->isHidden());
    EXPECT_FALSE(control("Picture1")->isHidden());
    EXPECT_EQ(cell(4, 3), "1,0 MOhm");
    EXPECT_EQ(cell(17, 3), "  301 KOhm");
    EXPECT_EQ(cell(0, 9), "d% tst");
    EXPECT_EQ(cell(1, 2), q270::ReadingText(record.Mw2[1].volts, '.'));
    EXPECT_NE(status().find("Q270S9-00417"), std::string::npos) << status();

    const ToolRun run = RunTool({"evaluate", file});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json shown = json::parse(run.out);
    const q270::ResultsData& data = window_->data();
    for (int j = 1; j <= 10; ++j) {
        EXPECT_EQ(static_cast<float>(shown["untrimmed"]["LinErr"][j - 1].get<double>()),
                  data.LinErrRef[std::size_t(j)]);
        EXPECT_EQ(static_cast<float>(shown["trimmed"]["LinErr"][j - 1].get<double>()),
                  data.LinErr[std::size_t(j)]);
    }
    EXPECT_EQ(shown["trimmed"]["ErrSq"].get<double>(), data.ErrSq);
    EXPECT_EQ(shown["trimmed"]["DevDown"].get<double>(), data.DevDown);
}

TEST_F(WindowFileTest, AnOpenedRunIsOptimisedAsTheToolOptimisesIt) {
    const std::string file = write(CraftedRun());
    ASSERT_TRUE(window_->openRun(QString::fromStdString(file)));
    QTest::mouseClick(control<QPushButton>("CmdOpt"), Qt::LeftButton);
    const ToolRun run = RunTool({"optimise", file});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json shown = json::parse(run.out);
    for (int k = 0; k <= 4; ++k) {
        const std::string name = "OptiL1_" + std::to_string(k);
        EXPECT_EQ(control<QLabel>(name.c_str())->text().toStdString(),
                  shown["solutions"][std::size_t(k)]["line"].get<std::string>());
    }
}

TEST_F(WindowFileTest, SavingAnOpenedRunKeepsItWithTheTrimChoicesOfTheTable) {
    q270::RunRecord record = CraftedRun();
    record.meterId = "BENCH,DMM,0,1.0";
    record.ShuntSel[7] = 4;
    ASSERT_TRUE(window_->openRun(QString::fromStdString(write(record))));
    ASSERT_TRUE(window_->saveRun(qpath("again.json")));
    const q270::RunRecord back = q270::ReadRunFile(path("again.json"));
    EXPECT_EQ(back.time, record.time);
    EXPECT_EQ(back.meterId, record.meterId);
    EXPECT_EQ(back.calibratorId, record.calibratorId);
    EXPECT_EQ(back.ShuntSel, record.ShuntSel);
    for (int i = 1; i <= q270::kStepCount; ++i) EXPECT_EQ(back.Mw2[i].text, record.Mw2[i].text);
    EXPECT_EQ(ReadText(path("again.json")), ReadText(path("run.json")));
}

TEST_F(WindowFileTest, ARefusedFileLeavesTheWindowAsItWas) {
    const q270::RunRecord record = CraftedRun();
    ASSERT_TRUE(window_->openRun(QString::fromStdString(write(record))));
    const q270::ResultsData before = window_->data();
    const std::string table = window_->tableText();
    for (const BadFile& bad : BadFiles()) {
        SCOPED_TRACE(bad.name);
        WriteText(path("bad.json"), bad.text);
        EXPECT_FALSE(window_->openRun(qpath("bad.json")));
        EXPECT_NE(status().find(bad.field), std::string::npos) << status();
        EXPECT_EQ(window_->data().Mw2, before.Mw2);
        EXPECT_EQ(window_->data().LinErr, before.LinErr);
        EXPECT_EQ(window_->tableText(), table);
        EXPECT_FALSE(control<QPushButton>("CmdOpt")->isHidden());
    }
}

TEST_F(WindowFileTest, NothingIsSavedWithoutACompleteRun) {
    EXPECT_FALSE(window_->saveRun(qpath("run.json")));
    EXPECT_FALSE(std::filesystem::exists(path("run.json")));
    EXPECT_EQ(status(), "No complete run to save");
}

// A measured run against a bench: the saved file holds the meter's replies.
TEST(WindowMeasuredRunTest, ASavedRunKeepsTheMetersRepliesAndTheCalibratorsId) {
    zdx::bench::BenchSession bench(
        R"({"usb": [{"kind": "Q270", "serial": "Q270S9-00417", "id": "Q270S9 V1.18",
                     "divider": {"deviations_ppm": [5, -5, 10, -10, 0, 0, 20, -20, 3, 4,
                                                    -7, 8, 1, 2, -3, -4, 6, -6, 9, -9]}}],
            "serial": [{"com": 1, "kind": "meter", "calibrator": "Q270S9-00417",
                        "reading_ms": 5, "settle_ms": 0, "noise_uv": 0.5}]})");
    bench.exportEnvironment();
    const std::string serial = "Q270S9-00417";
    q270::LibraryUsbAccess usb;
    q270::testing::SkipClock clock;
    q270::frmResults window(serial, usb, clock);
    QTemporaryDir dir;
    window.Scan();
    ASSERT_EQ(window.lastRun().end, q270::RunEnd::Complete) << window.lastRun().message;
    ASSERT_TRUE(window.saveRun(dir.filePath("run.json")));

    const q270::RunRecord record = q270::ReadRunFile(dir.filePath("run.json").toStdString());
    EXPECT_EQ(record.calibratorSerial, "Q270S9-00417");
    EXPECT_EQ(record.calibratorId, "Q270S9 V1.18");
    EXPECT_FALSE(record.meterId.has_value());
    std::vector<std::string> replies;
    for (const auto& entry : bench.traffic())
        if (entry.device == "COM1" && entry.direction == "out" && entry.line.rfind("+0,", 0) != 0)
            replies.push_back(entry.line + "\r\n");
    ASSERT_EQ(replies.size(), 40u);
    for (int step = 1; step <= q270::kStepCount; ++step) {
        EXPECT_EQ(record.Mw1[step].text, replies[std::size_t(2 * step - 2)]);
        EXPECT_EQ(record.Mw2[step].text, replies[std::size_t(2 * step - 1)]);
        EXPECT_EQ(static_cast<float>(record.Mw2[step].volts), window.data().Mw2[step]);
    }

    // Saved with the bench's meter ID set: the file names the meter, as the
    // archive does.
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                       QString::fromLatin1(q270::kQ270Application));
    settings.setValue(QStringLiteral("Archive/MeterId"), QStringLiteral("DMM-07"));
    settings.sync();
    const bool saved = window.saveRun(dir.filePath("named.json"));
    settings.remove(QStringLiteral("Archive/MeterId"));
    settings.sync();
    ASSERT_TRUE(saved);
    EXPECT_EQ(q270::ReadRunFile(dir.filePath("named.json").toStdString()).meterId,
              std::optional<std::string>("DMM-07"));
}

}  // namespace
