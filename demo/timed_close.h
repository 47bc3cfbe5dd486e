#pragma once

#include <QString>

class QWidget;

namespace zdx::demo {

// After `afterMs` the window is grabbed into `snapshot` (when one is named) and
// closed the normal way, so the panel's shut-down (local operation, settings)
// still runs. Nothing happens for a negative time.
void CloseAfter(QWidget& window, int afterMs, const QString& snapshot);

}  // namespace zdx::demo
