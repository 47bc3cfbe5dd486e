// The spool folder: runs not confirmed by the archive yet, one file each,
// named by run ID. A spool file is a JSON object of format "zdx-q270-spool"
// that holds the run file of the run (docs/run-file.md) under "run", beside
// what the archive keeps of it besides (run ID, bench, operator, program
// version, trim decision, as-left link, acceptance). Files are written whole
// or not at all, and on disk before they count as kept.
#pragma once

#include <string>
#include <vector>

#include "archived_run.h"

namespace q270 {

// Why a spool file gives no run.
class SpoolFileError : public RunFileError {
  public:
    enum class Kind {
        Unreadable,  // could not be read now (a lock, a share away): tried again later
        Newer,       // written by a newer program: left for it
        Refused,     // no spool file this program can ever read
    };
    SpoolFileError(Kind kind, const std::string& what) : RunFileError(what), kind_(kind) {}
    Kind kind() const { return kind_; }

  private:
    Kind kind_;
};

class Spool {
  public:
    explicit Spool(std::string folder) : folder_(std::move(folder)) {}

    const std::string& folder() const { return folder_; }
    // Keeps the run durably (the file synced, then the folder); gives the
    // file's path. Throws RunFileError when it cannot be kept.
    std::string keep(const ArchivedRun& run) const;
    // The spool files waiting, oldest first.
    std::vector<std::string> files() const;
    // The files set aside (FILE.refused, FILE.conflict), by name.
    std::vector<std::string> setAsideFiles() const;
    // The run of a spool file; throws SpoolFileError.
    ArchivedRun read(const std::string& path) const;
    // Moves a file aside as FILE.suffix, so that it holds up no other and is
    // not lost either; false when it cannot be moved.
    bool setAside(const std::string& path, const std::string& suffix) const;
    // False when the file is still there afterwards.
    bool remove(const std::string& path) const;

  private:
    std::string folder_;
};

// The text of a spool file for a run, and the run of such a text (`name`
// starts every error message). ParseSpoolText is total: any text gives a
// run or a SpoolFileError.
std::string SpoolText(const ArchivedRun& run);
ArchivedRun ParseSpoolText(const std::string& text, const std::string& name);

}  // namespace q270
