// A Q610 panel against a zdx-bench process. The bench is started once per
// test program (the access library binds once per process) and gets a fresh
// scenario for every test; the panel's settings live in a temporary folder.
#pragma once

#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "bench_session.h"
#include "window_probe.h"

namespace q610test {

inline const char* const kQ610Serial = "Q610-00123";

// One Q610 on USB, in remote operation, and LPT1 with a Q610 behind it.
inline std::string usbAndLptScenario(bool remote = true) {
    return std::string(R"({"usb": [{"kind": "Q610", "serial": "Q610-00123", "string6": "Q610 V2.03",
                                    "remote": )") +
           (remote ? "true" : "false") + R"(}],
            "lpt": [{"port": 1, "device": "Q610"}, {"port": 2, "present": false}]})";
}

class BenchPanelTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (bench_ == nullptr) {
            bench_ = std::make_unique<zdx::bench::BenchSession>(usbAndLptScenario());
            // Before the first library call of this process: it binds only once.
            bench_->exportEnvironment();
        }
    }

    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config_.path());
        useScenario(usbAndLptScenario());
    }

    void TearDown() override {
        if (window_ != nullptr) window_->close();
        window_.reset();
    }

    void useScenario(const std::string& json) {
        bench_->loadScenario(json);
        bench_->clearTraffic();
    }

    // Opens the panel (reading the settings stored so far) and runs one cycle.
    frmusbCal& start() {
        window_ = openPanel();
        window_->tick();
        return *window_;
    }

    frmusbCal& panel() { return *window_; }

    std::vector<std::string> sentTo(const std::string& device) const {
        return bench_->linesTo(device);
    }

    // The last line the program sent to a device ("" when none).
    std::string lastSentTo(const std::string& device) const {
        const std::vector<std::string> lines = bench_->linesTo(device);
        return lines.empty() ? std::string() : lines.back();
    }

    static zdx::bench::BenchSession& bench() { return *bench_; }

  private:
    // Lives until the test program ends; its destructor stops the bench.
    static inline std::unique_ptr<zdx::bench::BenchSession> bench_;
    QTemporaryDir config_;
    std::unique_ptr<frmusbCal> window_;
};

}  // namespace q610test
