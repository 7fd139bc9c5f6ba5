// A small, strict command-line parser: "--name value", "--name=value",
// flags, repeated options, positional arguments, "--" to end options.
#pragma once

#include <map>
#include <string>
#include <vector>

struct OptionSpec {
    const char* name;         // e.g. "--plugin"
    const char* valueName;    // e.g. "PATH"; null for a flag
    bool repeatable;
    const char* help;
};

struct ParsedArguments {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> values;   // by option name
    bool has(const std::string& name) const { return values.count(name) != 0; }
    // The last value given, or `fallback`.
    std::string value(const std::string& name, const std::string& fallback = std::string()) const;
};

// "--help" and its short form "-h".
extern const char kHelpOption[];
extern const char kShortHelpOption[];

// Parses `args` against `options`. "--help" or "-h" sets `help` and stops. False with
// `error` on an unknown option, a missing value or a repeated single option.
bool parseArguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
                    ParsedArguments& parsed, bool& help, std::string& error);

// The options block of a help text, one line per option.
std::string describeOptions(const std::vector<OptionSpec>& options);
