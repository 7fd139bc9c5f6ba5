// The simulator's state file: SQLite, one table per kind of object (schema
// in docs/arraysim.md). A storage request writes only the rows its change
// record names, in one transaction that commits before the answer goes out.
// WAL with synchronous=NORMAL: a commit has reached the operating system
// when it returns, so a killed process loses nothing that was answered.
// The file is created 0600 (it holds passwords) and held under an
// exclusive lock for as long as the store is open.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "arraysim/model/ArrayTypes.h"
#include "arraysim/model/ChangeRecord.h"

struct sqlite3;
struct sqlite3_stmt;

namespace arraysim {

// The refusal of a state file of another schema version `version`, with the
// command that seeds a fresh one.
std::string staleFileMessage(const std::string& path, int version);

class SqliteStore {
public:
    // Opens or creates the file, e.g. "/tmp/sim.db", and locks it; null with
    // `error` on failure (a file another simulator holds, or one of another
    // schema version, included).
    static std::unique_ptr<SqliteStore> open(const std::string& path, std::string& error);
    ~SqliteStore();

    // Reads every array, in the order they were first saved.
    bool load(arraymodel::State& state, std::string& error);
    // Writes the slots `record` names of `array` (and its counter), in one transaction.
    bool saveChanges(const arraymodel::Array& array, const arraymodel::ChangeRecord& record, std::string& error);
    // Writes each array whole, in place of the stored one of the same name, in one transaction.
    bool saveArrays(const std::vector<arraymodel::Array>& arrays, std::string& error);
    // Makes the file hold exactly the arrays of `state`, in one transaction.
    bool replaceAll(const arraymodel::State& state, std::string& error);
    // Caps the file at about `bytes` (at least its current size): writes
    // past it fail as on a full disk. For tests of that failure.
    bool limitSize(uint64_t bytes, std::string& error);

    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

private:
    SqliteStore(sqlite3* db, int lockFd) : db_(db), lockFd_(lockFd) {}
    bool exec(const char* sql, std::string& error);
    // The prepared statement for `sql` (kept for reuse), reset; null on error.
    sqlite3_stmt* statement(const char* sql, std::string& error);
    bool inTransaction(const std::function<bool(std::string&)>& work, std::string& error);
    bool insertArray(const arraymodel::Array& array, std::string& error);
    bool insertShare(int64_t arrayId, const arraymodel::Share& share, size_t position, std::string& error);
    bool insertSnapshot(int64_t arrayId, const arraymodel::Snapshot& snapshot, size_t position, std::string& error);
    bool insertDirectory(int64_t arrayId, const std::string& fileSystemId, const std::string& directory,
                         std::string& error);
    bool deleteShare(int64_t arrayId, const arraymodel::Share& share, std::string& error);
    bool deleteSnapshot(int64_t arrayId, const arraymodel::Snapshot& snapshot, std::string& error);
    bool readArrayIds(std::string& error);

    sqlite3* db_;
    int lockFd_;
    std::map<const char*, sqlite3_stmt*> statements_;
    std::map<std::string, int64_t> arrayIds_;   // array name -> its row
};

}  // namespace arraysim
