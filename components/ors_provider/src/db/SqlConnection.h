#pragma once
// One way to run read-only queries against the servers and files a study may
// live in (SQLite, PostgreSQL, MariaDB/MySQL), so the study reader is written
// once. Statements use '?' placeholders whatever the server. Rows stream: a
// query's rows are not copied in memory before they are handed out.
#include "db/StudyUrl.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace ors {

using SqlParam = std::variant<std::int64_t, std::string>;

// Thrown by queries: what failed, in the server's words.
struct SqlError {
    enum class Kind { NoMemory, Damaged, Other };
    Kind kind = Kind::Other;
    std::string detail;
};

class SqlRows {
public:
    virtual ~SqlRows() = default;
    // Moves to the next row; false after the last one.
    virtual bool Next() = 0; // throws SqlError
    virtual bool IsNull(int column) const = 0;
    virtual std::int64_t Int(int column) const = 0;
    // Values are exact: servers send the shortest text that reads back as the
    // same double.
    virtual double Real(int column) const = 0;
    // The column's number, false when it is NULL or not a number.
    virtual bool Number(int column, double* value) const = 0;
    virtual std::string Text(int column) const = 0;
};

class SqlConnection {
public:
    virtual ~SqlConnection() = default;
    // Throws SqlError.
    virtual std::unique_ptr<SqlRows> Query(std::string_view sql, std::span<const SqlParam> params = {}) = 0;
    // "table", "view" (or another kind) for an object of the default schema,
    // named in any case; empty when there is none.
    virtual std::string ObjectType(std::string_view name) = 0;
    bool HasTable(std::string_view name) { return ObjectType(name) == "table"; }
    // A column or table name as the server quotes it ("key" is reserved in some).
    virtual std::string QuoteName(std::string_view name) const = 0;
    // "PostgreSQL 15.18", "MariaDB 10.11.19", "SQLite 3.40.1": for messages and traces.
    virtual std::string ServerVersion() = 0;
};

// What made a connection fail, so callers can ask for a password and try again.
enum class ConnectFailure { None, Authentication, Unreachable, NoDatabase, Other };

struct ConnectError {
    ConnectFailure kind = ConnectFailure::Other;
    std::string message; // a sentence for the user, without the password
};

// Connects read-only. password overrides the URL's when given. Returns null and
// fills *error when the connection cannot be made.
std::unique_ptr<SqlConnection> ConnectStudyDatabase(const StudyUrl& url, const std::string* password,
                                                    ConnectError* error);

// The back ends; ConnectStudyDatabase picks one by the URL's kind.
std::unique_ptr<SqlConnection> ConnectSqlite(const StudyUrl& url, ConnectError* error);
std::unique_ptr<SqlConnection> ConnectPostgres(const StudyUrl& url, const std::string* password, ConnectError* error);
std::unique_ptr<SqlConnection> ConnectMariaDb(const StudyUrl& url, const std::string* password, ConnectError* error);

} // namespace ors
