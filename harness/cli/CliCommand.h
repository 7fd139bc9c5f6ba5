// One command of hnas-host and what its commands share: how they fail, open
// the store, read numbers and passwords. Each group of commands (arrays,
// devices, settings, jobs, tools) lives in its own file and hands main() its
// table entries.
#pragma once

#include <string>
#include <vector>

#include "harness/cli/CommandLine.h"

class HostStore;

struct Command {
    const char* name;
    const char* arguments;                 // e.g. "OPERATION [DEVICE...]"
    const char* summary;
    const char* details;                   // more help, may be ""
    std::vector<OptionSpec> options;
    bool usesStore;
    int (*run)(const std::string& storeDir, const ParsedArguments& args);
};

// The commands of each group, in the order the help lists them.
std::vector<Command> storeCommands();
std::vector<Command> arrayCommands();
std::vector<Command> deviceCommands();
std::vector<Command> settingCommands();
std::vector<Command> jobCommands();
std::vector<Command> toolCommands();

// The option every command that works on a store takes.
extern const char kStoreOption[];
extern const OptionSpec kPluginOption;
// --json: one JSON document on standard output instead of the text (JsonOutput.h).
extern const OptionSpec kJsonOption;

// Prints "hnas-host: <message>" to standard error; returns `code`.
int fail(int code, const std::string& message);

// Prints "hnas-host: warning: <message>" to standard error.
void warn(const std::string& message);

// Opens the store; the exit code when it cannot be (after saying why).
int openStore(const std::string& dir, HostStore& store);

// Reads the password of --password-file or --password-stdin (exactly one).
bool readPassword(const ParsedArguments& args, std::string& password, std::string& error);

// A decimal number within [low, high], nothing else.
bool parseInt(const std::string& text, int low, int high, int& value);
