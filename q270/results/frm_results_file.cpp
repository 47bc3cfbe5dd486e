// Saving the current run of frmResults as a run file and opening one, so an
// earlier unit can be looked at and optimised again without measuring it.
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <exception>

#include "colour_value.h"
#include "frm_results.h"
#include "window_memory.h"

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
        const std::optional<RunRecord> record = recordOnScreen();
        const QString name =
            askFileName(true, QStringLiteral("Messung speichern"),
                        ProposedFileName(unitSerial(), record ? record->time : std::string(),
                                         QStringLiteral("linearity"), QStringLiteral("json")),
                        kRunFilter);
        if (!name.isEmpty()) saveRun(name);
    });
    connect(CmdOpenRun, &QPushButton::clicked, this, [this] {
        const QString name = askFileName(false, QStringLiteral("Messung öffnen"), {}, kRunFilter);
        if (!name.isEmpty()) openRun(name);
    });
}

bool frmResults::saveRun(const QString& fileName) {
    // Mid-run or mid-search the readings or the trim choices are not those of a run.
    if (refuseWhileBusy()) return false;
    std::string why;
    const std::optional<RunRecord> record = recordOnScreen(&why);
    if (!record) {
        setStatusText(
            why.empty() ? QStringLiteral("No complete run to save") : QString::fromStdString(why),
            zdx::kColourRed);
        return false;
    }
    try {
        WriteRunFile(fileName.toStdString(), *record);
    } catch (const RunFileError& error) {
        setStatusText(QString::fromStdString(error.what()), zdx::kColourRed);
        return false;
    }
    setStatusText(QStringLiteral("Saved to ") + QFileInfo(fileName).fileName(), zdx::kColourBlack);
    archiveRun();
    return true;
}

std::string frmResults::calibratorId() {
    // Looked up now; without it the run is still worth keeping.
    try {
        const UsbDeviceInfo info = usb_.deviceInfo(deviceSerial_, {});
        if (info.result == ZDXUSBCAL_OK && info.serial == deviceSerial_) return info.string6;
    } catch (const std::exception&) {
    }
    return {};
}

bool frmResults::openRun(const QString& fileName) {
    if (refuseWhileBusy()) return false;
    RunRecord record;
    try {
        record = ReadRunFile(fileName.toStdString());
    } catch (const RunFileError& error) {
        setStatusText(QString::fromStdString(error.what()), zdx::kColourRed);
        return false;
    }

    clearForNewRun();
    data_ = ToResultsData(record);
    std::vector<std::string> texts;
    for (int step = 1; step <= kStepCount; ++step) {
        showReading(step, kColReading1, record.Mw1[step].volts, false);
        showReading(step, kColReading2, record.Mw2[step].volts,
                    ReadingsDiffer(data_.Mw1[step], data_.Mw2[step]));
        texts.push_back(record.Mw1[step].text);
        texts.push_back(record.Mw2[step].text);
    }
    replies_.setReplies(std::move(texts));

    CalcResults(false);
    ShowResults(false);
    bool trimmed = false;
    for (int step = 1; step <= kStepCount; ++step) {
        const int choice = data_.ShuntSel[static_cast<std::size_t>(step)];
        if (choice == 0) continue;
        ShowTrimChoice(grid_, step, choice);
        refreshCell(step, kColTrim);
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
    updateOffers();
    showStatementLine();
    setStatusText(QStringLiteral("Opened ") + QFileInfo(fileName).fileName() +
                      QStringLiteral(": ") + QString::fromStdString(openedRun_->calibratorSerial) +
                      QStringLiteral(", ") + QString::fromStdString(openedRun_->time),
                  zdx::kColourBlack);
    return true;
}

}  // namespace q270
