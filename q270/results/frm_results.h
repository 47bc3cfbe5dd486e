// The results window of the linearity measurement: the table of readings and
// deviations, the error plot, the trim-resistor choice per step and the copy
// of the table. The main window's timer cycle shows it, runs Scan and closes
// the view again; the window sends its calibrator lines itself, to the
// calibrator it was given, and asks the main window for a stop by a signal.
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>

#include "archived_run.h"
#include "clock.h"
#include "evaluation.h"
#include "linearity_run.h"
#include "meter_link.h"
#include "plot_model.h"
#include "reply_recorder.h"
#include "results_table.h"
#include "run_file.h"
#include "serial_port.h"
#include "trim_search.h"
#include "usb_access.h"

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTableWidget;

namespace q270 {

class PlotView;
class ResultsArchivist;

// Size of the table in layout units (fifteen to a pixel), as Scan sizes it.
// Row heights, column widths and the pointer position of the table's mouse
// rules are all taken in these units.
inline constexpr int kResultsUnitsPerPixel = 15;
inline constexpr int kResultsTableWidth = 11400;
inline constexpr int kResultsTableHeight = 6600;

// Item data of the table's cells: the colour values (0x00BBGGRR or a system
// colour) and the alignment code (4 centre, 7 right) the cell was given.
inline constexpr int kBackValueRole = Qt::UserRole + 1;
inline constexpr int kForeValueRole = Qt::UserRole + 2;
inline constexpr int kAlignmentRole = Qt::UserRole + 3;

class frmResults : public QMainWindow, private RunObserver {
    Q_OBJECT

  public:
    // `deviceSerial` is the serial of the USB calibrator in use as the main
    // window keeps it; each run steps the one it names then. It must outlive
    // the window.
    frmResults(const std::string& deviceSerial, UsbAccess& usb, Clock& clock,
               QWidget* parent = nullptr);
    ~frmResults() override;

    // A stop, as a click on the status bar asks it: it ends a run after its
    // current step (also a run that starts while it is pending) and a trim
    // search at its next check. Except during a search, which it only ends,
    // it asks the main window to close the view (stopRequested). ScanEnd
    // serves it.
    void requestStop();

    // The linearity run; returns when it has ended.
    void Scan();
    void ScanEnd();
    void Scanx();
    void CalcResults(bool trimmed);
    void ShowResults(bool trimmed);

    bool scanning() const { return scanning_; }
    // A run or a trim search holds the window: both let window events through.
    bool busy() const { return scanning_ || optimising_; }
    // The readings and evaluation of the last run and trim choice.
    const ResultsData& data() const { return data_; }
    const PlotModel& plot() const { return plot_; }
    const ResultsGrid& grid() const { return grid_; }
    const RunResult& lastRun() const { return lastRun_; }
    // Wall time and the process's CPU time of the last Scan, in seconds.
    double lastRunWallSeconds() const { return runWallSeconds_; }
    double lastRunCpuSeconds() const { return runCpuSeconds_; }
    // The table's text as a copy puts it on the clipboard.
    std::string tableText() const;
    bool savePlot(const QString& fileName);
    // The current complete run (readings as received, trim choices) as a run
    // file; false, with the reason in the status bar, when there is none or
    // it cannot be written.
    bool saveRun(const QString& fileName);
    // A run file shown as after a complete run, with its trim choices applied
    // and "Optimierung" offered; false, with the reason in the status bar,
    // when the file is refused (the table is then left as it was).
    bool openRun(const QString& fileName);
    // Shown where the user left it (also in an earlier session), on a screen
    // that is there now; its place is kept when it is withdrawn.
    void setVisible(bool visible) override;
    // The program is ending: the window may close now.
    void allowClose() { closeAllowed_ = true; }
    // The complete run on screen into the archive, with the trim choice on
    // screen as its decision, once per run (frm_results_archive.cpp); false
    // when there is nothing new to archive. The outcome shows in the status bar.
    bool archiveRun();
    // Waits until the archive work asked so far is done and its outcome shown.
    void waitForArchive();
    // Starts the PDF report of the run on screen, which is written once the
    // archive has named the run's reference meter; false, with the reason in
    // the status bar, when there is no run to report. The outcome shows in
    // the status bar.
    bool writeReport(const QString& fileName);

  signals:
    void runEnded();
    void stopRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Marks a run or a search for the life of a scope, with the file controls
    // withdrawn; whatever ends the scope, an exception included, gives both
    // back, so the main window's cycle is never left held.
    class BusyScope {
      public:
        BusyScope(frmResults& window, bool& flag);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

      private:
        frmResults& window_;
        bool& flag_;
    };

