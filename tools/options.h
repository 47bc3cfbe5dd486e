// The one reader of a command's arguments: options with and without a value
// (each known by one or more names, "-o|--output"), "--name=value", and "--"
// after which everything is a positional argument (a serial number may start
// with "-"). What was wrong is said in words.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zdxtool {

class Options {
  public:
    // `flags`: options without a value; `valued`: options that take one.
    Options(const std::vector<std::string>& args, const std::vector<std::string>& flags,
            const std::vector<std::string>& valued);

    bool flag(std::string_view name) const;
    std::optional<std::string> value(std::string_view name) const;
    const std::vector<std::string>& positionals() const { return positionals_; }

    // Empty when the arguments are well formed; else what was wrong first: an
    // unknown option, an option without its value, an option given twice.
    const std::string& error() const { return error_; }

  private:
    // The first name of the spelling ("-o|--output" for "--output").
    std::optional<std::string> canonical(std::string_view name, bool valued) const;
    void fail(std::string what);

    std::vector<std::string> flagNames_, valuedNames_;
    std::map<std::string, std::string> values_;  // by first name; flags hold ""
    std::vector<std::string> positionals_;
    std::string error_;
};

}  // namespace zdxtool
