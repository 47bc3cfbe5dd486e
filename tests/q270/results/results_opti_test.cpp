// The trim search through the results window: "Optimierung" after a run on the
// bench, its five result lines, a stop during the search, and a result line
// applied to the table and the plot.
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <random>

#include "pattern_format.h"
#include "results_fixture.h"
#include "trim_search.h"

namespace q270::testing {
namespace {

class Optimisation : public ResultsTest {
  protected:
    void SetUp() override {
        ResultsTest::SetUp();
        openOnline();
        measure();
        ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    }
    QLabel* line(int k) { return resultsControl<QLabel>(("OptiL1_" + std::to_string(k)).c_str()); }
    std::string lineText(int k) { return line(k)->text().toStdString(); }
    QPushButton* cmdOpt() { return resultsControl<QPushButton>("CmdOpt"); }
    // The readings of the run, with no trim resistors, as the search takes them.
    ResultsData untrimmed() {
        ResultsData d = results()->data();
        for (int i = 1; i <= 20; ++i) d.ShuntSel[std::size_t(i)] = 0;
        return d;
    }
    TrimSearch searched(int K) {
        TrimSearch search(untrimmed(), K);
        search.run();
        return search;
    }
    int trimmedSteps() {
        int n = 0;
        for (int i = 1; i <= 20; ++i) n += results()->data().ShuntSel[std::size_t(i)] != 0;
        return n;
    }
};

TEST_F(Optimisation, SearchWritesALinePerCountAndLeavesTheChoicesAsTheyWere) {
    auto* opti = resultsControl<QGroupBox>("Opti");
    EXPECT_FALSE(opti->isEnabled());
    QTest::mouseClick(cmdOpt(), Qt::LeftButton);

    EXPECT_EQ(opti->title().toStdString(), "Suche..");
    EXPECT_TRUE(opti->isEnabled());
    EXPECT_TRUE(cmdOpt()->isVisible());
    EXPECT_EQ(state_->StopRequest, 0);
    EXPECT_EQ(trimmedSteps(), 0);

    double previous = 1E+30;
    for (int k = 0; k <= kMaxTrimCount; ++k) {
        const TrimSearch search = searched(k);
        EXPECT_EQ(lineText(k), TrimResultLine(search, '.')) << k;
        EXPECT_EQ(lineText(k).rfind(std::to_string(k) + " Rs:  Bew=", 0), 0u) << lineText(k);
        EXPECT_EQ(lineText(k).size(), 55u) << lineText(k);
        EXPECT_LE(search.best(), previous);
        previous = search.best();
    }
    // The untrimmed figure: the squares of the untrimmed 10 % point errors.
    double errSq = 0;
    for (int j = 1; j <= 10; ++j) {
        const double e = results()->data().LinErrRef[std::size_t(j)];
        errSq += e * e;
    }
    EXPECT_EQ(lineText(0).substr(11, 8), FmtField(errSq, "0.0", 8, '.'));
    // Trim resistors do better on this divider than none.
    EXPECT_LT(searched(4).best(), searched(0).best());

    const std::string best = resultsControl<QLabel>("OptiL3")->text().toStdString();
    EXPECT_EQ(best, formatPattern(searched(4).best(), "#0.0", '.'));
    const long long counted = resultsControl<QLabel>("OptiLcnt")->text().trimmed().toLongLong();
    EXPECT_GE(counted, 147043);
    EXPECT_LE(counted, 147426);
    EXPECT_EQ(cell(0, kColPointTrimmed), "d% tst");
}

TEST_F(Optimisation, ApplyingALinePlacesItsTrimResistorsInTheTable) {
    QTest::mouseClick(cmdOpt(), Qt::LeftButton);
    const TrimSearch search = searched(4);
    QTest::mouseClick(line(4), Qt::LeftButton);

    ResultsData placed = untrimmed();
    PlaceBest(placed, search.bestSel(), 4);
    EXPECT_EQ(results()->data().ShuntSel, placed.ShuntSel);
    int trims = 0;
    std::array<double, 21> trimsOhm{};
    for (int row = 1; row <= 20; ++row) {
        const int choice = placed.ShuntSel[std::size_t(row)];
        if (choice == 0) {
            EXPECT_EQ(cell(row, kColTrim), "") << row;
            EXPECT_EQ(cellBack(row, 3), kWindowBackground) << row;
            continue;
        }
        ++trims;
        trimsOhm[std::size_t(row)] = kTrimResistance[std::size_t(choice)];
        EXPECT_EQ(cell(row, kColTrim), std::string(kTrimCaptions[std::size_t(choice)])) << row;
        EXPECT_EQ(cellBack(row, 3), kTrimCellChosen) << row;
        EXPECT_EQ(table()->item(row, 3)->data(kAlignmentRole).toInt(), kAlignCentre);
        // Each on one of the two resistors of a chosen segment.
        const int pos = row <= 10 ? row : 21 - row;
        EXPECT_EQ(search.bestSel()[std::size_t(pos)], choice) << row;
    }
    EXPECT_GE(trims, 1);
    EXPECT_LE(trims, 4);

    expectTrimmedViewOf(trimsOhm);

    // Line 0 takes every trim resistor out again.
    QTest::mouseClick(line(0), Qt::LeftButton);
    EXPECT_EQ(trimmedSteps(), 0);
    for (int row = 1; row <= 20; ++row) EXPECT_EQ(cell(row, kColTrim), "") << row;
    EXPECT_EQ(cellNumber(10, 9), cellNumber(10, 8));
}

TEST_F(Optimisation, LinesCanBeClickedOnlyWhenTheyHoldAResultAndNoSearchRuns) {
    // Before any search the frame is disabled and the lines are empty.
    QTest::mouseClick(line(2), Qt::LeftButton);
    EXPECT_EQ(trimmedSteps(), 0);
    EXPECT_EQ(cell(0, kColPointTrimmed), "");

    // During the search a click on a line does nothing, and the file
    // controls are not offered.
    QTest::mouseClick(cmdOpt(), Qt::LeftButton);
    const std::string before = results()->tableText();
    bool clicked = false;
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (clicked || !cmdOpt()->isHidden()) return;
        clicked = true;
        QTest::mouseClick(line(3), Qt::LeftButton);
        EXPECT_FALSE(resultsControl<QPushButton>("CmdSaveRun")->isEnabled());
        EXPECT_FALSE(resultsControl<QPushButton>("CmdOpenRun")->isEnabled());
        // Nor the plot's menu, whose loop would hold the search.
        bool menuOpened = false;
        QTimer closer;  // ends with this pass: it can only close a menu opened in it
        closer.setSingleShot(true);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* menu = QApplication::activePopupWidget()) {
                menuOpened = true;
                menu->close();
            }
        });
        closer.start(100);
        QWidget* picture = resultsControl("Picture1");
        QContextMenuEvent menuAsked(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    picture->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(picture, &menuAsked);
        EXPECT_FALSE(menuOpened);
        EXPECT_NE(statusText().find("Not while"), std::string::npos) << statusText();
    });
    during.start(0);
    QTest::mouseClick(cmdOpt(), Qt::LeftButton);
    during.stop();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(trimmedSteps(), 0);
    EXPECT_EQ(results()->tableText(), before);
}

