// The register of reference meters a lab's benches share, kept in the
// archive: each meter's certificates, one entry per calibration (ID, model,
// serial number, certificate, calibration date, due date). A run's meter is
// the entry in force when the run started: the latest calibration of its
// meter ID on or before that day.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sql_archive.h"

namespace q270 {

// Dates "YYYY-MM-DD".
struct ReferenceMeter {
    std::string id, model, serial, certificate, calibrated, due;
};

// Why an entry cannot be registered (a text with control characters, an
// empty ID or certificate, a date that is no date, due not after
// calibrated); empty when it can.
std::string MeterEntryProblem(const ReferenceMeter& meter);

// How a run's meter stands in the register.
enum class MeterStanding {
    NotRecorded,  // the run names no meter
    Unknown,      // no entry of its ID in force when the run started
    PastDue,      // the entry in force was past its due date
    InDate,
};

struct MeterOfRun {
    MeterStanding standing = MeterStanding::NotRecorded;
    std::optional<ReferenceMeter> entry;  // the entry in force, if any
};

// The entry in force on the run's day among a meter's entries, and its
// standing. `runTime`: UTC, "YYYY-MM-DDTHH:MM:SSZ".
MeterOfRun MeterInForce(const std::optional<std::string>& meterId, const std::string& runTime,
                        const std::vector<ReferenceMeter>& entries);

// The register in an open archive (the archive's connection, its thread).
class MeterRegister {
  public:
    // Creates the register's table when the archive has none yet.
    explicit MeterRegister(SqlArchive& archive);

    // Throws ArchiveError with the reason for an entry that cannot be kept
    // or an archive that cannot be written; an entry of the same ID and
    // certificate is refused too (a certificate is registered once).
    void add(const ReferenceMeter& meter);
    // Every entry, by ID then calibration date.
    std::vector<ReferenceMeter> all();
    std::vector<ReferenceMeter> entriesOf(const std::string& id);

  private:
    std::vector<ReferenceMeter> select(const QString& condition, const QString& value);

    SqlArchive& archive_;
};

}  // namespace q270
