// The run, the evaluation shown in the table and plot, the trim choice and the
// copy of frmResults.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <chrono>
#include <cmath>
#include <ctime>

#include "colour_value.h"
#include "frm_results.h"
#include "pattern_format.h"
#include "plot_view.h"

namespace q270 {

void frmResults::Scan() {
    const auto wallStart = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    {
        const BusyScope busy(*this, scanning_);
        setStatusText(QStringLiteral("Stopp: hier klicken ->"), zdx::kColourBlack);
        Picture1->setVisible(false);
        maxppm->setVisible(true);
        minppm->setVisible(true);
        clearForNewRun();
        warnAboutStatement();
        repaintNow();

        MakeTrimTable(data_);
        lastRun_ = RunLinearity(meter_, usb_, deviceSerial_, data_, *this);

        if (lastRun_.end == RunEnd::Complete && !stopAsked_) {
            CalcResults(false);
            if (std::isfinite(data_.ErrSq)) {
                ShowResults(false);
                evaluated_ = true;
                CmdOpt->setVisible(true);
            } else {
                // Readings that sum to nothing (the calibrator did not answer its
                // step lines, say) give no deviations, only divisions by zero.
                setStatusText(QStringLiteral("No evaluation: the readings do not add up to a "
                                             "divider voltage"),
                              zdx::kColourRed);
            }
        } else if (!lastRun_.message.empty()) {
            setStatusText(QString::fromStdString(lastRun_.message), zdx::kColourRed);
        }
    }
    if (evaluated_) showStatementLine();
    runWallSeconds_ =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    runCpuSeconds_ = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    emit runEnded();
}

void frmResults::clearForNewRun() {
    evaluated_ = false;
    // An earlier run's search must not be started on this run's half-filled table.
    CmdOpt->setVisible(false);
    PrepareTable(grid_);
    applyGeometry();
    refreshTable();
    for (QLabel* l : OptiL1) l->clear();
    OptiL3->clear();
    OptiLcnt->clear();
    Results->setVisible(true);
    ++statementAsked_;
    statementLine_->clear();
    updateOffers();
}

void frmResults::ScanEnd() {
    stopAsked_ = false;
    archiveRun();
    Results->setVisible(false);
}

void frmResults::Scanx() {
    Results->setVisible(true);
}

void frmResults::CalcResults(bool trimmed) {
    q270::CalcResults(data_, trimmed);
}

void frmResults::ShowResults(bool trimmed) {
    ShowResultsCells(grid_, data_, trimmed, decimalSeparator());
    refreshTable();
    Picture1->setVisible(true);
    plot_.PlotScale(10, data_.LinErrRef.data(), kPlotReferenceColour);
    if (trimmed) plot_.PlotCurve(10, data_.LinErr.data(), kPlotTrimmedColour);
    Picture1->update();
    const char separator = decimalSeparator();
    minppm->setText(QString::fromStdString(formatPattern(plot_.PlotLo(), "#######0.0", separator)));
    maxppm->setText(QString::fromStdString(formatPattern(plot_.PlotHi(), "#######0.0", separator)));
    minppm->setVisible(true);
    maxppm->setVisible(true);
    repaintNow();
}

std::optional<GridPosition> frmResults::tablePosition(const QPoint& position) const {
    return PointerPosition(position.x() * double(kResultsUnitsPerPixel),
                           position.y() * double(kResultsUnitsPerPixel), geometry_);
}

void frmResults::trimChoiceAt(const QPoint& position) {
    // A choice evaluates the whole run: not while one is being measured or
    // searched, nor on the readings of a run that did not complete.
    if (scanning_ || optimising_ || !evaluated_) return;
    const std::optional<GridPosition> at = tablePosition(position);
    if (!at) return;
    const std::optional<int> hit = TrimCellRow(at->colpos, at->rowpos);
    if (!hit) return;
    const int row = *hit;
    Results->setCurrentCell(row, kColTrim);
    grid_.at(row, kColTrim).back = kTrimCellSelected;
    refreshCell(row, kColTrim);

    for (QAction* item : mnu_r) item->setChecked(false);
    const int current = data_.ShuntSel[static_cast<std::size_t>(row)];
    if (current >= 0 && current < static_cast<int>(mnu_r.size()))
        mnu_r[static_cast<std::size_t>(current)]->setChecked(true);
    mnu_rsel->exec(Results->viewport()->mapToGlobal(position));

    int chosen = current;
    for (std::size_t k = 0; k < mnu_r.size(); ++k)
        if (mnu_r[k]->isChecked()) chosen = static_cast<int>(k);
    data_.ShuntSel[static_cast<std::size_t>(row)] = static_cast<std::int16_t>(chosen);
    ShowTrimChoice(grid_, row, chosen);
    // The cell chosen in stays grey, "offen" included.
    grid_.at(row, kColTrim).back = kTrimCellChosen;
    refreshCell(row, kColTrim);
    CalcResults(true);
    ShowResults(true);
}

void frmResults::copyAt(const QPoint& position) {
    const std::optional<GridPosition> at = tablePosition(position);
    if (!at || !CopyCellHit(at->colpos, at->rowpos)) return;
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromLatin1(tableText().c_str()));
    setStatusText(QStringLiteral("Copied"), zdx::kColourBlack);
}

void frmResults::selectCell(int row, int column) {
    Results->setCurrentCell(row, column);
}

void frmResults::showReading(int row, int column, double volts, bool differs) {
    Cell& cell = grid_.at(row, column);
    cell.alignment = kAlignRight;
    cell.text = ReadingText(volts, decimalSeparator());
    if (column == kColReading2) cell.fore = differs ? zdx::kColourRed : zdx::kColourBlack;
    refreshCell(row, column);
    repaintNow();
}

void frmResults::processEvents() {
    QCoreApplication::processEvents();
}

bool frmResults::stopPending() {
    return stopAsked_;
}

}  // namespace q270
