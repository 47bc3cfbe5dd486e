// The spool folder: runs that could not be archived yet, one file each,
// named by run ID. A spool file is a JSON object of format "zdx-q270-spool"
// that holds the run file of the run (docs/run-file.md) under "run", beside
// what the archive keeps of it besides (run ID, bench, operator, program
// version, trim decision). Files are written whole or not at all.
#pragma once

#include <string>
#include <vector>

#include "archived_run.h"

namespace q270 {

class Spool {
  public:
    explicit Spool(std::string folder) : folder_(std::move(folder)) {}

    const std::string& folder() const { return folder_; }
    // Keeps the run; throws RunFileError when the file cannot be written.
    void keep(const ArchivedRun& run) const;
    // The spool files, oldest first.
    std::vector<std::string> files() const;
    // The run of a spool file; throws RunFileError when it is refused.
    ArchivedRun read(const std::string& path) const;
    // A file that cannot be read is moved aside (FILE.refused), so it does not
    // hold up the others and is not lost either.
    void setAside(const std::string& path) const;
    void remove(const std::string& path) const;

  private:
    std::string folder_;
};

// The text of a spool file for a run, and the run of such a text (`name`
// starts every error message).
std::string SpoolText(const ArchivedRun& run);
ArchivedRun ParseSpoolText(const std::string& text, const std::string& name);

}  // namespace q270
