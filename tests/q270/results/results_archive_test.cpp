// The results window and the archive: a complete run is archived once, with
// the trim choice on screen, when the operator leaves the results view;
// "Verlauf..." lists the unit's runs; "Bericht..." writes the run as a PDF.
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>

#include "frm_history.h"
#include "results_fixture.h"
#include "sql_archive.h"

namespace q270::testing {
namespace {

class ResultsArchive : public ResultsTest {
  protected:
    void SetUp() override {
        // The default archive, nothing configured, in a folder of this test's own.
        qputenv("XDG_DATA_HOME", home_.filePath(QStringLiteral("data")).toLocal8Bit());
        ResultsTest::SetUp();
        openOnline();
        measure();
        ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    }
    // 750 kOhm on step 5 through the trim pop-up.
    void chooseTrim() {
        QTimer::singleShot(0, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            menu->findChild<QAction*>(QStringLiteral("mnu_r_3"))->trigger();
            menu->close();
        });
        QTest::mouseRelease(table()->viewport(), Qt::RightButton, {}, cellCentre(5, 3));
        ASSERT_EQ(results()->data().ShuntSel[5], 3);
    }
    void leaveView() {
        QTest::mouseClick(resultsControl("Panel1"), Qt::LeftButton);
        cycle();
        results()->waitForArchive();
        QCoreApplication::processEvents();
    }
    std::vector<ArchivedRun> archived() {
        return SqlArchive(DefaultArchiveSettings()).history(kMeasuredSerial);
    }
    QTemporaryDir home_;
};

TEST_F(ResultsArchive, LeavingTheViewArchivesTheRunOnceWithTheTrimChoiceOnScreen) {
    const double errSq = results()->data().ErrSq;
    chooseTrim();
    const auto predicted = results()->data().LinErr;
    QSettings bench(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                    QStringLiteral("ZDXKalQ270"));
    bench.setValue(QStringLiteral("Archive/MeterId"), QStringLiteral(" DMM-07 "));
    leaveView();
    bench.remove(QStringLiteral("Archive/MeterId"));
    EXPECT_EQ(statusText(), "Run archived");
    auto runs = archived();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].record.calibratorSerial, kMeasuredSerial);
    EXPECT_EQ(runs[0].record.meterId, std::optional<std::string>("DMM-07"));
    EXPECT_EQ(runs[0].errSq, errSq);
    ASSERT_TRUE(runs[0].decision);
    EXPECT_EQ(runs[0].decision->ShuntSel[5], 3);
    for (int j = 1; j <= 10; ++j)
        EXPECT_EQ(runs[0].decision->predictedLinErr[std::size_t(j)], predicted[std::size_t(j)]);

    // Back to the same results and out again: still one run.
    QTest::mousePress(control("Commandsp"), Qt::RightButton);
    cycle();
    leaveView();
    EXPECT_EQ(archived().size(), 1u);
}

TEST_F(ResultsArchive, HistoryListsTheUnitsRunsAndTheReportIsWritten) {
    leaveView();
    QTest::mousePress(control("Commandsp"), Qt::RightButton);
    cycle();
    auto* historyButton = resultsControl<QPushButton>("CmdHistory");
    QTest::mouseClick(historyButton, Qt::LeftButton);
    // Read on a worker: the window stays responsive and offers no second read.
    EXPECT_FALSE(historyButton->isEnabled());
    frmHistory* history = nullptr;
    for (int i = 0; i < 200 && history == nullptr; ++i) {
        QTest::qWait(25);
        history = results()->findChild<frmHistory*>(QStringLiteral("frmHistory"));
    }
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(historyButton->isEnabled());
    EXPECT_EQ(statusText(), std::string("Archived runs of ") + kMeasuredSerial + ": 1");
    EXPECT_EQ(history->findChild<QTableWidget*>(QStringLiteral("HistoryList"))->rowCount(), 1);
    EXPECT_EQ(history->runs().size(), 1u);
    // ZDX_TEST_SHOTS=<folder> keeps pictures of the window and the history for a look.
    if (qEnvironmentVariableIsSet("ZDX_TEST_SHOTS")) {
        results()->grab().save(qEnvironmentVariable("ZDX_TEST_SHOTS") + "/results-archive.png");
        history->grab().save(qEnvironmentVariable("ZDX_TEST_SHOTS") + "/history.png");
    }
    history->close();

    const QString pdf = home_.filePath(QStringLiteral("unit.pdf"));
    ASSERT_TRUE(results()->writeReport(pdf));
    EXPECT_TRUE(std::filesystem::exists(pdf.toStdString()));
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) return;
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const std::string shown = text.readAllStandardOutput().toStdString();
    EXPECT_NE(shown.find(kMeasuredSerial), std::string::npos);
    EXPECT_NE(shown.find(archived()[0].runId), std::string::npos);
}

}  // namespace
}  // namespace q270::testing
