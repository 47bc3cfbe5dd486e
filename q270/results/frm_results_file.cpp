// Saving the current run of frmResults as a run file and opening one, so an
// earlier unit can be looked at and optimised again without measuring it.
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <exception>

#include "colour_value.h"
#include "frm_results.h"

namespace q270 {

namespace {

const QString kRunFilter = QStringLiteral("Run files (*.json);;All files (*)");

}  // namespace

void frmResults::buildFileControls() {
    // Below "Optimierung", side by side.
    const QRect below = CmdOpt->geometry().translated(0, CmdOpt->height() + 4);
    CmdSaveRun = new QPushButton(QStringLiteral("Messung speichern..."), CmdOpt->parentWidget());
    CmdSaveRun->setObjectName(QStringLiteral("CmdSaveRun"));
    CmdSaveRun->setGeometry(below.x(), below.y(), 165, below.height());
    CmdOpenRun = new QPushButton(QStringLiteral("Messung öffnen..."), CmdOpt->parentWidget());
    CmdOpenRun->setObjectName(QStringLiteral("CmdOpenRun"));
    CmdOpenRun->setGeometry(below.x() + 171, below.y(), 165, below.height());
    connect(CmdSaveRun, &QPushButton::clicked, this, [this] {
        const QString name =
            QFileDialog::getSaveFileName(this, QStringLiteral("Messung speichern"),
                                         QStringLiteral("linearity-run.json"), kRunFilter);
        if (!name.isEmpty()) saveRun(name);
    });
    connect(CmdOpenRun, &QPushButton::clicked, this, [this] {
        const QString name =
            QFileDialog::getOpenFileName(this, QStringLiteral("Messung öffnen"), {}, kRunFilter);
        if (!name.isEmpty()) openRun(name);
    });
}

bool frmResults::saveRun(const QString& fileName) {
    // Mid-run or mid-search the readings or the trim choices are not those of a run.
    if (busy()) return false;
    if (!evaluated_) {
        setStatusText(QStringLiteral("No complete run to save"), zdx::kColourRed);
        return false;
    }
    try {
        RunRecord record = MakeRunRecord(replies_.replies(), data_);
        if (openedRun_ && openedAtRun_ == replies_.runs()) {
            record.calibratorSerial = openedRun_->calibratorSerial;
            record.calibratorId = openedRun_->calibratorId;
            record.meterId = openedRun_->meterId;
            record.time = openedRun_->time;
        } else {
            record.calibratorSerial = state_.DeviceSerial;
            record.time = replies_.startedAt();
            // The identification is looked up now; without it the run is still worth keeping.
            try {
                const UsbDeviceInfo info = usb_.deviceInfo(state_.DeviceSerial, {});
                if (info.result == 0 && info.serial == state_.DeviceSerial)
                    record.calibratorId = info.string6;
            } catch (const std::exception&) {
            }
        }
        WriteRunFile(fileName.toStdString(), record);
    } catch (const RunFileError& error) {
        setStatusText(QString::fromStdString(error.what()), zdx::kColourRed);
        return false;
    }
    setStatusText(QStringLiteral("Saved to ") + QFileInfo(fileName).fileName(), zdx::kColourBlack);
    archiveRun();
    return true;
}

bool frmResults::openRun(const QString& fileName) {
    if (busy()) return false;
    RunRecord record;
    try {
        record = ReadRunFile(fileName.toStdString());
    } catch (const RunFileError& error) {
        setStatusText(QString::fromStdString(error.what()), zdx::kColourRed);
        return false;
    }

    evaluated_ = false;
    CmdOpt->setVisible(false);
    PrepareTable(grid_);
    applyGeometry();
    refreshTable();
    for (QLabel* l : OptiL1) l->clear();
    OptiL3->clear();
    OptiLcnt->clear();
    Results->setVisible(true);

    data_ = ToResultsData(record);
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < kStepCount; ++i) {
        const int row = static_cast<int>(i) + 1;
        showReading(row, 1, record.Mw1[i].volts, false);
        showReading(row, 2, record.Mw2[i].volts, ReadingsDiffer(data_.Mw1[row], data_.Mw2[row]));
        texts.push_back(record.Mw1[i].text);
        texts.push_back(record.Mw2[i].text);
    }
    replies_.setReplies(std::move(texts));

    CalcResults(false);
    ShowResults(false);
    bool trimmed = false;
    for (int row = 1; row <= kStepCount; ++row) {
        const int choice = data_.ShuntSel[static_cast<std::size_t>(row)];
        if (choice == 0) continue;
        Cell& cell = grid_.at(row, 3);
        cell.alignment = kAlignCentre;
        cell.back = kTrimCellChosen;
        cell.text = std::string(kTrimCaptions[static_cast<std::size_t>(choice)]);
        refreshCell(row, 3);
        trimmed = true;
    }
    if (trimmed) {
        CalcResults(true);
        ShowResults(true);
    }
    evaluated_ = true;
    CmdOpt->setVisible(true);
    openedRun_ = std::move(record);
    openedAtRun_ = replies_.runs();
    setStatusText(QStringLiteral("Opened ") + QFileInfo(fileName).fileName() +
                      QStringLiteral(": ") + QString::fromStdString(openedRun_->calibratorSerial) +
                      QStringLiteral(", ") + QString::fromStdString(openedRun_->time),
                  zdx::kColourBlack);
    return true;
}

}  // namespace q270
