// The simulator's state file: one SQLite row per array holding the array in
// the state JSON form. Every change is one transaction, written through
// (synchronous=FULL, WAL), so a kill at any moment keeps every answered change.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "arraysim/model/ArrayTypes.h"

struct sqlite3;

namespace arraysim {

class SqliteStore {
public:
    // Opens or creates the file, e.g. "/tmp/sim.db"; null with `error` on failure.
    static std::unique_ptr<SqliteStore> open(const std::string& path, std::string& error);
    ~SqliteStore();

    // Reads every array, in the order they were first saved.
    bool load(uint64_t now, arraymodel::State& state, std::string& error);
    // Writes one array (inserted or replaced) in one transaction.
    bool saveArray(const arraymodel::Array& array, std::string& error);
    // Makes the file hold exactly the arrays of `state`, in one transaction.
    bool replaceAll(const arraymodel::State& state, std::string& error);

    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

private:
    explicit SqliteStore(sqlite3* db) : db_(db) {}
    bool exec(const char* sql, std::string& error);
    bool commit(std::string& error);
    bool upsert(const arraymodel::Array& array, std::string& error);

    sqlite3* db_;
};

}  // namespace arraysim
