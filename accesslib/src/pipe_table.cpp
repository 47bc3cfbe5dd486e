#include "pipe_table.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zdx {

int PipeTable::open(const char* serial, const char* pipe_name) {
    if (binding_.bind() != kOk) return kSetupMissing;

    int slot = 0;
    while (slot < kPipeSlots && slots_[slot].in_use) ++slot;
    if (slot == kPipeSlots) return kPipeOpenFailed;

    OpenDevice device;
    if (!finder_.find_and_open(serial, &device)) return kPipeOpenFailed;
    finder_.close(device.handle);

    const std::size_t path_length = std::strlen(device.path);
    const std::size_t name_length = std::strlen(pipe_name);
    if (path_length + 1 + name_length >= kPipePathField) return kPipeOpenFailed;
    char pipe_path[kPipePathField];
    std::memcpy(pipe_path, device.path, path_length);
    pipe_path[path_length] = '\\';
    std::memcpy(pipe_path + path_length + 1, pipe_name, name_length + 1);

    const PlatformHandle handle = ops_.open(pipe_path, OpenMode::ReadWriteShared);
    if (handle == kInvalidHandle) return kPipeOpenFailed;

    PipeSlot& entry = slots_[slot];
    if (entry.buffer_size == 0) entry.buffer_size = kPipeBufferSize;
    entry.buffer.reset(new (std::nothrow) std::uint8_t[entry.buffer_size]);
    if (!entry.buffer) {
        ops_.close(handle);
        return kPipeOpenFailed;
    }
    entry.in_use = true;
    entry.handle = handle;
    entry.available = 0;
    entry.read_position = 0;
    return slot;
}

int PipeTable::close(int slot) {
    if (!binding_.loaded()) return kSetupMissing;
    if (!valid(slot)) return 0;
    PipeSlot& entry = slots_[slot];
    entry.buffer.reset();
    const int result = ops_.close(entry.handle);
    entry.in_use = false;
    entry.handle = kInvalidHandle;
    entry.available = 0;
    entry.read_position = 0;
    return result;
}

int PipeTable::write(int slot, const void* data, std::uint32_t length, std::uint32_t timeout_ms) {
    if (!binding_.loaded()) return kSetupMissing;
    if (!valid(slot)) return kPipeBadSlot;
    const PipeSlot& entry = slots_[slot];
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::uint32_t start = ops_.clock_ms();
    while (length > 0) {
        const std::uint32_t chunk = std::min(length, entry.buffer_size);
        std::uint32_t written = 0;
        if (!ops_.write(entry.handle, bytes, chunk, &written) || written < chunk) {
            return kPipeWriteRefused;
        }
        // Unsigned difference: correct across the clock's wrap at 2^32.
        if (static_cast<std::uint32_t>(ops_.clock_ms() - start) > timeout_ms) return kPipeTimeout;
        bytes += chunk;
        length -= chunk;
    }
    return kOk;
}

int PipeTable::read_line(int slot, char* dest, std::size_t dest_size, std::uint32_t maximum,
                         char terminator, std::uint32_t* count, std::uint32_t timeout_ms) {
    if (!binding_.loaded()) return kSetupMissing;
    dest[0] = '\0';
    *count = 0;
    if (!valid(slot)) return kPipeBadSlot;
    maximum = static_cast<std::uint32_t>(
        std::min<std::size_t>(maximum, dest_size > 0 ? dest_size - 1 : 0));
    PipeSlot& entry = slots_[slot];
    const std::uint32_t start = ops_.clock_ms();
    std::uint32_t position = 0;
    while (position < maximum) {
        while (entry.available == 0) {
            entry.read_position = 0;
            std::uint32_t got = 0;
            if (!ops_.read(entry.handle, entry.buffer.get(), entry.buffer_size, &got)) {
                return kPipeBadSlot;
            }
            entry.available = std::min(got, entry.buffer_size);
            if (static_cast<std::uint32_t>(ops_.clock_ms() - start) > timeout_ms) {
                entry.available = 0;
                dest[position] = '\0';
                return kPipeTimeout;
            }
        }
        const auto byte = static_cast<char>(entry.buffer[entry.read_position]);
        ++entry.read_position;
        --entry.available;
        dest[position++] = byte;
        ++*count;
        if (byte == terminator) {
            dest[position] = '\0';
            return kOk;
        }
    }
    return kOk;
}

}  // namespace zdx