TEST_F(Optimisation, AStopEndsTheSearchAndNotTheResultsView) {
    // The main window's cycle is held meanwhile: a cycle that ran in the
    // search's event pass would take the stop for itself and close the view.
    auto* tick = window_->findChild<QTimer*>(QStringLiteral("TimerTick"));
    ASSERT_NE(tick, nullptr);
    tick->stop();
    // A status-bar click at the first event pass of the search for four.
    bool stopped = false;
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (stopped || !cmdOpt()->isHidden() || lineText(4).empty()) return;
        stopped = true;
        QTest::mouseClick(resultsControl<QLabel>("Panel1"), Qt::LeftButton);
    });
    during.start(0);
    QTest::mouseClick(cmdOpt(), Qt::LeftButton);
    during.stop();
    tick->start();
    ASSERT_TRUE(stopped);

    EXPECT_EQ(state_->StopRequest, 0);
    EXPECT_TRUE(cmdOpt()->isVisible());
    EXPECT_TRUE(results()->isVisible());
    EXPECT_EQ(state_->LinkState, kLinkResultsView);
    const long long counted = resultsControl<QLabel>("OptiLcnt")->text().trimmed().toLongLong();
    EXPECT_LT(counted, 147426);
    // The best set found until the stop is reported.
    EXPECT_EQ(lineText(4).rfind("4 Rs:  Bew=", 0), 0u) << lineText(4);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(lineText(k), TrimResultLine(searched(k), '.'));
}

