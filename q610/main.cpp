// ZDX_Q610: the operator panel of the Q610 calibrator.
#include <QApplication>
#include <QStyleFactory>

#include "frmusbcal.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    frmusbCal window;
    window.show();
    return app.exec();
}
