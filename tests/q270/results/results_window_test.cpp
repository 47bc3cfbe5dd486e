// The linearity measurement through the windows: the hand-over, a complete
// run against the bench's known divider, stops, failing meters, the trim
// choice and the copy.
#include <QClipboard>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSerialPort>
#include <QStatusBar>
#include <QTimer>

#include "results_fixture.h"
#include "step_sequence.h"

namespace q270::testing {
namespace {

// Runs `action` on each pass of window events until it returns true.
class DuringRun {
  public:
    explicit DuringRun(std::function<bool()> action) : action_(std::move(action)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!done_ && action_()) done_ = true;
        });
        timer_.start(0);
    }

  private:
    std::function<bool()> action_;
    QTimer timer_;
    bool done_ = false;
};

int stepsMeasured(const frmResults* r) {
    int n = 0;
    for (int i = 1; i <= 20; ++i) n += r->data().Mw2[std::size_t(i)] != 0.0f ? 1 : 0;
    return n;
}

using Measurement = ResultsTest;

TEST_F(Measurement, CompleteRunMatchesTheBenchDividerAndKeepsTheViewUp) {
    openOnline();
    bench_->clearTraffic();
    measure();

    ASSERT_NE(results(), nullptr);
    EXPECT_EQ(results()->windowTitle(), QStringLiteral("Linearitätsmessung"));
    EXPECT_EQ(results()->lastRun().end, RunEnd::Complete);
    EXPECT_EQ(state_->LinkState, 3);
    EXPECT_TRUE(window_->isHidden());
    EXPECT_TRUE(results()->isVisible());

    // Display tolerances: single-precision rounding (about 0.2 ppm) plus the
    // rounding of the shown figure.
    // The cycle that served the request sent its settings first; then the
    // calibrator got the twenty step lines and nothing else.
    const auto lines = AllStepLines();
    auto toQ270 = linesTo(kMeasuredSerial);
    ASSERT_EQ(toQ270.size(), 22u);
    EXPECT_EQ(toQ270[0].substr(0, 3), "K1A");
    EXPECT_EQ(toQ270[1].substr(0, 3), "K1B");
    for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(toQ270[i + 2], lines[i]);
    const auto meter = meterLines();
    ASSERT_EQ(meter.size(), 44u);
    EXPECT_EQ(meter[0], "SYST:REM");
    EXPECT_EQ(meter[1], "SYST:ERR?");
    EXPECT_EQ(meter[2], "SYST:ERR?");
    EXPECT_EQ(count(meter, "MEAS:VOLT:DC? 1,1E-6"), 40);
    EXPECT_EQ(meter.back(), "SYST:LOC");

    const DividerTruth truth;
    for (int i = 1; i <= 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cell(i, 0), "R " + std::to_string(117 - i));
        EXPECT_NEAR(results()->data().DevR[std::size_t(i)], truth.devR(i), 0.2);
        EXPECT_NEAR(cellNumber(i, 6), truth.devR(i), 0.51);
        EXPECT_EQ(cellFore(i, 2), 0u);
    }
    for (int i = 1; i <= 10; ++i)
        EXPECT_NEAR(results()->data().DevRS[std::size_t(i)], truth.devRS(i), 0.2) << i;
    for (int j = 1; j <= 10; ++j) {
        EXPECT_NEAR(results()->data().LinErr[std::size_t(j)], truth.linErr(j), 0.2) << j;
        EXPECT_NEAR(cellNumber(11 - j, 8), truth.linErr(j), 0.25) << j;
    }
    EXPECT_TRUE(resultsControl<QPushButton>("CmdOpt")->isVisible());
    EXPECT_TRUE(resultsControl("Picture1")->isVisible());
    EXPECT_FALSE(resultsControl("minppm")->isHidden());

    // A cycle while the view is up sends nothing.
    bench_->clearTraffic();
    cycle();
    EXPECT_TRUE(linesTo(kMeasuredSerial).empty());
    EXPECT_EQ(state_->LinkState, 3);

    // A status-bar click closes the view; the panel is back and sends again.
    QTest::mouseClick(resultsControl("Panel1"), Qt::LeftButton);
    EXPECT_EQ(state_->StopRequest, 1);
    cycle();
    EXPECT_EQ(state_->LinkState, 2);
    EXPECT_EQ(state_->ResultsAvailable, -1);
    EXPECT_TRUE(results()->isHidden());
    EXPECT_TRUE(table()->isHidden());
    EXPECT_TRUE(window_->isVisible());
    cycle();
    EXPECT_EQ(count(linesTo(kMeasuredSerial), "K1A"), 1);

    // A right press on "Spez" brings the last table back beside the usable panel.
    QTest::mousePress(control("Commandsp"), Qt::RightButton);
    EXPECT_EQ(state_->LinkState, 4);
    cycle();
    EXPECT_EQ(state_->LinkState, 3);
    EXPECT_TRUE(results()->isVisible());
    EXPECT_FALSE(table()->isHidden());
    EXPECT_TRUE(window_->isVisible());
    EXPECT_NEAR(cellNumber(10, 8), truth.linErr(1), 0.25);
}

