// zdx-q270-demo: the Q270 panel for demonstrations (see demo_options.h).
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <memory>

#include "demo_options.h"
#include "frm_kal270.h"
#include "scan_demo.h"
#include "timed_close.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    QString error;
    const auto options = zdx::demo::ParseDemoOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "zdx-q270-demo: %s\n", qPrintable(error));
        return 2;
    }

    q270::ProgramState state;
    q270::frmKal270 window(state, options->programArguments.join(QLatin1Char(' ')));
    window.show();

    std::unique_ptr<q270::ScanDemo> demo;
    if (options->scan) demo = std::make_unique<q270::ScanDemo>(window, options->scanPrefix);
    zdx::demo::CloseAfter(window, options->quitAfterMs, options->snapshot);
    return application.exec();
}
