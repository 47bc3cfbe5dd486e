#include "timed_close.h"

#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace zdx::demo {

void CloseAfter(QWidget& window, int afterMs, const QString& snapshot) {
    if (afterMs < 0) return;
    QTimer::singleShot(afterMs, &window, [&window, snapshot] {
        if (!snapshot.isEmpty() && !window.grab().save(snapshot, "PNG"))
            std::fprintf(stderr, "Could not save the picture %s\n", qPrintable(snapshot));
        window.close();
    });
}

}  // namespace zdx::demo
