// Binding of the access library by name, as both operator programs do it.
//
// The library is looked for beside the program, then in the directories of
// the program's RUNPATH, then in ../lib, then on the system's search path;
// ZDXUSBCAL_LIBRARY may name the file to use instead.
// A call while the library cannot be bound throws LibraryMissing, which the
// callers trap the way a failed late binding is trapped.
#pragma once

#include <QLibrary>

#include <QString>
#include <stdexcept>
#include <string>

#include "zdxusbcal.h"

namespace zdx {

class LibraryMissing : public std::runtime_error {
  public:
    LibraryMissing() : std::runtime_error("ZDXUSBCAL.DLL not found") {}
};

class CalibratorLibrary {
  public:
    // The library of this process.
    static CalibratorLibrary& instance();

    // Binds the library if it is not bound yet; true when it is bound.
    bool bind();

    int GetUSBDeviceInfo(int* deviceCount, char* serial, int* serialLength, char* string4,
                         int* string4Length, char* string5, int* string5Length, char* string6,
                         int* string6Length);
    int CalCommand(int function, const char* serial, char* buffer, int* value);
    int CommandLPT(int action, int portNumber);

    // The file name the library is bound by ("zdxusbcal.dll" on Windows).
    static QString fileName();

  private:
    CalibratorLibrary() = default;
    void require();

    using GetUSBDeviceInfoFn = int(ZDXUSBCAL_CALL*)(int*, char*, int*, char*, int*, char*, int*,
                                                    char*, int*);
    using CalCommandFn = int(ZDXUSBCAL_CALL*)(int, const char*, char*, int*);
    using CommandLPTFn = int(ZDXUSBCAL_CALL*)(int, int);

    QLibrary library_;
    GetUSBDeviceInfoFn getUSBDeviceInfo_ = nullptr;
    CalCommandFn calCommand_ = nullptr;
    CommandLPTFn commandLPT_ = nullptr;
};

// What GetUSBDeviceInfo reported: each text cut to its returned length, and
// one that reads "(null)" taken as empty.
struct DeviceInfo {
    int result = ZDXUSBCAL_INFO_FAILED;  // negative: no usable device
    std::string serial;
    std::string string4;
    std::string string5;
    std::string string6;  // the device ID
    int count = 0;        // devices enumerated; ZDXUSBCAL_SETUP_MISSING: no setup library
};

// GetUSBDeviceInfo with a serial and an ID filter (substrings; empty: no
// filter), each followed by 200 NULs, and lengths of 0 (the default
// capacities), as both programs call it. Throws LibraryMissing.
DeviceInfo discover(const std::string& serialFilter = {}, const std::string& idFilter = {});

// One exchange, CalCommand(ZDXUSBCAL_FN_USB, serial, line, value): `line` in
// is the command, out what the buffer holds afterwards up to its first NUL
// (the answer with its line feed, empty on ZDXUSBCAL_CMD_NO_ANSWER, the
// command on the other failures). `value`, when given, is passed in and out
// (the bytes of answer received on ZDXUSBCAL_OK and ZDXUSBCAL_CMD_NO_ANSWER).
// Returns the library result. Throws LibraryMissing.
int exchange(const std::string& serial, std::string& line, int* value = nullptr);

}  // namespace zdx
