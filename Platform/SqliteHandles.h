#pragma once

// Owners for what the SQLite C API hands out, so that every way out of a function closes the
// connection, finalizes the statement and frees the error message.
#include <memory>
#include <sqlite3.h>

namespace Sqlite {

struct ConnectionCloser {
    // The _v2 close defers until statements still alive are finalized, so the order of
    // destruction cannot leak the connection.
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
struct MessageFreer {
    void operator()(char *message) const { sqlite3_free(message); }
};

using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;
// An error message from sqlite3_exec and the like.
using Message = std::unique_ptr<char, MessageFreer>;

// Resets a kept statement and clears its bindings when the use ends, however it ends, so the next
// use starts from a clean statement.
class StatementUse {
public:
    explicit StatementUse(const Statement &statement)
        : _statement(statement.get())
    {
    }
    ~StatementUse()
    {
        sqlite3_reset(_statement);
        sqlite3_clear_bindings(_statement);
    }
    StatementUse(const StatementUse &) = delete;
    StatementUse &operator=(const StatementUse &) = delete;

    operator sqlite3_stmt *() const { return _statement; }

private:
    sqlite3_stmt *_statement;
};

} // namespace Sqlite
