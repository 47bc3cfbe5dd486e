// The twenty-step linearity run: each step sets the calibrator's divider with
// one "K1Y" line over USB and reads the multimeter twice. The window sees the
// run through a RunObserver; the readings land in ResultsData.
#pragma once

#include <string>

#include "evaluation.h"
#include "meter_link.h"
#include "usb_access.h"

namespace q270 {

inline constexpr const char* kMeasureQuery = "MEAS:VOLT:DC? 1,1E-6";
inline constexpr float kFirstPauseSeconds = 0.6f;
inline constexpr float kSecondPauseSeconds = 0.7f;

class RunObserver {
  public:
    virtual ~RunObserver() = default;
    // The table's current cell (row = step 1..20, column 1 or 2).
    virtual void selectCell(int row, int column) = 0;
    // A reading arrived; `differs` only for the second one (column 2).
    virtual void showReading(int row, int column, double volts, bool differs) = 0;
    // The one point of a step where window events get through.
    virtual void processEvents() = 0;
    virtual bool stopPending() = 0;
};

enum class RunEnd {
    Complete,          // all twenty steps measured
    Stopped,           // StopRequest seen after a step
    MeterPortMissing,  // COM1 could not be opened; nothing was sent
    MeterPortLost,     // COM1 went away under the run (its device removed)
    MeterFailed,       // a reading was empty, not a number, an overload or an underflow
    CalibratorFailed,  // a step line did not reach the calibrator
};

struct RunResult {
    RunEnd end = RunEnd::Complete;
    int steps = 0;        // steps whose two readings are in
    std::string message;  // for the operator, empty when complete or stopped
};

// Runs the measurement on `data` (Mw1, Mw2, MwDiff of the steps measured).
// The meter is returned to local and its port closed on every path that
// opened it.
RunResult RunLinearity(MeterLink& meter, UsbAccess& usb, const std::string& serial,
                       ResultsData& data, RunObserver& observer);

}  // namespace q270