TEST_F(Measurement, NoisyMeterGivesTheDividerWithinItsNoise) {
    load(measurementScenario(R"(, "noise_uv": 0.5, "seed": 11)"));
    openOnline();
    measure();
    ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    // 0.5 uV on 0.25 V is 2 ppm a reading; five sigma.
    const DividerTruth truth;
    for (int i = 1; i <= 20; ++i)
        EXPECT_NEAR(results()->data().DevR[std::size_t(i)], truth.devR(i), 10.0) << i;
    for (int j = 1; j <= 10; ++j)
        EXPECT_NEAR(results()->data().LinErr[std::size_t(j)], truth.linErr(j), 15.0) << j;
    bool anyNoise = false;
    for (int i = 1; i <= 20; ++i)
        anyNoise =
            anyNoise || std::fabs(results()->data().DevR[std::size_t(i)] - truth.devR(i)) > 0.3;
    EXPECT_TRUE(anyNoise);
}

TEST_F(Measurement, StopDuringTheRunLeavesAPartialTableAndClosesTheView) {
    openOnline();
    bench_->clearTraffic();
    DuringRun stopper([this] {
        if (!results() || stepsMeasured(results()) < 3) return false;
        QTest::mouseClick(resultsControl("Panel1"), Qt::LeftButton);
        return true;
    });
    measure();
    EXPECT_EQ(results()->lastRun().end, RunEnd::Stopped);
    EXPECT_EQ(results()->lastRun().steps, 3);
    EXPECT_EQ(count(linesTo(kMeasuredSerial), "K1Y"), 3);
    EXPECT_EQ(meterLines().back(), "SYST:LOC");
    EXPECT_FALSE(cell(3, 2).empty());
    EXPECT_TRUE(cell(4, 1).empty());
    EXPECT_TRUE(cell(1, 6).empty());  // no evaluation
    EXPECT_TRUE(resultsControl<QPushButton>("CmdOpt")->isHidden());
    // The stop also closed the view, in the same cycle.
    EXPECT_EQ(state_->LinkState, 2);
    EXPECT_EQ(state_->StopRequest, 0);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(results()->isHidden());
}

TEST_F(Measurement, ClosingTheResultsWindowDuringARunStopsItCleanly) {
    openOnline();
    DuringRun closer([this] {
        if (!results() || stepsMeasured(results()) < 2) return false;
        results()->close();
        return true;
    });
    measure();
    EXPECT_EQ(results()->lastRun().end, RunEnd::Stopped);
    EXPECT_EQ(meterLines().back(), "SYST:LOC");
    EXPECT_EQ(state_->LinkState, 2);
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(Measurement, ClosingTheProgramDuringARunEndsTheRunFirst) {
    openOnline();
    DuringRun closer([this] {
        if (!results() || stepsMeasured(results()) < 2) return false;
        window_->close();
        return true;
    });
    measure();
    EXPECT_EQ(results()->lastRun().end, RunEnd::Stopped);
    EXPECT_EQ(meterLines().back(), "SYST:LOC");
    // The close went through once the run had ended: settings stored, both windows gone.
    EXPECT_FALSE(window_->isVisible());
    EXPECT_FALSE(results()->isVisible());
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "ZDX", "ZDXKalQ270");
    EXPECT_TRUE(store.contains("Properties/Connection"));
}

