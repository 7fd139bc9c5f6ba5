#include "arraysim/store/SqliteStore.h"

#include <sqlite3.h>

#include <vector>

#include "arraysim/store/StateJson.h"

namespace arraysim {
namespace {

const char kSchema[] =
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=FULL;"
    "CREATE TABLE IF NOT EXISTS arrays("
    "  seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  name TEXT NOT NULL UNIQUE,"
    "  body TEXT NOT NULL);";
const char kUpsert[] =
    "INSERT INTO arrays(name, body) VALUES(?1, ?2) "
    "ON CONFLICT(name) DO UPDATE SET body = excluded.body;";
const char kSelectAll[] = "SELECT name, body FROM arrays ORDER BY seq;";

std::string lastError(sqlite3* db, const char* what) {
    return std::string(what) + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
}

// Finalises the statement when it leaves scope.
struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

}  // namespace

std::unique_ptr<SqliteStore> SqliteStore::open(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        error = lastError(db, "cannot open state file");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    std::unique_ptr<SqliteStore> store(new SqliteStore(db));
    if (!store->exec(kSchema, error)) return nullptr;
    return store;
}

SqliteStore::~SqliteStore() { sqlite3_close(db_); }

bool SqliteStore::exec(const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        error = std::string("state file: ") + (message != nullptr ? message : "error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool SqliteStore::load(uint64_t now, arraymodel::State& state, std::string& error) {
    Statement select;
    if (sqlite3_prepare_v2(db_, kSelectAll, -1, &select.stmt, nullptr) != SQLITE_OK) {
        error = lastError(db_, "cannot read state file");
        return false;
    }
    Json list = Json::array();
    int rc;
    while ((rc = sqlite3_step(select.stmt)) == SQLITE_ROW) {
        const unsigned char* body = sqlite3_column_text(select.stmt, 1);
        Json array;
        if (body == nullptr || !parseJson(reinterpret_cast<const char*>(body), array)) {
            error = "state file: an array row is not JSON";
            return false;
        }
        list.push_back(array);
    }
    if (rc != SQLITE_DONE) {
        error = lastError(db_, "cannot read state file");
        return false;
    }
    std::vector<arraymodel::Array> arrays;
    if (!arraysFromJson(Json{{"arrays", list}}, now, arrays, error)) {
        error = "state file: " + error;
        return false;
    }
    state.arrays = arrays;
    return true;
}

bool SqliteStore::upsert(const arraymodel::Array& array, std::string& error) {
    Statement upsert;
    const std::string body = dumpJson(arrayToJson(array));
    if (sqlite3_prepare_v2(db_, kUpsert, -1, &upsert.stmt, nullptr) != SQLITE_OK ||
        sqlite3_bind_text(upsert.stmt, 1, array.name.c_str(), -1, SQLITE_TRANSIENT) != SQLITE_OK ||
        sqlite3_bind_text(upsert.stmt, 2, body.c_str(), -1, SQLITE_TRANSIENT) != SQLITE_OK ||
        sqlite3_step(upsert.stmt) != SQLITE_DONE) {
        error = lastError(db_, "cannot write state file");
        return false;
    }
    return true;
}

bool SqliteStore::commit(std::string& error) {
    if (exec("COMMIT;", error)) return true;
    std::string ignored;
    exec("ROLLBACK;", ignored);
    return false;
}

bool SqliteStore::saveArray(const arraymodel::Array& array, std::string& error) {
    if (!exec("BEGIN IMMEDIATE;", error)) return false;
    if (!upsert(array, error)) {
        std::string ignored;
        exec("ROLLBACK;", ignored);
        return false;
    }
    return commit(error);
}

bool SqliteStore::replaceAll(const arraymodel::State& state, std::string& error) {
    if (!exec("BEGIN IMMEDIATE;", error)) return false;
    bool ok = exec("DELETE FROM arrays;", error);
    for (const arraymodel::Array& array : state.arrays) {
        if (ok) ok = upsert(array, error);
    }
    if (!ok) {
        std::string ignored;
        exec("ROLLBACK;", ignored);
        return false;
    }
    return commit(error);
}

}  // namespace arraysim
