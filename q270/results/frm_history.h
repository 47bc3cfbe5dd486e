// "Verlauf": the archived runs of one unit over time. A list of the runs
// (time, bench, meter, ErrSq, largest |LinErr| with its uncertainty, trims),
// ErrSq against time, and the 10 % point curves of the earlier runs (grey)
// beside the current one (red).
#pragma once

#include <QDialog>
#include <array>
#include <vector>

#include "archived_run.h"

class QTableWidget;

namespace q270 {

class frmHistory : public QDialog {
    Q_OBJECT

  public:
    // `current`: the 10 % point errors (1..10) of the run on screen.
    frmHistory(const std::string& serial, std::vector<ArchivedRun> runs,
               const PerPoint<double>& current, QWidget* parent = nullptr);

    const std::vector<ArchivedRun>& runs() const { return runs_; }

  private:
    std::vector<ArchivedRun> runs_;
    QTableWidget* list_ = nullptr;
};

}  // namespace q270
