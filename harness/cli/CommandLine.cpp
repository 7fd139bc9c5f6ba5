#include "harness/cli/CommandLine.h"

#include <algorithm>

const char kHelpOption[] = "--help";
const char kShortHelpOption[] = "-h";

std::string ParsedArguments::value(const std::string& name, const std::string& fallback) const {
    const auto it = values.find(name);
    return it == values.end() || it->second.empty() ? fallback : it->second.back();
}

bool parseArguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
                    ParsedArguments& parsed, bool& help, std::string& error) {
    help = false;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && (arg == kHelpOption || arg == kShortHelpOption)) {
            help = true;
            return true;
        }
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const auto spec = std::find_if(options.begin(), options.end(),
                                       [&](const OptionSpec& o) { return name == o.name; });
        if (spec == options.end()) {
            error = "unknown option " + name;
            return false;
        }
        std::string value;
        if (spec->valueName == nullptr) {
            if (equals != std::string::npos) {
                error = name + " takes no value";
                return false;
            }
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = name + " needs a value (" + spec->valueName + ")";
            return false;
        }
        std::vector<std::string>& values = parsed.values[name];
        if (!values.empty() && !spec->repeatable) {
            error = name + " is given twice";
            return false;
        }
        values.push_back(value);
    }
    return true;
}

std::string describeOptions(const std::vector<OptionSpec>& options) {
    std::vector<std::string> lefts;
    size_t width = 0;
    for (const OptionSpec& o : options) {
        std::string left = std::string("  ") + o.name + (o.valueName != nullptr ? std::string(" ") + o.valueName : "");
        width = std::max(width, left.size());
        lefts.push_back(left);
    }
    std::string text;
    for (size_t i = 0; i < options.size(); ++i)
        text += lefts[i] + std::string(width - lefts[i].size() + 2, ' ') + options[i].help +
                (options[i].repeatable ? " (repeatable)" : "") + "\n";
    return text;
}