// Stops at event passes drawn at random (seeded, so a failure can be
// replayed), each ending the search in whatever count it was in: the counts
// before it show their full results, the count it was in shows the best set
// found so far (never better than the whole count's), nothing is chosen, the
// view and its controls are back, and a search after them finds everything.
TEST_F(Optimisation, StopsAtRandomPointsLeaveAConsistentViewAndTheNextSearchIsWhole) {
    auto* tick = window_->findChild<QTimer*>(QStringLiteral("TimerTick"));
    ASSERT_NE(tick, nullptr);
    tick->stop();
    std::vector<std::string> whole;
    std::vector<double> wholeBest;
    for (int k = 0; k <= kMaxTrimCount; ++k) {
        const TrimSearch search = searched(k);
        whole.push_back(TrimResultLine(search, '.'));
        wholeBest.push_back(search.best());
    }
    std::mt19937 random(20261208);
    for (int attempt = 0; attempt < 6; ++attempt) {
        // A count and a number of its vectors, as counted in "OptiLcnt"; a
        // count searched within one slice is stopped at the next one's first.
        const int count = 1 + int(random() % kMaxTrimCount);
        const long long target = 1 + (long long)(random() % TrimVectorCount(count));
        int searching = -1;
        QTimer during;
        QObject::connect(&during, &QTimer::timeout, [&] {
            if (searching >= 0 || !cmdOpt()->isHidden()) return;
            int now = -1;
            for (int k = 0; k <= kMaxTrimCount; ++k)
                if (lineText(k).rfind("Optimum f", 0) == 0) now = k;
            const long long counted =
                resultsControl<QLabel>("OptiLcnt")->text().trimmed().toLongLong();
            if (now < count || (now == count && counted < target)) return;
            searching = now;
            QTest::mouseClick(resultsControl<QLabel>("Panel1"), Qt::LeftButton);
        });
        during.start(0);
        QTest::mouseClick(cmdOpt(), Qt::LeftButton);
        during.stop();
        const std::string where =
            "stop after " + std::to_string(target) + " of count " + std::to_string(count);
        ASSERT_GE(searching, 1) << where;

        EXPECT_EQ(state_->StopRequest, 0) << where;
        EXPECT_EQ(state_->LinkState, kLinkResultsView) << where;
        EXPECT_TRUE(cmdOpt()->isVisible()) << where;
        EXPECT_TRUE(resultsControl<QPushButton>("CmdSaveRun")->isEnabled()) << where;
        EXPECT_EQ(trimmedSteps(), 0) << where;
        for (int k = 0; k < searching; ++k) EXPECT_EQ(lineText(k), whole[std::size_t(k)]) << where;
        const std::string partial = lineText(searching);
        const std::string head = std::to_string(searching) + " Rs:  Bew=";
        ASSERT_EQ(partial.rfind(head, 0), 0u) << where << ": " << partial;
        EXPECT_GE(std::stod(partial.substr(head.size())) + 0.05, wholeBest[std::size_t(searching)])
            << where << ": " << partial;
        EXPECT_LT(resultsControl<QLabel>("OptiLcnt")->text().trimmed().toLongLong(),
                  TrimVectorCount(searching) + 1)
            << where;
    }
    QTest::mouseClick(cmdOpt(), Qt::LeftButton);
    tick->start();
    for (int k = 0; k <= kMaxTrimCount; ++k) EXPECT_EQ(lineText(k), whole[std::size_t(k)]) << k;
}

}  // namespace
}  // namespace q270::testing
