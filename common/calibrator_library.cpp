#include "calibrator_library.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#ifdef Q_OS_LINUX
#include <dlfcn.h>
#include <link.h>

#include <cstddef>
#include <memory>
#endif

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

#ifdef Q_OS_LINUX
// The directories the dynamic linker searches for the object behind `handle`.
QStringList searchDirectories(void* handle) {
    QStringList directories;
    Dl_serinfo size{};
    if (handle == nullptr || ::dlinfo(handle, RTLD_DI_SERINFOSIZE, &size) != 0) return {};
    auto storage = std::make_unique<std::max_align_t[]>(
        (size.dls_size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
    auto* info = reinterpret_cast<Dl_serinfo*>(storage.get());
    info->dls_size = size.dls_size;
    info->dls_cnt = size.dls_cnt;
    if (::dlinfo(handle, RTLD_DI_SERINFO, info) != 0) return {};
    for (unsigned i = 0; i < info->dls_cnt; ++i)
        directories << QString::fromLocal8Bit(info->dls_serpath[i].dls_name);
    return directories;
}

// The existing directories of the program's own RUNPATH, $ORIGIN expanded:
// what the linker searches for the program but not for the C library, which
// has no run path of its own.
QStringList runPathDirectories() {
    void* program = ::dlopen(nullptr, RTLD_LAZY);
    void* libc = ::dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
    QStringList directories = searchDirectories(program);
    for (const QString& common : searchDirectories(libc)) directories.removeAll(common);
    if (libc != nullptr) ::dlclose(libc);
    if (program != nullptr) ::dlclose(program);
    return directories;
}
#endif

// dlopen from Qt does not search the program's RUNPATH, so the places are
// tried one by one: beside the program, the program's RUNPATH (where the
// installed programs name their private library folder), ../lib, then the
// system's search path.
QStringList candidatePaths() {
    const QString override = qEnvironmentVariable("ZDXUSBCAL_LIBRARY");
    if (!override.isEmpty()) return {override};
    QStringList paths;
    if (QCoreApplication::instance() != nullptr) {
        const QDir programDir(QCoreApplication::applicationDirPath());
        paths << programDir.filePath(CalibratorLibrary::fileName());
#ifdef Q_OS_LINUX
        for (const QString& directory : runPathDirectories())
            paths << QDir(directory).filePath(CalibratorLibrary::fileName());
#endif
        paths << QDir::cleanPath(programDir.filePath("../lib/" + CalibratorLibrary::fileName()));
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
