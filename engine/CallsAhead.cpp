#include "engine/CallsAhead.h"

#include "engine/OperationFrame.h"

namespace {

const char kNotTakenNote[] = "Read made ahead for a device the operation did not reach: [%s]";

ArrayRead readOf(ArrayReadKind kind) {
    ArrayRead read;
    read.kind = kind;
    return read;
}

bool isAboutShare(const ArrayRead& read) {
    return read.kind == ArrayReadKind::FileSystemIdOfShare || read.kind == ArrayReadKind::Share ||
           read.kind == ArrayReadKind::SharePresent;
}

// What a note names of a read, e.g. "isSharePresent CIFS QZHNAS-u1-fs1-data-QZShare".
std::string describe(const ArrayRead& read) {
    switch (read.kind) {
        case ArrayReadKind::FileSystemIdByLabel: return "getFileSystemID " + read.name;
        case ArrayReadKind::FileSystemIdOfShare: return "getFileSystemID " + read.shareType + " " + read.name;
        case ArrayReadKind::FileSystemInfo: return "getFileSystemsInfo " + read.fileSystemId;
        case ArrayReadKind::Share: return "getFilesystemShares " + read.shareType + " " + read.name;
        case ArrayReadKind::SharePresent: return "isSharePresent " + read.shareType + " " + read.name;
    }
    return read.name;
}

void logLines(OperationState& state, const std::vector<QzLogLine>& lines, bool atMostVerbose) {
    for (const QzLogLine& line : lines)
        state.log.DebugLvl(line.context.c_str(), atMostVerbose ? DebugLevel::kMostVerbose : line.level, state.jobId,
                           "%s", line.text.c_str());
}

}  // namespace

ArrayRead ArrayRead::fileSystemIdByLabel(const std::string& label) {
    ArrayRead read = readOf(ArrayReadKind::FileSystemIdByLabel);
    read.name = label;
    return read;
}

ArrayRead ArrayRead::fileSystemIdOfShare(const __HNASVirtualServers& server, const std::string& share,
                                         const std::string& shareType) {
    ArrayRead read = readOf(ArrayReadKind::FileSystemIdOfShare);
    read.server = server;
    read.name = share;
    read.shareType = shareType;
    return read;
}

ArrayRead ArrayRead::fileSystemInfo(const std::string& fileSystemId) {
    ArrayRead read = readOf(ArrayReadKind::FileSystemInfo);
    read.fileSystemId = fileSystemId;
    return read;
}

ArrayRead ArrayRead::share(const __HNASVirtualServers& server, const std::string& shareType, const std::string& share,
                           bool withPermissions) {
    ArrayRead read = readOf(ArrayReadKind::Share);
    read.server = server;
    read.shareType = shareType;
    read.name = share;
    read.withPermissions = withPermissions;
    return read;
}

ArrayRead ArrayRead::sharePresent(const std::string& share, const __HNASVirtualServers& server,
                                  const std::string& shareType) {
    ArrayRead read = readOf(ArrayReadKind::SharePresent);
    read.name = share;
    read.server = server;
    read.shareType = shareType;
    return read;
}

std::string ArrayRead::key() const {
    std::string key = std::to_string(static_cast<int>(kind));
    for (const std::string* part : {&name, &shareType, &server.objectId, &fileSystemId}) {
        key += '\n';
        key += *part;
    }
    key += '\n' + std::to_string(server.virtualServerId) + (withPermissions ? "\n1" : "\n0");
    return key;
}

