#include "options.h"

#include "tool_output.h"

namespace zdxtool {

namespace {

// "-o|--output" as its names.
std::vector<std::string> namesOf(const std::string& spelling) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = spelling.find('|', start);
        names.push_back(spelling.substr(start, bar - start));
        if (bar == std::string::npos) return names;
        start = bar + 1;
    }
}

}  // namespace

Options::Options(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                 const std::vector<std::string>& valued)
    : flagNames_(flags), valuedNames_(valued) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            positionals_.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = a.find('=');
        const std::string name = a.substr(0, equals);
        if (const auto f = canonical(name, false)) {
            if (equals != std::string::npos) fail(name + " takes no value");
            if (values_.count(*f) != 0) fail(name + " given twice");
            values_[*f] = "";
        } else if (const auto v = canonical(name, true)) {
            std::string value;
            if (equals != std::string::npos)
                value = a.substr(equals + 1);
            else if (i + 1 < args.size())
                value = args[++i];
            else
                fail(name + " needs a value");
            if (values_.count(*v) != 0) fail(name + " given twice");
            values_[*v] = value;
        } else {
            fail("unknown option " + Quoted(name));
        }
    }
}

std::optional<std::string> Options::canonical(std::string_view name, bool valued) const {
    for (const std::string& spelling : valued ? valuedNames_ : flagNames_) {
        const std::vector<std::string> names = namesOf(spelling);
        for (const std::string& n : names)
            if (n == name) return names.front();
    }
    return std::nullopt;
}

void Options::fail(std::string what) {
    if (error_.empty()) error_ = std::move(what);
}

bool Options::flag(std::string_view name) const {
    const auto f = canonical(name, false);
    return f && values_.count(*f) != 0;
}

std::optional<std::string> Options::value(std::string_view name) const {
    const auto v = canonical(name, true);
    if (!v) return std::nullopt;
    const auto found = values_.find(*v);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

}  // namespace zdxtool
