#include "scan_links.h"

#include "calibration.h"
#include "meter_register.h"
#include "tool_output.h"

namespace zdxtool {

std::string AsLeftProblem(const std::optional<q270::ArchivedRun>& asFound, const std::string& runId,
                          const std::string& serial) {
    if (!asFound) return "no run " + Quoted(runId) + " in the archive";
    if (asFound->record.calibratorSerial != serial)
        return "run " + Quoted(runId) + " measured " + Quoted(asFound->record.calibratorSerial) +
               ", not " + Quoted(serial);
    if (asFound->asLeftOf)
        return "run " + Quoted(runId) + " is itself the as-left run of " +
               Quoted(*asFound->asLeftOf);
    if (!q270::FitsTrims(*asFound))
        return "run " + Quoted(runId) +
               " has no trim decision with trim resistors: it is its own as-left run "
               "(record one with decide first)";
    return {};
}

std::string MeterWarning(q270::SqlArchive& archive, const std::optional<std::string>& meterId,
                         const std::string& nowUtc) {
    if (!meterId) return "no reference meter is named (--meter-id or Archive/MeterId)";
    q270::MeterRegister meters(archive);
    const q270::MeterOfRun meter = q270::MeterInForce(meterId, nowUtc, meters.entriesOf(*meterId));
    switch (meter.standing) {
        case q270::MeterStanding::InDate:
            return {};
        case q270::MeterStanding::PastDue:
            return "the reference meter " + Quoted(*meterId) + " is past its due date (" +
                   meter.entry->due + ")";
        case q270::MeterStanding::NotRecorded:
        case q270::MeterStanding::Unknown:
            break;
    }
    return "the reference meter " + Quoted(*meterId) + " is not in the meter register";
}

}  // namespace zdxtool