    void buildControls();
    void buildTable(QWidget* central);
    void buildPlot(QWidget* central);
    void buildTrimPanel(QWidget* central);
    void buildTrimMenu();
    void buildStatusBar();
    void applyGeometry();
    // Width of column 4 that its widest segment text needs, in pixels.
    int segmentColumnPixels() const;
    // The part of a run's start that opening a run file shares: the table
    // prepared, the search lines cleared, "Optimierung" withdrawn.
    void clearForNewRun();
    // Each file control is offered only when it can act: not while the window
    // is busy, not without a complete run; a withheld one says why in its tooltip.
    void updateOffers();
    // Why the plot cannot be saved now; empty when it can.
    QString plotRefusal() const;
    // False, saying why in the status bar, while a run or a search holds the window.
    bool refuseWhileBusy();
    // Writes the grid model into the table widget.
    void refreshTable();
    void refreshCell(int row, int column);
    void setStatusText(const QString& text, std::uint32_t colour);
    // Paints the whole window at once: the design's repaint points.
    void repaintNow();
    void waitUntilExposed();
    std::optional<GridPosition> tablePosition(const QPoint& position) const;
    void trimChoiceAt(const QPoint& position);
    void copyAt(const QPoint& position);
    void savePlotAsked();
    void buildFileControls();
    // The calibrator's identification over USB, empty when it cannot be read.
    std::string calibratorId();
    void buildArchiveControls();
    // The one builder of the run as the table shows it, for saving, archiving
    // and reporting; none when there is no complete run (and, when asked, why
    // a complete run cannot be recorded).
    std::optional<RunRecord> recordOnScreen(std::string* why = nullptr);
    // The serial number of the unit on screen: the run's, else the calibrator's.
    std::string unitSerial();
    void showHistory();
    // A trim choice changed after the run was archived goes to the archive
    // as an amendment, so that archive and report agree.
    void amendIfChanged();
    // "As-left zu..." (frm_results_calibration.cpp): the run's link to the
    // decision it verifies, kept with the run when it is archived.
    void buildAsLeftControl();
    QString asLeftRefusal() const;
    void chooseAsFound();
    // The link chosen and the site's limit and rule, onto the run archived.
    void linkForArchive(ArchivedRun& run) const;
    // At the start of a run: why its report will give no conformity statement.
    void warnAboutStatement();
    // The statement line of the complete run on screen, once the archive has
    // named its reference meter.
    void showStatementLine();
    // A file dialog started in the last folder used, proposing `proposed`.
    QString askFileName(bool saving, const QString& caption, const QString& proposed,
                        const QString& filter);
    // The trim search and the applying of its result lines (frm_results_opti.cpp).
    void buildOptimisation();
    void CmdOpt_Click();
    void SearchTrim(int K);
    void OptiL1_Click(int k);
    char decimalSeparator() const;

    // RunObserver
    void selectCell(int row, int column) override;
    void showReading(int row, int column, double volts, bool differs) override;
    void processEvents() override;
    bool stopPending() override;

    const std::string& deviceSerial_;
    UsbAccess& usb_;
    Clock& clock_;
    SerialPort MSComm2;
    SerialMeterPort meterPort_;
    ReplyRecorder replies_;  // the texts a saved run keeps
    MeterLink meter_;

    ResultsData data_;
    ResultsGrid grid_;
    TableGeometry geometry_{};
    PlotModel plot_;
    RunResult lastRun_;
    double runWallSeconds_ = 0;
    double runCpuSeconds_ = 0;
    bool scanning_ = false;
    bool optimising_ = false;
    bool stopAsked_ = false;  // a stop asked and not yet served
    bool evaluated_ = false;  // the table holds the evaluation of a complete run
    bool closeAllowed_ = false;
    std::optional<RunRecord> openedRun_;  // the run file the table shows, if any
    int openedAtRun_ = -1;                // the recorder's run count when it was opened
    BestSelTable BestSel{};  // the best vector of each count, kept until the next search

    QTableWidget* Results = nullptr;
    PlotView* Picture1 = nullptr;
    QWidget* Picture2 = nullptr;
    QLabel* maxppm = nullptr;
    QLabel* minppm = nullptr;
    QPushButton* CmdOpt = nullptr;
    QPushButton* CmdSaveRun = nullptr;
    QPushButton* CmdOpenRun = nullptr;
    QPushButton* CmdHistory = nullptr;
    QPushButton* CmdReport = nullptr;
    QPushButton* CmdAsLeft = nullptr;
    QLabel* statementLine_ = nullptr;  // "StatementLine"
    std::unique_ptr<ResultsArchivist> archivist_;
    int archivedAtRun_ = -1;  // the reply recorder's run count of the run archived last
    std::string archivedRunId_;
    std::optional<ArchivedRun> archived_;  // as archived, with the amendments made since
    bool historyPending_ = false;          // "Verlauf..." is reading the archive
    bool asLeftPending_ = false;           // "As-left zu..." is reading the archive
    std::optional<std::string> asLeftOf_;  // the run this one verifies, as chosen
    int asLeftAtRun_ = -1;                 // the recorder's run count when it was chosen
    int statementAsked_ = 0;  // the latest statement asked for; older answers are dropped
    QGroupBox* Opti = nullptr;
    std::array<QLabel*, 5> OptiL1{};
    QLabel* OptiL3 = nullptr;
    QLabel* OptiLcnt = nullptr;
    QMenu* mnu_rsel = nullptr;
    std::array<QAction*, 6> mnu_r{};
    QLabel* statusPanel1_ = nullptr;
};

}  // namespace q270
