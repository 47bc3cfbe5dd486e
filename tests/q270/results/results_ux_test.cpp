// The results window as a user meets it around the design's controls: a file
// control is offered only when it can act and says why not in its tooltip;
// the window comes back where the user left it and scrolls when made small;
// the file dialogs start in the last folder with a name from the unit and the
// day; the exported plot has scales, the serial number and the run's time.
#include <QAction>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include "frm_history.h"
#include "results_fixture.h"
#include "usb_access.h"

namespace q270::testing {
namespace {

class ResultsUx : public ResultsTest {
  protected:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", home_.filePath(QStringLiteral("data")).toLocal8Bit());
        ResultsTest::SetUp();
    }
    static QSettings store() {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZDX"),
                         QStringLiteral("ZDXKalQ270"));
    }
    // The plot's menu entry as the menu offers it: enabled, and its tooltip.
    std::pair<bool, QString> plotEntry(frmResults& window) {
        std::pair<bool, QString> seen{false, QStringLiteral("(no menu)")};
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr) return;
            auto* save = menu->findChild<QAction*>(QStringLiteral("SavePlot"));
            if (save != nullptr) seen = {save->isEnabled(), save->toolTip()};
            menu->close();
        });
        QWidget* picture = window.findChild<QWidget*>(QStringLiteral("Picture1"));
        QContextMenuEvent asked(QContextMenuEvent::Mouse, QPoint(5, 5),
                                picture->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(picture, &asked);
        return seen;
    }
    // Runs `inspect` on the next file dialog, which it must close.
    void onFileDialog(std::function<void(QFileDialog&)> inspect) {
        QTimer::singleShot(0, [inspect = std::move(inspect)] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            inspect(*dialog);
        });
    }
    QPushButton* button(const char* name) { return resultsControl<QPushButton>(name); }
    QTemporaryDir home_;
};

TEST_F(ResultsUx, FileControlsAreOfferedOnlyWhenTheyCanActAndSayWhyNot) {
    {
        // No unit and no run yet.
        const std::string none;
        LibraryUsbAccess usb;
        frmResults fresh(none, usb, clock_);
        const auto offered = [&](const char* name) {
            auto* b = fresh.findChild<QPushButton*>(QString::fromLatin1(name));
            return std::make_pair(b->isEnabled(), b->toolTip().toStdString());
        };
        EXPECT_EQ(offered("CmdSaveRun"),
                  std::make_pair(false, std::string("No complete run to save")));
        EXPECT_EQ(offered("CmdReport"),
                  std::make_pair(false, std::string("No complete run for a report")));
        EXPECT_EQ(offered("CmdHistory").first, false);
        EXPECT_NE(offered("CmdHistory").second.find("No unit"), std::string::npos);
        EXPECT_EQ(offered("CmdOpenRun"), std::make_pair(true, std::string()));
        fresh.show();
        EXPECT_EQ(plotEntry(fresh),
                  std::make_pair(false, QStringLiteral("No plot: no complete run")));
    }

    openOnline();
    measure();
    ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    for (const char* name : {"CmdSaveRun", "CmdReport", "CmdHistory", "CmdOpenRun"}) {
        EXPECT_TRUE(button(name)->isEnabled()) << name;
        EXPECT_TRUE(button(name)->toolTip().isEmpty()) << name;
    }
    EXPECT_TRUE(plotEntry(*results()).first);

    // A run stopped after its first step: nothing to save, report or plot.
    QTest::mouseClick(resultsControl("Panel1"), Qt::LeftButton);
    cycle();
    QTest::mouseClick(control<QAbstractButton>("Commandsp"), Qt::LeftButton);
    state_->StopRequest = 1;
    cycle();
    ASSERT_NE(results()->lastRun().end, RunEnd::Complete);
    EXPECT_FALSE(button("CmdSaveRun")->isEnabled());
    EXPECT_EQ(button("CmdSaveRun")->toolTip(), QStringLiteral("No complete run to save"));
    EXPECT_FALSE(button("CmdReport")->isEnabled());
    EXPECT_TRUE(button("CmdHistory")->isEnabled());
    EXPECT_FALSE(plotEntry(*results()).first);
}

