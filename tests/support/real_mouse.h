// Mouse presses and releases delivered through the window system, as a real
// mouse gives them. Within the double-click time Qt turns the second press of
// a quick pair into a MouseButtonDblClick: the control sees press, release,
// double-click, release. QTest's widget functions never make that sequence.
#pragma once

#include <QEvent>
#include <QList>
#include <QObject>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace zdx::testing {

class RealMouse {
  public:
    // Far from any earlier press, so the first press of this mouse is a single one.
    RealMouse() : timestamp_(QTest::lastMouseTimestamp + 10000) {}
    ~RealMouse() { QTest::lastMouseTimestamp = timestamp_ + 10000; }

    // A press `afterMs` after the previous event, and its release 50 ms later.
    void click(QWidget* control, Qt::MouseButton button, int afterMs = 150) {
        press(control, button, afterMs);
        release(control, button);
    }
    void press(QWidget* control, Qt::MouseButton button, int afterMs = 150) {
        send(control, button, button, QEvent::MouseButtonPress, afterMs);
    }
    void release(QWidget* control, Qt::MouseButton button, int afterMs = 50) {
        send(control, Qt::NoButton, button, QEvent::MouseButtonRelease, afterMs);
    }

  private:
    // Delivered at once (the window system's synchronous delivery), without
    // running the event loop, so no timer event slips in between.
    void send(QWidget* control, Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
              int afterMs) {
        timestamp_ += afterMs;
        QWidget* top = control->window();
        const QPoint centre = control->rect().center();
        qt_handleMouseEvent(top->windowHandle(), control->mapTo(top, centre),
                            control->mapToGlobal(centre), state, button, type, Qt::NoModifier,
                            timestamp_);
    }

    int timestamp_;
};

// The mouse event types a control received, in order.
class MouseEventLog : public QObject {
  public:
    explicit MouseEventLog(QWidget* control) { control->installEventFilter(this); }
    QList<QEvent::Type> types;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
            type == QEvent::MouseButtonDblClick)
            types.append(type);
        return false;
    }
};

}  // namespace zdx::testing
