#include "harness/cli/CliCommand.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "syskit/SmallFiles.h"
#include "harness/framework/ExitCodes.h"
#include "harness/framework/HostStore.h"

namespace {
// A password file holds one short line; anything larger is a file named by mistake.
const size_t kMaxPasswordFileBytes = 4096;
}  // namespace

const char kStoreOption[] = "--store";
const OptionSpec kPluginOption = {"--plugin", "PATH", false, "the plug-in to load (default: the built one)"};
const OptionSpec kJsonOption = {"--json", nullptr, false, "print one JSON document (see json-output.md in /usr/share/doc/qzsnapenginehnas-harness)"};

int fail(int code, const std::string& message) {
    fprintf(stderr, "hnas-host: %s\n", message.c_str());
    return code;
}

void warn(const std::string& message) { fprintf(stderr, "hnas-host: warning: %s\n", message.c_str()); }

int openStore(const std::string& dir, HostStore& store) {
    std::string error;
    if (store.open(dir, error)) return kExitOk;
    // "No store" only when there is none; one that cannot be used (another
    // user's, unreadable) is a host error; one busy for the whole busy wait
    // may be tried again.
    struct stat info;
    const bool absent = lstat((dir + "/host.db").c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
    return fail(absent ? kExitNoStore : exitCodeForStoreFailure(store.busy()), error);
}

bool readPassword(const ParsedArguments& args, std::string& password, std::string& error) {
    if (args.has("--password-file") == args.has("--password-stdin")) {
        error = "give the password with exactly one of --password-file or --password-stdin";
        return false;
    }
    if (args.has("--password-file")) {
        std::string text;
        if (!syskit::readSmallRegularFile(args.value("--password-file"), kMaxPasswordFileBytes, text, error))
            return false;
        const size_t end = text.find('\n');
        password = text.substr(0, end);
        if (password.empty() && end == std::string::npos) {
            error = "no password in " + args.value("--password-file");
            return false;
        }
    } else if (!std::getline(std::cin, password)) {
        error = "no password on standard input";
        return false;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

bool parseInt(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 10) return false;
    long long parsed = 0;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        parsed = parsed * 10 + (text[i] - '0');
    }
    if (text[0] == '-') parsed = -parsed;
    if (parsed < low || parsed > high) return false;
    value = static_cast<int>(parsed);
    return true;
}