TEST_F(Measurement, StopPendingBeforeTheRunEndsItAfterTheFirstStep) {
    openOnline();
    bench_->clearTraffic();
    QTest::mouseClick(control("Panel1"), Qt::LeftButton);  // the main window's status bar
    EXPECT_EQ(state_->StopRequest, 1);
    measure();
    EXPECT_EQ(results()->lastRun().steps, 1);
    EXPECT_EQ(count(linesTo(kMeasuredSerial), "K1Y"), 1);
    EXPECT_EQ(state_->LinkState, 2);
    EXPECT_TRUE(results()->isHidden());
}

TEST_F(Measurement, RightPressOnSpezBeforeAnyViewWasClosedDoesNothing) {
    openOnline();
    QTest::mousePress(control("Commandsp"), Qt::RightButton);
    EXPECT_EQ(state_->LinkState, 2);
    cycle();
    EXPECT_EQ(results(), nullptr);
}

TEST_F(Measurement, UsbFailureInTheCycleOfTheRequestIsOverriddenByTheRun) {
    openOnline();
    bench_->unplug(kMeasuredSerial);
    measure();
    // The run started although the settings exchange of that cycle failed.
    ASSERT_NE(results(), nullptr);
    EXPECT_EQ(state_->LinkState, 3);
    // Without the calibrator the first step line goes nowhere: the run ends
    // there, naming it, before the meter reads a voltage no step set.
    EXPECT_EQ(results()->lastRun().end, RunEnd::CalibratorFailed);
    EXPECT_EQ(count(meterLines(), "MEAS:VOLT:DC?"), 0);
    EXPECT_EQ(meterLines().back(), "SYST:LOC");
    EXPECT_NE(statusText().find(kMeasuredSerial + std::string(" did not take its step line (R 116)")),
              std::string::npos)
        << statusText();
    EXPECT_TRUE(cell(1, 6).empty());
    EXPECT_TRUE(resultsControl<QPushButton>("CmdOpt")->isHidden());
}

struct MeterFaultCase {
    const char* name;
    const char* scenarioExtra;
    const char* message;
    int stepsDone;
};

class FailingMeter : public ResultsTest, public ::testing::WithParamInterface<MeterFaultCase> {};

