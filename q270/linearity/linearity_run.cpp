#include "linearity_run.h"

#include <exception>

#include "meter_reading.h"
#include "results_table.h"
#include "step_sequence.h"
#include "zdxusbcal.h"

namespace q270 {

namespace {

// Resistor label of a step, as column 0 shows it.
std::string resistorOf(int step) {
    return "R " + std::to_string(ResistorOfStep(step));
}

std::string failureText(ReadingFault fault, const std::string& reply, int step, int reading) {
    const std::string where =
        " (" + resistorOf(step) + ", reading " + std::to_string(reading) + "): measurement ended";
    switch (fault) {
        case ReadingFault::Empty:
            return "No reply from the multimeter" + where;
        case ReadingFault::Overload:
            return "Multimeter overload" + where;
        case ReadingFault::Underflow:
            return "Multimeter reply is below the smallest number: \"" + ReplyForDisplay(reply) +
                   "\"" + where;
        case ReadingFault::NotANumber:
            return "Multimeter reply is not a number: \"" + ReplyForDisplay(reply) + "\"" + where;
        case ReadingFault::None:
            break;
    }
    return {};
}

std::string lostText(const std::string& reason, const std::string& where) {
    return "COM1 (multimeter) is no longer available: " + reason + where;
}

// Whatever ends the run, an exception included, COM1 is not left open.
class LineRelease {
  public:
    explicit LineRelease(MeterLink& meter) : meter_(meter) {}
    ~LineRelease() { meter_.Release(); }
    LineRelease(const LineRelease&) = delete;
    LineRelease& operator=(const LineRelease&) = delete;

  private:
    MeterLink& meter_;
};

// The CalCommand results that say the line never reached the calibrator: no
// answer pipe, no command pipe, the write failed. Any other answer, or the lack
// of one, shows only in the readings.
bool stepLineReached(UsbAccess& usb, const std::string& serial, std::string& line) {
    try {
        const int result = usb.exchange(serial, line);
        return result != ZDXUSBCAL_CMD_NO_ANSWER_PIPE && result != ZDXUSBCAL_CMD_NO_COMMAND_PIPE &&
               result != ZDXUSBCAL_CMD_WRITE_FAILED;
    } catch (const std::exception&) {
        return false;  // a library that cannot be bound reaches nothing
    }
}

}  // namespace

RunResult RunLinearity(MeterLink& meter, UsbAccess& usb, const std::string& serial,
                       ResultsData& data, RunObserver& observer) {
    RunResult result;
    const LineRelease release(meter);
    if (!meter.OpenHP()) {
        result.end = RunEnd::MeterPortMissing;
        const std::string failure = meter.openFailure();
        result.message = "Error accessing COM1 (multimeter" +
                         (failure.empty() ? std::string() : ", " + failure) + "): no measurement";
        return result;
    }
    if (const std::string reason = meter.lostReason(); !reason.empty()) {
        result.end = RunEnd::MeterPortLost;
        result.message = lostText(reason, ": no measurement");
        return result;
    }
    // One query of step `step`: the reading in volts as the meter sent it, or
    // false with the run's end set.
    const auto read = [&](int step, int reading, double& volts) {
        const std::string reply = meter.ReadHP(kMeasureQuery);
        if (const std::string reason = meter.lostReason(); !reason.empty()) {
            // Not a silent meter: no later query can reach it.
            result.end = RunEnd::MeterPortLost;
            result.message = lostText(reason, " (" + resistorOf(step) + ", reading " +
                                                  std::to_string(reading) + "): measurement ended");
            return false;
        }
        const MeterReading parsed = ParseMeterReply(reply);
        if (parsed.fault != ReadingFault::None) {
            result.end = RunEnd::MeterFailed;
            result.message = failureText(parsed.fault, reply, step, reading);
            return false;
        }
        volts = parsed.volts;
        return true;
    };
    StepState state;
    for (int i = 1; i <= kStepCount; ++i) {
        const std::string command = StepLine(state);
        observer.selectCell(i, kColReading1);
        Advance(state);
        std::string line = command;
        if (!stepLineReached(usb, serial, line)) {
            // Readings of a divider that never got its step line are another
            // step's voltage: the run ends rather than measure them.
            result.end = RunEnd::CalibratorFailed;
            result.message = "The calibrator " + serial + " did not take its step line (" +
                             resistorOf(i) + "): measurement ended";
            break;
        }
        double volts = 0;
        meter.Delay(kFirstPauseSeconds);
        if (!read(i, 1, volts)) break;
        data.Mw1[i] = static_cast<float>(volts);
        observer.showReading(i, kColReading1, volts, false);

        meter.Delay(kSecondPauseSeconds);
        observer.selectCell(i, kColReading2);
        if (!read(i, 2, volts)) break;
        data.Mw2[i] = static_cast<float>(volts);
        data.MwDiff[i] = data.Mw1[i] - data.Mw2[i];
        observer.showReading(i, kColReading2, volts, ReadingsDiffer(data.Mw1[i], data.Mw2[i]));
        result.steps = i;

        observer.processEvents();
        if (observer.stopPending()) {
            result.end = RunEnd::Stopped;
            break;
        }
    }
    meter.CloseHP();
    return result;
}

}  // namespace q270
