// A linearity measurement without an operator, for demonstrations on a
// machine without a display: once the panel is online it asks for a run as the
// "Spez" button does, saves pictures of the results window during and after
// the run, prints the table, then closes the results view and the program.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace q270 {

class frmKal270;
class frmResults;

class ScanDemo : public QObject {
    Q_OBJECT

  public:
    // Pictures go to `<prefix>-running.png`, `<prefix>.png` and `<prefix>-plot.png`.
    ScanDemo(frmKal270& window, QString picturePrefix);

  private:
    void step();
    void finish();
    void optimise(frmResults& results);

    frmKal270& window_;
    QString prefix_;
    QTimer poll_;
    // Waiting for the panel to go online, for the run's middle step (a picture),
    // for the run's end; then done.
    enum class Phase { AwaitOnline, AwaitMidRun, AwaitEnd, Done };
    Phase phase_ = Phase::AwaitOnline;
};

}  // namespace q270
