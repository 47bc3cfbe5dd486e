// Window tests of frmKal270 against one zdx-bench process per test program: the
// access library binds once per process, so every test loads its own scenario
// into the same bench. Settings live in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bench_environment.h"
#include "bench_session.h"
#include "colour_value.h"
#include "frm_kal270.h"

namespace q270::testing {

inline const char* kQ270Serial = "Q270S9-00417";

inline std::string q270Scenario(const std::string& extra = "") {
    return R"({"usb": [{"kind": "Q270", "serial": "Q270S9-00417", "id": "Q270S9 V1.18")" + extra +
           R"(}], "serial": [{"com": 2, "kind": "Q270", "serial": "Q270S9-00418",
           "id": "Q270S9 V1.18"}]})";
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QSettings store("ZDX", "ZDXKalQ270");
        store.clear();
        store.sync();
        bench_->loadScenario(q270Scenario());
        bench_->clearTraffic();
    }

    frmKal270& open(const QString& commandLine = {}, Clock* clock = nullptr) {
        state_ = std::make_unique<ProgramState>();
        window_ = std::make_unique<frmKal270>(*state_, commandLine, nullptr, clock);
        window_->show();
        return *window_;
    }
    void closeWindow() {
        if (window_) window_->close();
    }
    void TearDown() override {
        closeWindow();
        window_.reset();
    }

    // Makes the next timer event run a cycle, and runs it.
    void cycle() {
        window_->state().CycleCountdown = 1;
        window_->tick();
    }

    template <typename T = QWidget>
    T* control(const char* name) {
        T* found = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    std::string text(const char* name) {
        if (auto* edit = window_->findChild<QPlainTextEdit*>(name))
            return edit->toPlainText().toStdString();
        if (auto* line = window_->findChild<QLineEdit*>(name)) return line->text().toStdString();
        if (auto* label = window_->findChild<QLabel*>(name)) return label->text().toStdString();
        if (auto* b = window_->findChild<QAbstractButton*>(name)) return b->text().toStdString();
        ADD_FAILURE() << "no text control " << name;
        return {};
    }
    // txtMessages' text exactly as the window set it, CR LF included.
    std::string messages() {
        return control("txtMessages")->property("messageText").toString().toStdString();
    }
    std::uint32_t back(const char* name) { return zdx::backColour(control(name)); }
    std::uint32_t fore(const char* name) { return zdx::foreColour(control(name)); }
    bool visible(const char* name) { return !control(name)->isHidden(); }

    std::vector<std::string> linesTo(const std::string& device) { return bench_->linesTo(device); }
    static bool contains(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // The bench of the whole test program, and its settings folder.
    static inline std::unique_ptr<zdx::bench::BenchSession>& bench_ =
        zdx::testing::BenchEnvironment::add(q270Scenario()).bench();
    std::unique_ptr<ProgramState> state_;
    std::unique_ptr<frmKal270> window_;
};

}  // namespace q270::testing
