// ZDX_Q270: the operator program for the Q270 calibrator.
//
// ZDX_SNAPSHOT=<file.png> and ZDX_QUIT_AFTER_MS=<ms> (for demonstrations and
// screenshots): after that time the window is grabbed into the file, if one is
// named, and closed the normal way, so the shut-down still runs.
//
// ZDX_DEMO_SCAN=<prefix> (for demonstrations without a display): runs one
// linearity measurement as soon as the panel is online, saves pictures of the
// results window under the prefix, prints the table and ends.
#include <QApplication>
#include <QPixmap>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "frm_kal270.h"
#include "scan_demo.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    static q270::ProgramState state;
    q270::frmKal270 window(state, arguments.join(QLatin1Char(' ')));
    window.show();

    std::unique_ptr<q270::ScanDemo> demo;
    if (qEnvironmentVariableIsSet("ZDX_DEMO_SCAN"))
        demo = std::make_unique<q270::ScanDemo>(window, qEnvironmentVariable("ZDX_DEMO_SCAN"));

    bool ok = false;
    const int quitAfter = qEnvironmentVariableIntValue("ZDX_QUIT_AFTER_MS", &ok);
    if (ok && quitAfter >= 0) {
        QTimer::singleShot(quitAfter, &window, [&window] {
            const QString snapshot = qEnvironmentVariable("ZDX_SNAPSHOT");
            if (!snapshot.isEmpty()) window.grab().save(snapshot);
            window.close();
        });
    }
    return application.exec();
}
