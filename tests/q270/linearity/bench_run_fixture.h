// A linearity run through the core against the bench, with one fault put
// on the bench as a chosen step begins: the faults a run meets, the observer
// that applies them, and a fixture with one bench for a whole test program.
#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <iterator>
#include <memory>
#include <thread>

#include "bench_session.h"
#include "linearity_run.h"
#include "meter_link.h"
#include "reply_recorder.h"
#include "run_file.h"
#include "serial_port.h"
#include "skip_clock.h"
#include "usb_access.h"

namespace q270 {

using q270::testing::SkipClock;
using zdx::bench::BenchSession;

inline constexpr const char* kCalibrator = "Q270S9-00417";

inline const std::string kScenario = std::string(R"({"usb": [{"kind": "Q270", "serial": ")") +
                                     kCalibrator + R"(", "id": "Q270S9 V1.18"}],
    "serial": [{"com": 1, "kind": "meter", "calibrator": ")" +
                                     kCalibrator + R"(", "reading_ms": 1, "settle_ms": 0}]})";

struct Fault {
    const char* name;
    std::function<void(BenchSession&)> apply;
    const char* words;   // in the run's message
    bool meterHearsLoc;  // the meter still gets "SYST:LOC"
};

inline const Fault kFaults[] = {
    {"MeterSilent", [](BenchSession& b) { b.setFault("COM1", "silent"); },
     "No reply from the multimeter", true},
    {"MeterLate", [](BenchSession& b) { b.setFault("COM1", "late"); },
     "No reply from the multimeter", true},
    {"MeterGarbage", [](BenchSession& b) { b.setFault("COM1", "garbage"); }, "is not a number",
     true},
    {"MeterOverload", [](BenchSession& b) { b.setFault("COM1", "overload"); },
     "Multimeter overload", true},
    {"MeterUnplugged", [](BenchSession& b) { b.unplug("COM1"); }, "No reply from the multimeter",
     false},
    {"CalibratorUnplugged", [](BenchSession& b) { b.unplug(kCalibrator); },
     "did not take its step line", true},
    {"CalibratorRefusesCommandPipe",
     [](BenchSession& b) { b.setFault(kCalibrator, "refuse_command_pipe"); },
     "did not take its step line", true},
    {"Com1TakenAway", [](BenchSession& b) { b.takeAway("COM1"); },
     "COM1 (multimeter) is no longer available", false},
};

// Applies the fault as step `faultStep` begins, before its step line.
class FaultingObserver : public RunObserver {
  public:
    FaultingObserver(BenchSession& bench, const Fault* fault, int faultStep)
        : bench_(bench), fault_(fault), faultStep_(faultStep) {}
    void selectCell(int row, int column) override {
        if (fault_ != nullptr && column == 1 && row == faultStep_) fault_->apply(bench_);
    }
    void showReading(int, int, double, bool) override {}
    void processEvents() override {}
    bool stopPending() override { return false; }

  private:
    BenchSession& bench_;
    const Fault* fault_;
    int faultStep_;
};

class BenchRunTest : public ::testing::Test {
  public:
    // One bench for the whole program: the library binds to the first bench
    // it meets and keeps it.
    class Environment : public ::testing::Environment {
      public:
        void SetUp() override {
            bench_ = new BenchSession(kScenario);
            bench_->exportEnvironment();
            configDir_ = new QTemporaryDir;
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configDir_->path());
        }
        void TearDown() override {
            delete bench_;
            delete configDir_;
        }
    };

  protected:
    void SetUp() override { bench_->loadScenario(kScenario); }

    struct Outcome {
        RunResult result;
        std::vector<std::string> replies;
        bool portLeftOpen = false;  // the program's own view of COM1 after the run
    };
    Outcome run(const Fault* fault, int faultStep) {
        SerialPort port{QStringLiteral("ZDXKalQ270")};
        SerialMeterPort meterPort(port);
        ReplyRecorder recorder(meterPort);
        MeterLink meter(recorder, clock_);
        LibraryUsbAccess usb;
        ResultsData data;
        FaultingObserver observer(*bench_, fault, faultStep);
        Outcome outcome{RunLinearity(meter, usb, kCalibrator, data, observer), recorder.replies(),
                        false};
        outcome.portLeftOpen = port.isOpen();
        return outcome;
    }

    // The meter once the bench has seen the program's last line and its
    // close of COM1 (it learns of both a moment after they happen).
    static zdx::bench::MeterStatus settledMeter(bool expectLocal) {
        zdx::bench::MeterStatus status = bench_->meter(1);
        for (int i = 0; i < 40 && (status.portOpen || (expectLocal && status.remote)); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            status = bench_->meter(1);
        }
        return status;
    }

    static BenchSession* bench_;
    static QTemporaryDir* configDir_;
    SkipClock clock_;
};

inline BenchSession* BenchRunTest::bench_ = nullptr;
inline QTemporaryDir* BenchRunTest::configDir_ = nullptr;
inline ::testing::Environment* const kBenchRunEnvironment =
    ::testing::AddGlobalTestEnvironment(new BenchRunTest::Environment);

}  // namespace q270
