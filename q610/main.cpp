// ZDX_Q610: the operator panel of the Q610 calibrator.
//
// For demonstrations and screenshots, ZDX_QUIT_AFTER_MS=<ms> closes the panel
// normally after that time (so it ends remote operation and stores its
// settings), and ZDX_SNAPSHOT=<file.png> saves a picture of it just before.
#include <QApplication>
#include <QPixmap>
#include <QStyleFactory>
#include <QTimer>

#include "frmusbcal.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    frmusbCal window;
    window.show();

    bool ok = false;
    const int quitAfterMs = qEnvironmentVariableIntValue("ZDX_QUIT_AFTER_MS", &ok);
    if (ok && quitAfterMs >= 0) {
        QTimer::singleShot(quitAfterMs, &window, [&window] {
            const QString snapshot = qEnvironmentVariable("ZDX_SNAPSHOT");
            if (!snapshot.isEmpty()) window.grab().save(snapshot, "PNG");
            window.close();
        });
    }
    return app.exec();
}
