// The results window and the archive: a complete run is archived once, with
// the trim choice on screen, when the operator leaves the results view;
// "Verlauf..." lists the unit's runs with their verdicts; "Bericht..." writes
// the run as a PDF; the statement line and the report name the reference
// meter as the register has it; all of it on the archive's worker, so a
// silent server neither holds the window nor its closing.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSqlDatabase>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>

#include <filesystem>

#include "archive_settings.h"
#include "frm_history.h"
#include "meter_register.h"
#include "results_fixture.h"
#include "spool.h"
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
    void setBench(const char* key, const QVariant& value) {
        QSettings bench(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                        QStringLiteral("ZDXKalQ270"));
        bench.setValue(QString::fromLatin1(key), value);
    }
    // Back to the panel and "Spez" again: a second run, its statement read.
    void measureAgain() {
        leaveView();
        measure();
        ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
        results()->waitForArchive();
    }
    std::string statementLine() {
        return resultsControl<QLabel>("StatementLine")->text().toStdString();
    }
    frmHistory* openHistory() {
        QTest::mouseClick(resultsControl<QPushButton>("CmdHistory"), Qt::LeftButton);
        results()->waitForArchive();
        return results()->findChild<frmHistory*>(QStringLiteral("frmHistory"));
    }
    std::string pdfText(const QString& pdf) {
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        EXPECT_TRUE(text.waitForFinished(30000));
        return text.readAllStandardOutput().toStdString();
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

// "As-left zu..." offers the unit's decided as-found runs only; the run
// chosen is archived as the as-left run of it, with the site's limit and rule.
TEST_F(ResultsArchive, TheOperatorLinksAnAsLeftRunToTheDecisionItVerifies) {
    chooseTrim();
    leaveView();  // as found, with a trim decided
    const std::vector<ArchivedRun> first = archived();
    ASSERT_EQ(first.size(), 1u);
    setBench("Acceptance/LinErrLimit", 900);
    measure();
    ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    results()->waitForArchive();
    auto* asLeft = resultsControl<QPushButton>("CmdAsLeft");
    ASSERT_TRUE(asLeft->isEnabled()) << asLeft->toolTip().toStdString();
    QString offered;
    QTimer::singleShot(0, [&offered] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        offered = dialog->comboBoxItems().join(QLatin1Char('\n'));
        dialog->setTextValue(dialog->comboBoxItems().value(0));
        dialog->accept();
    });
    QTest::mouseClick(asLeft, Qt::LeftButton);
    results()->waitForArchive();
    QCoreApplication::processEvents();
    EXPECT_EQ(offered.count(QStringLiteral("(run ")), 1) << offered.toStdString();
    EXPECT_TRUE(offered.contains(QString::fromStdString(first[0].runId)));
    EXPECT_NE(statusText().find("As-left run of run " + first[0].runId), std::string::npos)
        << statusText();
    // The report from the window pairs the two as the archive links them: its
    // number is the as-found run's ID.
    const QString pdf = home_.filePath(QStringLiteral("calibration.pdf"));
    ASSERT_TRUE(results()->writeReport(pdf));
    results()->waitForArchive();
    ASSERT_TRUE(std::filesystem::exists(pdf.toStdString())) << statusText();
    if (!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        EXPECT_NE(pdfText(pdf).find(first[0].runId), std::string::npos);
    }
    leaveView();
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
              QStringLiteral("ZDXKalQ270"))
        .remove(QStringLiteral("Acceptance"));
    const std::vector<ArchivedRun> runs = archived();
    ASSERT_EQ(runs.size(), 2u);
    // Both runs may have started in one second: the new one is the other ID.
    const ArchivedRun& second = runs[0].runId == first[0].runId ? runs[1] : runs[0];
    EXPECT_EQ(second.asLeftOf, first[0].runId);
    ASSERT_TRUE(second.acceptance);
    EXPECT_EQ(second.acceptance->limitPpm, 900.0);
    EXPECT_FALSE(asLeft->isEnabled()) << "archived: its link is kept";
}

