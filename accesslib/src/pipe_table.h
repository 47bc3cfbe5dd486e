// The table of open pipes. A pipe is named by its slot number (0..63); each
// slot owns a read buffer from which answer lines are taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "constants.h"
#include "device_finder.h"
#include "platform.h"
#include "setup_binding.h"

namespace zdx {

struct PipeSlot {
    bool in_use = false;
    PlatformHandle handle = kInvalidHandle;
    std::uint32_t buffer_size = 0;  // set on first use, kept afterwards
    std::uint32_t available = 0;    // unread bytes in the buffer
    std::uint32_t read_position = 0;
    std::unique_ptr<std::uint8_t[]> buffer;
};

class PipeTable {
  public:
    PipeTable(const PlatformOps& ops, SetupBinding& binding, DeviceFinder& finder)
        : ops_(ops), binding_(binding), finder_(finder) {}

    // Opens pipe `pipe_name` of the device with this serial (null: the first
    // device). Returns the slot number, kPipeOpenFailed, or kSetupMissing.
    // A device path too long for the 256-byte pipe path fails the open.
    int open(const char* serial, const char* pipe_name);

    // Nonzero when the pipe was closed; 0 for a slot out of range or not in
    // use; kSetupMissing when the setup library is not bound.
    int close(int slot);

    // Writes `length` bytes in chunks of at most the buffer size. kOk,
    // kPipeWriteRefused (refused or short), kPipeTimeout (more than
    // `timeout_ms` elapsed after a chunk), kPipeBadSlot, kSetupMissing.
    int write(int slot, const void* data, std::uint32_t length, std::uint32_t timeout_ms);

    // Reads bytes into `dest` until `terminator` (kept, then a NUL) or until
    // `maximum` bytes were taken (no NUL added). `dest` holds `dest_size`
    // bytes; the maximum is lowered to dest_size - 1 so that nothing is ever
    // written past it. `count` receives the bytes delivered. Results: kOk,
    // kPipeTimeout (dest NUL-terminated after what was delivered),
    // kPipeBadSlot (also a refused read), kSetupMissing.
    int read_line(int slot, char* dest, std::size_t dest_size, std::uint32_t maximum,
                  char terminator, std::uint32_t* count, std::uint32_t timeout_ms);

    const PipeSlot& slot(int index) const { return slots_[index]; }

  private:
    bool valid(int slot) const { return slot >= 0 && slot < kPipeSlots && slots_[slot].in_use; }

    const PlatformOps& ops_;
    SetupBinding& binding_;
    DeviceFinder& finder_;
    PipeSlot slots_[kPipeSlots];
};

}  // namespace zdx
