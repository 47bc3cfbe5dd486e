// Reading and driving the Q610 panel through its named controls, as an
// operator would: mouse clicks on buttons, texts and colours of the controls.
#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "colour_value.h"
#include "frmusbcal.h"

namespace q610test {

template <class Control = QWidget>
Control* control(frmusbCal& window, const char* name) {
    auto* found = window.findChild<Control*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << "no control " << name;
    return found;
}

inline std::uint32_t backColor(frmusbCal& window, const char* name) {
    return zdx::backColour(control(window, name));
}

inline void click(frmusbCal& window, const char* name, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(control<QPushButton>(window, name), button);
}

inline void press(frmusbCal& window, const char* name, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mousePress(control<QPushButton>(window, name), button);
}

inline void release(frmusbCal& window, const char* name, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseRelease(control<QPushButton>(window, name), button);
}

// txtMessages' text exactly as the window set it, CR LF included.
inline std::string messages(frmusbCal& window) {
    return control(window, "txtMessages")->property("messageText").toString().toStdString();
}

// txtMessages as shown; line breaks as "\n".
inline std::string shownMessages(frmusbCal& window) {
    return control<QPlainTextEdit>(window, "txtMessages")->toPlainText().toStdString();
}

inline std::uint32_t messagesColour(frmusbCal& window) {
    return zdx::foreColour(control(window, "txtMessages"));
}

// Textremo's text while it is shown, "" while it is hidden.
inline std::string remark(frmusbCal& window) {
    auto* textremo = control<QLineEdit>(window, "Textremo");
    return textremo->isVisibleTo(&window) ? textremo->text().toStdString() : std::string();
}

inline std::string statusPanel(frmusbCal& window) {
    auto* bar = control<QStatusBar>(window, "StatusBar");
    return bar->findChild<QLabel*>(QStringLiteral("Panels_1"))->text().toStdString();
}

// The panel as the tests use it: shown, with its timer stopped so that only
// the test decides when a cycle runs.
inline std::unique_ptr<frmusbCal> openPanel() {
    auto window = std::make_unique<frmusbCal>();
    control<QTimer>(*window, "TimerTick")->stop();
    window->show();
    return window;
}

// The stored settings, read and written as another program would.
inline void storeSettings(const QString& connection, const QString& outputBits) {
    QSettings settings(QStringLiteral("ZDX"), QStringLiteral("ZDXUSB_Cal"));
    if (!connection.isNull()) settings.setValue("Properties/Connection", connection);
    if (!outputBits.isNull()) settings.setValue("Properties/Q610State", outputBits);
    settings.sync();
}

inline QString storedValue(const char* key) {
    QSettings settings(QStringLiteral("ZDX"), QStringLiteral("ZDXUSB_Cal"));
    return settings.value(QStringLiteral("Properties/") + QLatin1String(key)).toString();
}

}  // namespace q610test