// Trims changed after the run was archived reach the archive as an amendment
// (the original decision kept), so that archive and report agree.
TEST_F(ResultsArchive, TrimsChangedAfterArchivingAreArchivedAsAnAmendment) {
    leaveView();
    ASSERT_EQ(archived().size(), 1u);
    QTest::mousePress(control("Commandsp"), Qt::RightButton);
    cycle();
    chooseTrim();
    // A report of the changed trims archives them first.
    ASSERT_TRUE(results()->writeReport(home_.filePath(QStringLiteral("unit.pdf"))));
    results()->waitForArchive();
    QCoreApplication::processEvents();
    ASSERT_EQ(archived()[0].amendments.size(), 1u);
    leaveView();
    std::vector<ArchivedRun> runs = archived();
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].amendments.size(), 1u);
    EXPECT_EQ(CurrentDecision(runs[0]).decision->ShuntSel[5], 3);
    EXPECT_EQ(runs[0].decision->ShuntSel[5], 0) << "the decision archived first is kept";
    // Back and out again with the same trims: nothing new.
    QTest::mousePress(control("Commandsp"), Qt::RightButton);
    cycle();
    leaveView();
    EXPECT_EQ(archived()[0].amendments.size(), 1u);
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
    results()->waitForArchive();
    EXPECT_EQ(statusText(), "Report written to unit.pdf");
    EXPECT_TRUE(std::filesystem::exists(pdf.toStdString()));
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) return;
    const std::string shown = pdfText(pdf);
    EXPECT_NE(shown.find(kMeasuredSerial), std::string::npos);
    EXPECT_NE(shown.find(archived()[0].runId), std::string::npos);
}

TEST_F(ResultsArchive, StatementLineHistoryAndReportTakeTheMeterFromTheRegister) {
    // The run of SetUp named no meter.
    results()->waitForArchive();
    EXPECT_EQ(statementLine().rfind("no verdict (no reference meter was recorded for the run); "
                                    "largest error ",
                                    0),
              0u)
        << statementLine();

    setBench("Archive/MeterId", QStringLiteral("DMM-07"));
    setBench("Acceptance/LinErrLimit", 100);
    measureAgain();
    EXPECT_NE(statementLine().find("no verdict (the reference meter DMM-07 is not in the meter "
                                   "register)"),
              std::string::npos)
        << statementLine();

    {
        SqlArchive archive(DefaultArchiveSettings());
        MeterRegister(archive).add(
            {"DMM-07", "34465A", "MY123", "CAL-1", "2020-01-01", "2099-01-01"});
    }
    measureAgain();
    EXPECT_EQ(statementLine().rfind("Limit 100", 0), 0u) << statementLine();
    EXPECT_EQ(statementLine().find("no verdict"), std::string::npos) << statementLine();
    EXPECT_NE(statementLine().find("PASS"), std::string::npos) << statementLine();

    // Two runs archived (the third is on screen), both on leaving the view
    // with DMM-07, registered now.
    frmHistory* history = openHistory();
    ASSERT_NE(history, nullptr);
    auto* list = history->findChild<QTableWidget*>(QStringLiteral("HistoryList"));
    ASSERT_EQ(list->rowCount(), 2);
    const int verdict = list->columnCount() - 1;
    EXPECT_EQ(list->horizontalHeaderItem(verdict)->text(), QStringLiteral("Verdict"));
    for (int row = 0; row < 2; ++row)
        EXPECT_EQ(list->item(row, verdict)->text().toStdString(), "PASS") << row;
    history->close();

    const QString pdf = home_.filePath(QStringLiteral("unit.pdf"));
    ASSERT_TRUE(results()->writeReport(pdf));
    results()->waitForArchive();
    ASSERT_TRUE(std::filesystem::exists(pdf.toStdString()));
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) return;
    const std::string shown = pdfText(pdf);
    EXPECT_NE(shown.find("CAL-1"), std::string::npos);
    EXPECT_EQ(shown.find("not in the meter register"), std::string::npos);
}

// A PostgreSQL server that takes the connection and never answers: leaving
// the view hands the run to the worker, and closing the program does not wait
// for the server beyond the archive's own time-out; the run is then in the spool.
TEST_F(ResultsArchive, ClosingWhileTheServerIsSilentIsQuickAndKeepsTheRunInTheSpool) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        GTEST_SKIP() << "the Qt PostgreSQL driver is not installed";
    // A listening socket: the system accepts the connection; nobody reads or answers.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(silent, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(silent, 8), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    setBench("Archive/Driver", QStringLiteral("postgresql"));
    setBench("Archive/Host", QStringLiteral("127.0.0.1"));
    setBench("Archive/Port", int(ntohs(address.sin_port)));

    QElapsedTimer elapsed;
    elapsed.start();
    QTest::mouseClick(resultsControl("Panel1"), Qt::LeftButton);
    cycle();
    EXPECT_LT(elapsed.elapsed(), 1000) << "leaving the view waited for the server";
    window_->close();
    window_.reset();
    EXPECT_LT(elapsed.elapsed(), 8000);

    ::close(silent);
    const Spool spool(DefaultSpoolFolder().toStdString());
    ASSERT_EQ(spool.files().size(), 1u);
    EXPECT_EQ(spool.read(spool.files()[0]).record.calibratorSerial, kMeasuredSerial);
}

}  // namespace
}  // namespace q270::testing
