// "Verlauf": the archived runs of one unit over time. A list of the runs
// (time, bench, meter, ErrSq, largest |LinErr| with its uncertainty, trims,
// verdict), ErrSq against time, and the 10 % point curves of the earlier runs
// (grey) beside the current one (red), both on scales with units.
#pragma once

#include <QDialog>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "archived_run.h"

class QTableWidget;

namespace q270 {

class frmHistory : public QDialog {
    Q_OBJECT

  public:
    // `current`: the 10 % point errors (1..10) of the complete run on screen,
    // none without one;
    // `verdicts`: one per run. `application` names the settings store that
    // keeps the window's place.
    frmHistory(const std::string& serial, std::vector<ArchivedRun> runs,
               std::vector<std::string> verdicts, const std::optional<PerPoint<double>>& current,
               const QString& application, QWidget* parent = nullptr);

    const std::vector<ArchivedRun>& runs() const { return runs_; }
    // Shown where the user left the last one, on a screen that is there now.
    void setVisible(bool visible) override;

  private:
    std::vector<ArchivedRun> runs_;
    QString application_;
    QTableWidget* list_ = nullptr;
};

}  // namespace q270
