#include "calibrator_library.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace zdx {

CalibratorLibrary& CalibratorLibrary::instance() {
    static CalibratorLibrary library;
    return library;
}

QString CalibratorLibrary::fileName() {
#ifdef Q_OS_WIN
    return QStringLiteral("zdxusbcal.dll");
#else
    return QStringLiteral("zdxusbcal.so");
#endif
}

namespace {

// dlopen does not honour the program's RUNPATH, so the places are tried one by
// one: beside the program, then ../lib, then the system's search path.
QStringList candidatePaths() {
    const QString override = qEnvironmentVariable("ZDXUSBCAL_LIBRARY");
    if (!override.isEmpty()) return {override};
    QStringList paths;
    if (QCoreApplication::instance() != nullptr) {
        const QDir programDir(QCoreApplication::applicationDirPath());
        paths << programDir.filePath(CalibratorLibrary::fileName())
              << QDir::cleanPath(programDir.filePath("../lib/" + CalibratorLibrary::fileName()));
    }
    paths << CalibratorLibrary::fileName();
    return paths;
}

}  // namespace

bool CalibratorLibrary::bind() {
    if (library_.isLoaded() && calCommand_ != nullptr) return true;
    for (const QString& path : candidatePaths()) {
        const bool plainName = !path.contains('/') && !path.contains('\\');
        if (!plainName && !QFileInfo::exists(path)) continue;
        library_.setFileName(path);
        if (!library_.load()) continue;
        getUSBDeviceInfo_ =
            reinterpret_cast<GetUSBDeviceInfoFn>(library_.resolve("GetUSBDeviceInfo"));
        calCommand_ = reinterpret_cast<CalCommandFn>(library_.resolve("CalCommand"));
        commandLPT_ = reinterpret_cast<CommandLPTFn>(library_.resolve("CommandLPT"));
        if (getUSBDeviceInfo_ != nullptr && calCommand_ != nullptr && commandLPT_ != nullptr)
            return true;
        library_.unload();
        getUSBDeviceInfo_ = nullptr;
        calCommand_ = nullptr;
        commandLPT_ = nullptr;
    }
    return false;
}

void CalibratorLibrary::require() {
    if (!bind()) throw LibraryMissing();
}

int CalibratorLibrary::GetUSBDeviceInfo(int* deviceCount, char* serial, int* serialLength,
                                        char* string4, int* string4Length, char* string5,
                                        int* string5Length, char* string6, int* string6Length) {
    require();
    return getUSBDeviceInfo_(deviceCount, serial, serialLength, string4, string4Length, string5,
                             string5Length, string6, string6Length);
}

int CalibratorLibrary::CalCommand(int function, const char* serial, char* buffer, int* value) {
    require();
    return calCommand_(function, serial, buffer, value);
}

int CalibratorLibrary::CommandLPT(int action, int portNumber) {
    require();
    return commandLPT_(action, portNumber);
}

}  // namespace zdx