TEST_P(FailingMeter, EndsTheRunWithAMessageAndTheMeterInLocal) {
    load(measurementScenario(GetParam().scenarioExtra));
    openOnline();
    bench_->clearTraffic();
    measure();
    EXPECT_EQ(results()->lastRun().end, RunEnd::MeterFailed);
    EXPECT_EQ(results()->lastRun().steps, GetParam().stepsDone);
    EXPECT_NE(statusText().find(GetParam().message), std::string::npos) << statusText();
    EXPECT_EQ(meterLines().back(), "SYST:LOC");
    EXPECT_TRUE(cell(1, 6).empty());
    EXPECT_TRUE(resultsControl<QPushButton>("CmdOpt")->isHidden());
    // The program stays: the view is up until the operator closes it.
    EXPECT_EQ(state_->LinkState, 3);
    QTest::mouseClick(resultsControl("Panel1"), Qt::LeftButton);
    cycle();
    EXPECT_TRUE(window_->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailingMeter,
    ::testing::Values(
        MeterFaultCase{"Silent", R"(, "faults": ["silent"])", "No reply from the multimeter", 0},
        MeterFaultCase{"Garbage", R"(, "faults": ["garbage"])", "is not a number", 0},
        MeterFaultCase{"Overload", R"(, "faults": ["overload"])", "Multimeter overload", 0},
        MeterFaultCase{"UnpluggedMidRun", R"(, "unplug_after_readings": 7)",
                       "No reply from the multimeter (R 113, reading 2)", 3}),
    [](const ::testing::TestParamInfo<MeterFaultCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(Measurement, MissingMeterPortSendsNothing) {
    openOnline();
    const QByteArray saved = qgetenv("ZDX_COM1");
    qputenv("ZDX_COM1", "/nonexistent/meter-port");
    bench_->clearTraffic();
    measure();
    qputenv("ZDX_COM1", saved);
    EXPECT_EQ(results()->lastRun().end, RunEnd::MeterPortMissing);
    EXPECT_NE(statusText().find("Error accessing COM1"), std::string::npos) << statusText();
    EXPECT_EQ(count(linesTo(kMeasuredSerial), "K1Y"), 0);
    EXPECT_TRUE(meterLines().empty());
}

class MeasuredTable : public ResultsTest {
  protected:
    void SetUp() override {
        ResultsTest::SetUp();
        openOnline();
        measure();
        ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    }
    // Right-button release over a cell while the pop-up is answered by `answer`
    // (the item to click, or -1 to dismiss it).
    void trimChoice(int row, int column, int answer) {
        QTimer::singleShot(0, [this, answer] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            popupTitle = menu->title().toStdString();
            for (QAction* a : menu->actions())
                if (a->isChecked()) ticked.push_back(a->objectName().toStdString());
            if (answer >= 0)
                menu->findChild<QAction*>(QStringLiteral("mnu_r_%1").arg(answer))->trigger();
            menu->close();
        });
        QTest::mouseRelease(table()->viewport(), Qt::RightButton, {}, cellCentre(row, column));
    }
    std::string popupTitle;
    std::vector<std::string> ticked;
};

TEST_F(MeasuredTable, TrimChoiceThroughThePopUpShowsTheTrimmedEvaluation) {
    trimChoice(5, 3, 3);
    EXPECT_EQ(popupTitle, "Rselec");
    EXPECT_EQ(ticked, std::vector<std::string>{"mnu_r_0"});
    EXPECT_EQ(results()->data().ShuntSel[5], 3);
    EXPECT_EQ(cell(5, 3), "  750 kOhm");
    EXPECT_EQ(cellBack(5, 3), 0xE0E0E0u);
    EXPECT_EQ(cell(0, 1), "modMW V");
    EXPECT_EQ(cell(0, 9), "d% tst");
    std::array<double, 21> trims{};
    trims[5] = 750000;
    expectTrimmedViewOf(trims);
    // ZDX_TEST_SHOTS=<folder> keeps a picture of the trimmed view for a look.
    if (qEnvironmentVariableIsSet("ZDX_TEST_SHOTS"))
        results()->grab().save(qEnvironmentVariable("ZDX_TEST_SHOTS") + "/results-trimmed.png");

    // The next pop-up on that step ticks its choice; dismissing it keeps it.
    ticked.clear();
    trimChoice(5, 3, -1);
    EXPECT_EQ(ticked, std::vector<std::string>{"mnu_r_3"});
    EXPECT_EQ(results()->data().ShuntSel[5], 3);
    EXPECT_EQ(cell(5, 3), "  750 kOhm");
    trimChoice(5, 3, 0);
    EXPECT_EQ(cell(5, 3), "");
    EXPECT_EQ(cellNumber(10, 9), cellNumber(10, 8));
}

TEST_F(MeasuredTable, RightClicksOutsideTheTrimCellsAndLeftClicksOutsideCopyDoNothing) {
    const std::string before = results()->tableText();
    for (auto [row, column] : {std::pair{5, 2}, std::pair{5, 4}, std::pair{0, 3}})
        QTest::mouseRelease(table()->viewport(), Qt::RightButton, {}, cellCentre(row, column));
    QTest::mouseRelease(table()->viewport(), Qt::LeftButton, {}, cellCentre(1, 0));
    EXPECT_EQ(results()->tableText(), before);
    EXPECT_EQ(statusText(), "Stopp: hier klicken ->");
}

TEST_F(MeasuredTable, CopyPutsTwentyLinesOfNineFieldsOnTheClipboard) {
    QApplication::clipboard()->clear();
    QTest::mouseRelease(table()->viewport(), Qt::LeftButton, {}, cellCentre(0, 0));
    EXPECT_EQ(statusText(), "Copied");
    const QString text = QApplication::clipboard()->text();
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 21);  // twenty lines, each ended
    EXPECT_TRUE(lines.last().isEmpty());
    for (int i = 0; i < 20; ++i) EXPECT_EQ(lines[i].split('\t').size(), 9) << i;
    EXPECT_EQ(lines[0].split('\t')[0].toStdString(), cell(1, 1));
    EXPECT_EQ(lines[19].split('\t')[5].toStdString(), cell(20, 6));
}

TEST_F(Measurement, NumbersFollowTheUsersLocaleSeparator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    openOnline();
    measure();
    QLocale::setDefault(QLocale::c());
    EXPECT_NE(cell(1, 1).find(','), std::string::npos) << cell(1, 1);
    EXPECT_EQ(cell(1, 1).find('.'), std::string::npos) << cell(1, 1);
    EXPECT_NE(cell(10, 8).find(','), std::string::npos) << cell(10, 8);
}

}  // namespace
}  // namespace q270::testing