TEST_F(ResultsUx, TheWindowComesBackWhereTheUserLeftItAndScrollsWhenSmall) {
    const std::string serial = kMeasuredSerial;
    LibraryUsbAccess usb;
    {
        frmResults first(serial, usb, clock_);
        first.show();
        first.move(40, 30);
        first.resize(520, 380);
        first.hide();
    }
    EXPECT_EQ(store().value(QStringLiteral("Windows/frmResults")).toString(),
              QStringLiteral("40,30,520,380"));
    {
        frmResults again(serial, usb, clock_);
        again.show();
        EXPECT_EQ(again.pos(), QPoint(40, 30));
        EXPECT_EQ(again.size(), QSize(520, 380));
        // Smaller than its controls: it scrolls to them rather than cutting them off.
        auto* scroll = again.findChild<QScrollArea*>(QStringLiteral("ResultsScroll"));
        ASSERT_NE(scroll, nullptr);
        EXPECT_GT(scroll->horizontalScrollBar()->maximum(), 0);
        EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
    }
    {
        // The history window the same way, under its own name.
        frmHistory first("Q1", {}, {}, std::nullopt, QStringLiteral("ZDXKalQ270"));
        first.show();
        first.move(60, 50);
        first.resize(500, 300);
        first.close();
        frmHistory again("Q1", {}, {}, std::nullopt, QStringLiteral("ZDXKalQ270"));
        again.show();
        EXPECT_EQ(again.pos(), QPoint(60, 50));
        EXPECT_EQ(again.size(), QSize(500, 300));
        auto* scroll = again.findChild<QScrollArea*>(QStringLiteral("HistoryScroll"));
        ASSERT_NE(scroll, nullptr);
        EXPECT_GT(scroll->horizontalScrollBar()->maximum(), 0);
    }
    // Left on a screen that is no longer there: back on the one there is.
    store().setValue(QStringLiteral("Windows/frmResults"), QStringLiteral("6000,5000,520,380"));
    frmResults lost(serial, usb, clock_);
    lost.show();
    EXPECT_TRUE(lost.screen()->availableGeometry().contains(lost.pos())) << lost.pos().x();
    EXPECT_EQ(lost.size(), QSize(520, 380));
}

TEST_F(ResultsUx, FileDialogsProposeTheUnitsNameAndStartInTheLastFolder) {
    openOnline();
    measure();
    ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    const QString day = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate);
    QTemporaryDir chosen;
    QString proposed;
    onFileDialog([&](QFileDialog& dialog) {
        proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        dialog.selectFile(chosen.filePath(QStringLiteral("unit.json")));
        static_cast<QDialog&>(dialog).accept();  // as the dialog's own button does
    });
    QTest::mouseClick(button("CmdSaveRun"), Qt::LeftButton);
    EXPECT_EQ(proposed, QStringLiteral("Q270S9-00417_") + day + QStringLiteral("_linearity.json"));
    EXPECT_TRUE(QFileInfo::exists(chosen.filePath(QStringLiteral("unit.json"))));

    QString folder;
    onFileDialog([&](QFileDialog& dialog) {
        folder = dialog.directory().absolutePath();
        proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        dialog.reject();
    });
    QTest::mouseClick(button("CmdReport"), Qt::LeftButton);
    EXPECT_EQ(folder, QDir(chosen.path()).absolutePath());
    EXPECT_EQ(proposed, QStringLiteral("Q270S9-00417_") + day + QStringLiteral("_report.pdf"));
}

TEST_F(ResultsUx, TheExportedPlotHasScalesAndNamesTheUnit) {
    openOnline();
    measure();
    ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plot.png"));
    ASSERT_TRUE(results()->savePlot(file));
    const QImage image(file);
    ASSERT_EQ(image.size(), QSize(900, 640));
    // Ink in the heading, beside the left axis (tick labels, title) and below the bottom one.
    const auto inked = [&](const QRect& band) {
        int n = 0;
        for (int y = band.top(); y <= band.bottom(); ++y)
            for (int x = band.left(); x <= band.right(); ++x)
                n += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
        return n;
    };
    EXPECT_GT(inked(QRect(20, 12, 600, 24)), 200);
    EXPECT_GT(inked(QRect(0, 60, 84, 480)), 200);
    EXPECT_GT(inked(QRect(90, 585, 630, 50)), 200);
    if (qEnvironmentVariableIsSet("ZDX_TEST_SHOTS"))
        image.save(qEnvironmentVariable("ZDX_TEST_SHOTS") + "/exported-plot.png");
}

}  // namespace
}  // namespace q270::testing
