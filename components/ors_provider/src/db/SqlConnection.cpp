#include "db/SqlConnection.h"
#include "Sqlite.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace ors {

namespace {

SqlError SqliteError(int rc, sqlite3* db)
{
    switch (rc & 0xFF) {
    case SQLITE_NOMEM: return {SqlError::Kind::NoMemory, "out of memory"};
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return {SqlError::Kind::Damaged, sqlite3_errstr(rc)};
    default: return {SqlError::Kind::Other, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)};
    }
}

class SqliteRows final : public SqlRows {
public:
    explicit SqliteRows(sqlite3_stmt* s) : m_stmt(s) {}
    bool Next() override
    {
        const int rc = sqlite3_step(m_stmt.get());
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw SqliteError(rc, sqlite3_db_handle(m_stmt.get()));
    }
    bool IsNull(int c) const override { return sqlite3_column_type(m_stmt.get(), c) == SQLITE_NULL; }
    std::int64_t Int(int c) const override { return sqlite3_column_int64(m_stmt.get(), c); }
    double Real(int c) const override { return sqlite3_column_double(m_stmt.get(), c); }
    bool Number(int c, double* v) const override
    {
        const int type = sqlite3_column_type(m_stmt.get(), c);
        *v = sqlite3_column_double(m_stmt.get(), c);
        return type == SQLITE_FLOAT || type == SQLITE_INTEGER;
    }
    std::string Text(int c) const override
    {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt.get(), c));
        return p ? std::string(p, std::size_t(sqlite3_column_bytes(m_stmt.get(), c))) : std::string();
    }

private:
    sqlite::Stmt m_stmt;
};

class SqliteConnection final : public SqlConnection {
public:
    explicit SqliteConnection(sqlite3* db) : m_db(db) {}
    std::unique_ptr<SqlRows> Query(std::string_view sql, std::span<const SqlParam> params) override
    {
        sqlite3_stmt* s = nullptr;
        if (const int rc = sqlite3_prepare_v2(m_db.get(), sql.data(), int(sql.size()), &s, nullptr); rc != SQLITE_OK)
            throw SqliteError(rc, m_db.get());
        auto rows = std::make_unique<SqliteRows>(s);
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (const auto* n = std::get_if<std::int64_t>(&params[i]))
                sqlite3_bind_int64(s, int(i + 1), *n);
            else {
                const auto& t = std::get<std::string>(params[i]);
                sqlite3_bind_text(s, int(i + 1), t.data(), int(t.size()), SQLITE_TRANSIENT);
            }
        }
        return rows;
    }
    std::string ObjectType(std::string_view name) override
    {
        const SqlParam p[] = {std::string(name)};
        auto rows = Query("SELECT type FROM sqlite_schema WHERE lower(name) = lower(?) ORDER BY type = 'table' DESC", p);
        return rows->Next() ? rows->Text(0) : std::string();
    }
    std::string QuoteName(std::string_view name) const override { return '"' + std::string(name) + '"'; }
    std::string ServerVersion() override { return std::string("SQLite ") + sqlite3_libversion(); }

private:
    sqlite::Db m_db;
};

} // namespace

std::unique_ptr<SqlConnection> ConnectSqlite(const StudyUrl& url, ConnectError* error)
{
    const auto fail = [&](ConnectFailure kind, std::string message) -> std::unique_ptr<SqlConnection> {
        if (error)
            *error = {kind, std::move(message)};
        return nullptr;
    };
    struct stat st {};
    if (::stat(url.database.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(ConnectFailure::NoDatabase, "The file " + url.database + " does not exist or is not a file.");
    sqlite::Db db;
    if (sqlite::OpenHardened(url.database.c_str(), st.st_size, db) != SQLITE_OK)
        return fail(ConnectFailure::Other, "The file " + url.database + " could not be opened.");
    // Workers of a running study write while we read.
    sqlite3_busy_timeout(db.get(), 5000);
    return std::make_unique<SqliteConnection>(db.release());
}

std::unique_ptr<SqlConnection> ConnectStudyDatabase(const StudyUrl& url, const std::string* password, ConnectError* error)
{
    switch (url.kind) {
    case StudyUrl::Kind::Postgres: return ConnectPostgres(url, password, error);
    case StudyUrl::Kind::MariaDb: return ConnectMariaDb(url, password, error);
    case StudyUrl::Kind::Sqlite: break;
    }
    return ConnectSqlite(url, error);
}

} // namespace ors
