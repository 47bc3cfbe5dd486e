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

}  // namespace zdx