namespace q270::testing {
namespace {

TEST_F(MeasuredTable, WindowHasItsNamedControlsAndThePlotCanBeSaved) {
    EXPECT_EQ(resultsControl<QPushButton>("CmdOpt")->text(), QStringLiteral("Optimierung"));
    EXPECT_FALSE(resultsControl<QGroupBox>("Opti")->isEnabled());
    for (int k = 0; k < 5; ++k) {
        auto* line = resultsControl<QLabel>(QStringLiteral("OptiL1_%1").arg(k).toLatin1());
        ASSERT_NE(line, nullptr);
        EXPECT_TRUE(QFontInfo(line->font()).fixedPitch()) << k;
    }
    auto* meterPort = results()->findChild<QSerialPort*>("MSComm2");
    ASSERT_NE(meterPort, nullptr);
    EXPECT_FALSE(meterPort->isOpen());  // open only during a run
    EXPECT_EQ(meterPort->baudRate(), 9600);
    EXPECT_EQ(meterPort->parity(), QSerialPort::NoParity);
    for (const char* name : {"OptiL3", "OptiLcnt", "minppm", "maxppm", "Picture1", "Picture2"})
        EXPECT_NE(results()->findChild<QWidget*>(name), nullptr) << name;
    auto* menu = results()->findChild<QMenu*>("mnu_rsel");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("Rselec"));
    const char* captions[] = {"    offen",  "2.0 MOhm",   "1,0 MOhm",
                              "  750 kOhm", "  499 kOhm", "  301 KOhm"};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(menu->findChild<QAction*>(QStringLiteral("mnu_r_%1").arg(k))->text(),
                  QString::fromLatin1(captions[k]));
    EXPECT_EQ(table()->rowCount(), 21);
    EXPECT_EQ(table()->columnCount(), 10);
    EXPECT_EQ(cell(0, 0), "copy");
    EXPECT_EQ(cell(1, 4), " 100 ... 90");
    EXPECT_EQ(cell(11, 4), " 10 ... 0");
    EXPECT_EQ(cellBack(1, 0), 0x8000000Fu);
    // The bar between the sweeps lies on the boundary of rows 10 and 11.
    const int boundary = table()->y() + table()->rowViewportPosition(11);
    EXPECT_NEAR(resultsControl("Picture2")->y(), boundary, 2);

    QTemporaryDir dir;
    const QString file = dir.filePath("plot.png");
    ASSERT_TRUE(results()->savePlot(file));
    QImage image(file);
    EXPECT_EQ(image.size(), resultsControl("Picture1")->size());
}

TEST_F(Measurement, ResultsWindowStartsWithTheSearchOffered) {
    openOnline();
    QTest::mouseClick(control<QAbstractButton>("Commandsp"), Qt::LeftButton);
    // Created by the cycle, shown before the run begins: check the state at creation.
    DuringRun check([this] {
        if (!results()) return false;
        EXPECT_TRUE(resultsControl<QPushButton>("CmdOpt")->isHidden());
        EXPECT_EQ(statusText(), "Stopp: hier klicken ->");
        EXPECT_TRUE(resultsControl("Picture1")->isHidden());
        return true;
    });
    cycle();
}

}  // namespace
}  // namespace q270::testing
