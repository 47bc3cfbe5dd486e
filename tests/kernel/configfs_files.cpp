#include "configfs_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace zdx::gadget {

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream file(path);
    file << text;
    file.flush();
    if (!file) {
        std::fprintf(stderr, "gadget: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool makeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    std::fprintf(stderr, "gadget: mkdir %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

std::string hex16(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

bool makeGadget(const std::string& name, std::uint16_t vendor, std::uint16_t product,
                const std::string& manufacturer, const std::string& productName,
                const std::string& serial, const std::string& function) {
    const std::string g = kGadgetRoot + name + "/";
    const bool made =
        makeDir(g) && writeText(g + "idVendor", hex16(vendor)) &&
        writeText(g + "idProduct", hex16(product)) && writeText(g + "bcdDevice", "0x0100") &&
        writeText(g + "bcdUSB", "0x0200") && makeDir(g + "strings/0x409") &&
        writeText(g + "strings/0x409/manufacturer", manufacturer) &&
        writeText(g + "strings/0x409/product", productName) &&
        writeText(g + "strings/0x409/serialnumber", serial) && makeDir(g + "configs/c.1") &&
        writeText(g + "configs/c.1/MaxPower", "100") && makeDir(g + "functions/" + function);
    if (!made) return false;
    if (::symlink((g + "functions/" + function).c_str(), (g + "configs/c.1/" + function).c_str()) !=
            0 &&
        errno != EEXIST) {
        std::fprintf(stderr, "gadget: link %s: %s\n", function.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace zdx::gadget
