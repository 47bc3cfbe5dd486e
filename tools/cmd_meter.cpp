// meter: the register of reference meters in the archive, which the benches
// of a lab share: add an entry (one per calibration certificate), list them
// all, show one meter's.
#include <QDate>
#include <cstdio>

#include "commands.h"
#include "meter_register.h"
#include "options.h"
#include "run_sources.h"

namespace zdxtool {

namespace {

// Control characters never reach the terminal.
std::string shown(const std::string& text) {
    std::string out;
    for (const char c : text) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    return out;
}

void printEntries(const std::vector<q270::ReferenceMeter>& entries) {
    const std::string today = QDate::currentDate().toString(Qt::ISODate).toStdString();
    std::printf("meter\tmodel\tserial\tcertificate\tcalibrated\tdue\tstanding today\n");
    for (const q270::ReferenceMeter& m : entries)
        std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\n", shown(m.id).c_str(), shown(m.model).c_str(),
                    shown(m.serial).c_str(), shown(m.certificate).c_str(), m.calibrated.c_str(),
                    m.due.c_str(), today > m.due ? "past due" : "in date");
}

int addMeter(const Options& options) {
    if (options.positionals().size() != 2) return UsageError("meter", "add needs the meter's ID");
    q270::ReferenceMeter m;
    m.id = options.positionals()[1];
    const std::pair<const char*, std::string*> fields[] = {{"--model", &m.model},
                                                           {"--serial", &m.serial},
                                                           {"--certificate", &m.certificate},
                                                           {"--calibrated", &m.calibrated},
                                                           {"--due", &m.due}};
    for (const auto& [name, field] : fields) {
        const auto value = options.value(name);
        if (!value) return UsageError("meter", std::string("add needs ") + name);
        *field = *value;
    }
    if (const std::string problem = q270::MeterEntryProblem(m); !problem.empty())
        return UsageError("meter", problem);
    const auto archive = OpenArchive();
    if (!archive) return kExitFailed;
    try {
        q270::MeterRegister(*archive).add(m);
    } catch (const q270::ArchiveError& error) {
        Complain(error.what());
        return kExitFailed;
    }
    std::printf("meter %s registered with certificate %s, due %s\n", shown(m.id).c_str(),
                shown(m.certificate).c_str(), m.due.c_str());
    return kExitDone;
}

}  // namespace

int CmdMeter(const Arguments& args) {
    const Options options(args, {},
                          {"--model", "--serial", "--certificate", "--calibrated", "--due"});
    if (!options.error().empty()) return UsageError("meter", options.error());
    const auto& words = options.positionals();
    const std::string action = words.empty() ? "" : words[0];
    if (action == "add") return addMeter(options);
    if (action != "list" && action != "show") return UsageError("meter", "give add, list or show");
    if (action == "list" && words.size() != 1) return UsageError("meter", "list takes no ID");
    if (action == "show" && words.size() != 2)
        return UsageError("meter", "show needs the meter's ID");
    const auto archive = OpenArchive();
    if (!archive) return kExitFailed;
    try {
        q270::MeterRegister meters(*archive);
        const auto entries = action == "list" ? meters.all() : meters.entriesOf(words[1]);
        if (action == "show" && entries.empty()) {
            Complain("meter " + Quoted(words[1]) + " is not in the register");
            return kExitFailed;
        }
        printEntries(entries);
    } catch (const q270::ArchiveError& error) {
        Complain(error.what());
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace zdxtool
