// Bytes that end exactly where readable memory ends: one page followed by a
// page without access, so a read past the last byte faults at once.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace zdx::testing {

class GuardPage {
  public:
    GuardPage() : page_(static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))) {
        void* map =
            ::mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED) throw std::runtime_error("mmap failed");
        base_ = static_cast<char*>(map);
        if (::mprotect(base_ + page_, page_, PROT_NONE) != 0) {
            ::munmap(base_, 2 * page_);
            throw std::runtime_error("mprotect failed");
        }
    }
    ~GuardPage() { ::munmap(base_, 2 * page_); }
    GuardPage(const GuardPage&) = delete;
    GuardPage& operator=(const GuardPage&) = delete;

    // Copies `bytes` so that the last one is the last readable byte.
    char* place(std::string_view bytes) {
        char* start = base_ + page_ - bytes.size();
        std::memcpy(start, bytes.data(), bytes.size());
        return start;
    }

  private:
    std::size_t page_;
    char* base_ = nullptr;
};

}  // namespace zdx::testing
