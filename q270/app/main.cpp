// ZDX_Q270: the operator program for the Q270 calibrator. Its command line
// (for example /ZDXEinmessen or /DEV=Q270) goes to the panel as one text.
#include <QApplication>
#include <QStringList>

#include "frm_kal270.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    q270::ProgramState state;
    q270::frmKal270 window(state, arguments.join(QLatin1Char(' ')));
    window.show();
    return application.exec();
}
