#include "linearity_run.h"

#include <exception>

#include "meter_reading.h"
#include "results_table.h"
#include "step_sequence.h"

namespace q270 {

namespace {

// Resistor label of a step, as column 0 shows it.
std::string resistorOf(int step) {
    return "R " + std::to_string(117 - step);
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

// CalCommand results that say the line never reached the calibrator: no
// answer pipe, no command pipe, the write failed. Its answer, or the lack of
// one, shows only in the readings.
constexpr int kNoAnswerPipe = -2;
constexpr int kNoCommandPipe = -3;
constexpr int kWriteFailed = -4;

bool stepLineReached(UsbAccess& usb, const std::string& serial, std::string& line) {
    try {
        const int result = usb.exchange(serial, line);
        return result != kNoAnswerPipe && result != kNoCommandPipe && result != kWriteFailed;
    } catch (const std::exception&) {
        return false;  // a library that cannot be bound reaches nothing
    }
}

}  // namespace

RunResult RunLinearity(MeterLink& meter, UsbAccess& usb, const std::string& serial,
                       ResultsData& data, RunObserver& observer) {
    RunResult result;
    if (!meter.OpenHP()) {
        result.end = RunEnd::MeterPortMissing;
        result.message = "Error accessing COM1 (multimeter): no measurement";
        return result;
    }
    StepState state;
    for (int i = 1; i <= 20; ++i) {
        const std::string command = StepLine(state);
        observer.selectCell(i, 1);
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
        meter.Delay(kFirstPauseSeconds);

        const std::string first = meter.ReadHP(kMeasureQuery);
        const MeterReading reading1 = ParseMeterReply(first);
        if (reading1.fault != ReadingFault::None) {
            result.end = RunEnd::MeterFailed;
            result.message = failureText(reading1.fault, first, i, 1);
            break;
        }
        data.Mw1[i] = static_cast<float>(reading1.volts);
        observer.showReading(i, 1, reading1.volts, false);

        meter.Delay(kSecondPauseSeconds);
        observer.selectCell(i, 2);
        const std::string second = meter.ReadHP(kMeasureQuery);
        const MeterReading reading2 = ParseMeterReply(second);
        if (reading2.fault != ReadingFault::None) {
            result.end = RunEnd::MeterFailed;
            result.message = failureText(reading2.fault, second, i, 2);
            break;
        }
        data.Mw2[i] = static_cast<float>(reading2.volts);
        data.MwDiff[i] = data.Mw1[i] - data.Mw2[i];
        observer.showReading(i, 2, reading2.volts, ReadingsDiffer(data.Mw1[i], data.Mw2[i]));
        result.steps = i;

        observer.processEvents();
        if (observer.stopRequested()) {
            result.end = RunEnd::Stopped;
            break;
        }
    }
    meter.CloseHP();
    return result;
}

}  // namespace q270
