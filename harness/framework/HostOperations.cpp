#include "harness/framework/HostOperations.h"

#include <cctype>

#include "host/SnapStatus.h"

namespace {

// An operation's name as a command line writes it: words in lower case
// joined by "-", e.g. "is-mapped" for "isMapped".
std::string commandName(const char* name) {
    std::string text;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') {
            text += '-';
            text += static_cast<char>(*c - 'A' + 'a');
        } else {
            text += *c;
        }
    }
    return text;
}

}  // namespace

const std::vector<HostOperation>& hostOperations() {
#define HNAS_HOST_OPERATION(entry, type, number, name, failureStatus, input, summary)                  \
    {commandName(name), &PluginEntryPoints::entry, QZSO::input == QZSO::kMountRequestSource,           \
     QZSO::input == QZSO::kFreshSnapUuids, summary, QZSO::failureStatus},
    static const std::vector<HostOperation> operations = {QZSO_OPERATIONS(HNAS_HOST_OPERATION)};
#undef HNAS_HOST_OPERATION
    return operations;
}

std::string hostOperationChoices() {
    std::string text = "OPERATION is one of: ";
    for (const HostOperation& operation : hostOperations())
        text += (&operation == &hostOperations().front() ? "" : ", ") + operation.name;
    return text + ".";
}

const HostOperation* findHostOperation(const std::string& name) {
    for (const HostOperation& operation : hostOperations())
        if (name == operation.name) return &operation;
    return nullptr;
}

std::string snapStatusName(int status) {
    if (status == 0) return "NONE";
    const char* name = QZSO::snapStatusName(status);
    return name != nullptr ? name : "STATUS_" + std::to_string(status);
}

namespace {
// Every status number a device can hold, 0 (never worked on) first; the
// statuses run below 32.
std::vector<int> knownStatuses() {
    std::vector<int> statuses = {0};
    for (int status = 1; status < 32; ++status)
        if (QZSO::snapStatusName(status) != nullptr) statuses.push_back(status);
    return statuses;
}
}  // namespace

bool snapStatusFromName(const std::string& name, int& status) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    for (const int known : knownStatuses())
        if (snapStatusName(known) == upper) {
            status = known;
            return true;
        }
    return false;
}

std::string snapStatusChoices() {
    std::string text;
    for (const int known : knownStatuses()) text += (text.empty() ? "" : ", ") + snapStatusName(known);
    return text;
}
