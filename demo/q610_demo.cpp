// zdx-q610-demo: the Q610 panel for demonstrations (see demo_options.h).
#include <QApplication>
#include <QStyleFactory>
#include <cstdio>

#include "demo_options.h"
#include "frmusbcal.h"
#include "timed_close.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    QString error;
    const auto options = zdx::demo::ParseDemoOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "zdx-q610-demo: %s\n", qPrintable(error));
        return 2;
    }
    if (options->scan) {
        std::fprintf(stderr, "zdx-q610-demo: --scan is the Q270's measurement\n");
        return 2;
    }

    frmusbCal window;
    window.show();
    zdx::demo::CloseAfter(window, options->quitAfterMs, options->snapshot);
    return application.exec();
}