namespace {

bool callMember(QzManageHNAS& client, ArrayRead& read) {
    switch (read.kind) {
        case ArrayReadKind::FileSystemIdByLabel: return client.getFileSystemID(read.name, read.fileSystemIdFound);
        case ArrayReadKind::FileSystemIdOfShare:
            return client.getFileSystemID(read.server, read.name, read.shareType, read.fileSystemIdFound);
        case ArrayReadKind::FileSystemInfo: return client.getFileSystemsInfo(read.fileSystemId, read.fileSystems);
        case ArrayReadKind::Share: {
            __HNASFileSystemShares query;
            query.name = read.name;
            read.shares.assign(1, query);
            __HNASVirtualServers server = read.server;
            return client.getFilesystemShares(server, read.shareType, read.shares, read.withPermissions);
        }
        case ArrayReadKind::SharePresent: {
            __HNASVirtualServers server = read.server;
            return client.isSharePresent(read.name, server, read.shareType);
        }
    }
    return false;
}

// The client member a read of `kind` calls, as the context of the lines it
// logs ends with it.
const char* memberOf(ArrayReadKind kind) {
    switch (kind) {
        case ArrayReadKind::FileSystemIdByLabel:
        case ArrayReadKind::FileSystemIdOfShare: return "getFileSystemID";
        case ArrayReadKind::FileSystemInfo: return "getFileSystemsInfo";
        case ArrayReadKind::Share: return "getFilesystemShares";
        case ArrayReadKind::SharePresent: return "isSharePresent";
    }
    return "";
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Hands the lines one chain kept to its reads: each read's begin where the
// context turns to its member (its reads were made in turn, of different
// members), and any line before the first such turn is the first read's.
void splitLines(std::vector<ArrayRead>& reads, const std::vector<size_t>& chain, std::vector<QzLogLine>& lines) {
    size_t at = 0;   // the read of the chain the lines now belong to
    for (QzLogLine& line : lines) {
        for (size_t next = at + 1; next < chain.size(); ++next) {
            if (endsWith(line.context, memberOf(reads[chain[next]].kind))) {
                at = next;
                break;
            }
        }
        reads[chain[at]].lines.push_back(std::move(line));
    }
}

}  // namespace

void makeRead(QzManageHNAS& client, ArrayRead& read) {
    read.made = false;
    read.succeeded = callMember(client, read);
    read.made = true;
}

bool makesReadsAhead(OperationState& state) { return state.client.requestsInFlight() > 1; }

void ReadsAhead::make(OperationState& state, std::vector<ArrayRead>& reads, std::vector<std::vector<size_t>> chains) {
    for (ArrayRead& read : reads) read.made = false;
    if (reads.empty() || !makesReadsAhead(state)) return;
    if (chains.empty()) {
        for (size_t i = 0; i < reads.size(); ++i) chains.push_back({i});
    }
    std::vector<std::vector<QzLogLine>> lines;
    const bool ran = state.client.runConcurrently(
        chains.size(),
        [&](QzManageHNAS& worker, size_t c) {
            for (const size_t i : chains[c]) {
                try {
                    makeRead(worker, reads[i]);
                } catch (...) {
                    reads[i].thrown = std::current_exception();
                    reads[i].made = true;
                    return;   // the rest of the chain is left to the devices
                }
            }
        },
        lines);
    if (!ran) {
        for (ArrayRead& read : reads) read.made = false;
        return;
    }
    for (size_t c = 0; c < chains.size(); ++c) {
        splitLines(reads, chains[c], lines[c]);
        for (const size_t i : chains[c]) {
            ArrayRead& read = reads[i];
            if (!read.made) continue;   // its chain ended early (an exception): the device asks itself
            byKey_[read.key()].push_back(made_.size());
            made_.push_back(read);
            taken_.push_back(0);
        }
    }
}

void ReadsAhead::read(OperationState& state, ArrayRead& read) {
    const auto found = byKey_.find(read.key());
    if (found == byKey_.end()) {
        makeRead(state.client, read);
        return;
    }
    const size_t index = found->second.front();
    found->second.pop_front();
    if (found->second.empty()) byKey_.erase(found);
    taken_[index] = 1;
    read = made_[index];
    logLines(state, read.lines, false);
    if (read.thrown) std::rethrow_exception(read.thrown);
}

void ReadsAhead::shareChanged(const std::string& shareType, const std::string& name) {
    const std::string changed = HNASUtils::arrayShareNameKey(shareType, name);
    for (auto entry = byKey_.begin(); entry != byKey_.end();) {
        const ArrayRead& first = made_[entry->second.front()];
        if (!isAboutShare(first) || HNASUtils::arrayShareNameKey(first.shareType, first.name) != changed) {
            ++entry;
            continue;
        }
        // Not taken: settle logs their lines with the others no device took.
        entry = byKey_.erase(entry);
    }
}

void ReadsAhead::settle(OperationState& state, const char* context) {
    for (size_t i = 0; i < made_.size(); ++i) {
        if (taken_[i]) continue;
        const std::string what = describe(made_[i]);
        state.log.DebugLvl(context, DebugLevel::kMostVerbose, state.jobId, kNotTakenNote, what.c_str());
        logLines(state, made_[i].lines, true);
    }
    made_.clear();
    taken_.clear();
    byKey_.clear();
}
