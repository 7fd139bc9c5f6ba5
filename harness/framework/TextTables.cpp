#include "harness/framework/TextTables.h"

#include <algorithm>

#include "harness/framework/HostOperations.h"

namespace {

const char kIndent[] = "    ";

std::string padded(const std::string& text, size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// Drops trailing blanks that padding left on a line.
std::string trimmed(const std::string& line) {
    const size_t end = line.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : line.substr(0, end + 1);
}

// One device's row of a state table, with the long values shown under it.
struct StateRow {
    std::vector<std::string> cells;
    std::string snapDevice;
    std::string errorMessage;
};

std::string cellOrDash(const std::string& text) { return text.empty() ? "-" : text; }

}  // namespace

std::string formatTable(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths(header.size(), 0);
    for (size_t c = 0; c < header.size(); ++c) widths[c] = header[c].size();
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size() && c < widths.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (size_t c = 0; c < widths.size(); ++c)
            text += padded(c < cells.size() ? cells[c] : "", widths[c]) + (c + 1 < widths.size() ? "  " : "");
        return trimmed(text) + "\n";
    };
    std::string text = line(header);
    std::vector<std::string> rule;
    for (const size_t w : widths) rule.push_back(std::string(w, '-'));
    text += line(rule);
    for (const auto& row : rows) text += line(row);
    return text;
}

namespace {

// The rows of the table, then each row's long values under it.
std::string stateTable(const std::vector<std::string>& header, const std::vector<StateRow>& rows) {
    std::vector<std::vector<std::string>> cells;
    for (const StateRow& r : rows) cells.push_back(r.cells);
    const std::string table = formatTable(header, cells);
    std::string text;
    size_t start = 0;
    size_t lineNumber = 0;
    while (start < table.size()) {
        const size_t end = table.find('\n', start);
        text += table.substr(start, end - start + 1);
        if (lineNumber >= 2) {
            const StateRow& r = rows[lineNumber - 2];
            if (!r.snapDevice.empty()) text += std::string(kIndent) + "snap device: " + r.snapDevice + "\n";
            if (!r.errorMessage.empty()) text += std::string(kIndent) + "error: " + r.errorMessage + "\n";
        }
        ++lineNumber;
        start = end + 1;
    }
    return text;
}

std::string errorCell(int code) { return code == 0 ? "-" : std::to_string(code); }

}  // namespace

std::string deviceStateTable(const std::vector<DeviceRecord>& devices) {
    std::vector<StateRow> rows;
    for (const DeviceRecord& d : devices) {
        rows.push_back({{deviceDisplayName(d), snapStatusName(d.status), errorCell(d.errorCode), cellOrDash(d.snapUUID),
                         d.lastJobId == 0 ? "-" : std::to_string(d.lastJobId) + " " + d.lastJobOutcome},
                        d.snapDevice,
                        d.errorMessage});
    }
    return stateTable({"device", "status", "error", "snap UUID", "last job"}, rows);
}

std::string jobResultsTable(const std::vector<JobResultRecord>& results) {
    std::vector<StateRow> rows;
    for (const JobResultRecord& r : results) {
        rows.push_back({{r.deviceName, snapStatusName(r.status), errorCell(r.errorCode), cellOrDash(r.snapUUID)},
                        r.snapDevice,
                        r.errorMessage});
    }
    return stateTable({"device", "status", "error", "snap UUID"}, rows);
}

std::string statusTotalsText(const std::map<int, int>& devicesByStatus) {
    std::string text;
    for (const auto& entry : devicesByStatus)
        text += (text.empty() ? "" : ", ") + std::to_string(entry.second) + " " + snapStatusName(entry.first);
    return text.empty() ? "-" : text;
}

std::map<int, int> devicesByStatus(const std::vector<DeviceRecord>& devices) {
    std::map<int, int> counts;
    for (const DeviceRecord& d : devices) ++counts[d.status];
    return counts;
}

std::string someNames(const std::vector<std::string>& names, size_t shown) {
    std::string text;
    for (size_t i = 0; i < names.size() && i < shown; ++i) text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > shown) text += " and " + std::to_string(names.size() - shown) + " more";
    return text;
}
