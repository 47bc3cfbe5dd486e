#include "calibrator_library.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <vector>

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

namespace {

// Every buffer handed to the library: the caller's text and 200 NULs, and never
// fewer than 256 bytes. The library writes at most the capacity plus a NUL into
// a text buffer (at most 101 bytes), or the command's own length plus a NUL
// into the exchange buffer, so a buffer always ends in NULs it never touches.
constexpr std::size_t kTrailingNuls = 200;
constexpr std::size_t kMinimumBuffer = 256;

std::vector<char> bufferWith(const std::string& text) {
    std::vector<char> buffer(std::max(text.size() + kTrailingNuls + 1, kMinimumBuffer), '\0');
    std::memcpy(buffer.data(), text.data(), text.size());
    return buffer;
}

// The text up to its NUL, never read past the buffer.
std::string textIn(const std::vector<char>& buffer) {
    return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size() - 1));
}

// The text the library returned, cut to its reported length.
std::string returnedText(const std::vector<char>& buffer, int length) {
    std::string text = textIn(buffer);
    text.resize(std::min(text.size(), static_cast<std::size_t>(std::max(length, 0))));
    return text == "(null)" ? std::string() : text;
}

}  // namespace

DeviceInfo discover(const std::string& serialFilter, const std::string& idFilter) {
    std::vector<char> serial = bufferWith(serialFilter);
    std::vector<char> string4 = bufferWith({});
    std::vector<char> string5 = bufferWith({});
    std::vector<char> string6 = bufferWith(idFilter);
    int serialLength = 0, length4 = 0, length5 = 0, length6 = 0;
    DeviceInfo info;
    info.result = CalibratorLibrary::instance().GetUSBDeviceInfo(
        &info.count, serial.data(), &serialLength, string4.data(), &length4, string5.data(),
        &length5, string6.data(), &length6);
    info.serial = returnedText(serial, serialLength);
    info.string4 = returnedText(string4, length4);
    info.string5 = returnedText(string5, length5);
    info.string6 = returnedText(string6, length6);
    return info;
}

int exchange(const std::string& serial, std::string& line, int* value) {
    std::vector<char> buffer = bufferWith(line);
    int received = value != nullptr ? *value : 0;
    const int result = CalibratorLibrary::instance().CalCommand(ZDXUSBCAL_FN_USB, serial.c_str(),
                                                                buffer.data(), &received);
    line = textIn(buffer);
    if (value != nullptr) *value = received;
    return result;
}

}  // namespace zdx
