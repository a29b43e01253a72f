// MariaDB and MySQL servers through MariaDB's client library. Results stream
// (mysql_use_result); parameters are escaped into the statement text, since
// the text protocol already sends doubles as their shortest exact text.
#include "db/SqlConnection.h"

#include <mysql.h>

#include <cstdlib>
#include <string_view>

namespace ors {

namespace {

struct MysqlCloser {
    void operator()(MYSQL* m) const { mysql_close(m); }
};
struct ResultFreer {
    void operator()(MYSQL_RES* r) const { mysql_free_result(r); }
};

[[noreturn]] void throwServer(MYSQL* m)
{
    throw SqlError{mysql_errno(m) == 2008 ? SqlError::Kind::NoMemory : SqlError::Kind::Other, mysql_error(m)};
}

class MariaRows final : public SqlRows {
public:
    MariaRows(MYSQL* m, MYSQL_RES* r) : m_mysql(m), m_result(r) {}
    bool Next() override
    {
        if (!m_result)
            return false;
        m_row = mysql_fetch_row(m_result.get());
        if (!m_row) {
            if (mysql_errno(m_mysql))
                throwServer(m_mysql);
            return false;
        }
        m_lengths = mysql_fetch_lengths(m_result.get());
        return true;
    }
    bool IsNull(int c) const override { return m_row[c] == nullptr; }
    std::int64_t Int(int c) const override { return m_row[c] ? std::strtoll(m_row[c], nullptr, 10) : 0; }
    double Real(int c) const override { return m_row[c] ? std::strtod(m_row[c], nullptr) : 0.0; }
    bool Number(int c, double* v) const override
    {
        char* end = nullptr;
        *v = m_row[c] ? std::strtod(m_row[c], &end) : 0.0;
        return m_row[c] && end != m_row[c] && *end == '\0';
    }
    std::string Text(int c) const override { return m_row[c] ? std::string(m_row[c], m_lengths[c]) : std::string(); }

private:
    MYSQL* m_mysql;
    std::unique_ptr<MYSQL_RES, ResultFreer> m_result; // freeing it reads the rest of an unfinished result
    MYSQL_ROW m_row = nullptr;
    unsigned long* m_lengths = nullptr;
};

class MariaConnection final : public SqlConnection {
public:
    explicit MariaConnection(MYSQL* m) : m_mysql(m) {}
    std::unique_ptr<SqlRows> Query(std::string_view sql, std::span<const SqlParam> params) override
    {
        std::string text;
        std::size_t next = 0;
        char quote = 0;
        for (const char c : sql) {
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '\'' || c == '"' || c == '`') {
                quote = c;
            } else if (c == '?' && next < params.size()) {
                const SqlParam& p = params[next++];
                if (const auto* n = std::get_if<std::int64_t>(&p)) {
                    text += std::to_string(*n);
                } else {
                    const std::string& s = std::get<std::string>(p);
                    std::string escaped(s.size() * 2 + 1, '\0');
                    escaped.resize(mysql_real_escape_string(m_mysql.get(), escaped.data(), s.data(), s.size()));
                    text += '\'' + escaped + '\'';
                }
                continue;
            }
            text += c;
        }
        if (mysql_real_query(m_mysql.get(), text.data(), text.size()) != 0)
            throwServer(m_mysql.get());
        MYSQL_RES* r = mysql_use_result(m_mysql.get());
        if (!r && mysql_field_count(m_mysql.get()) != 0)
            throwServer(m_mysql.get());
        return std::make_unique<MariaRows>(m_mysql.get(), r);
    }
    std::string ObjectType(std::string_view name) override
    {
        const SqlParam p[] = {std::string(name)};
        auto rows = Query("SELECT CASE table_type WHEN 'BASE TABLE' THEN 'table' ELSE lower(table_type) END FROM "
                          "information_schema.tables WHERE table_schema = DATABASE() AND lower(table_name) = lower(?)",
                          p);
        return rows->Next() ? rows->Text(0) : std::string();
    }
    std::string QuoteName(std::string_view name) const override { return '`' + std::string(name) + '`'; }
    std::string ServerVersion() override
    {
        std::string v = mysql_get_server_info(m_mysql.get());
        const bool maria = v.find("MariaDB") != std::string::npos;
        if (const auto dash = v.find('-'); dash != std::string::npos)
            v.resize(dash);
        return (maria ? "MariaDB " : "MySQL ") + v;
    }

private:
    std::unique_ptr<MYSQL, MysqlCloser> m_mysql;
};

} // namespace

std::unique_ptr<SqlConnection> ConnectMariaDb(const StudyUrl& url, const std::string* password, ConnectError* error)
{
    std::unique_ptr<MYSQL, MysqlCloser> m(mysql_init(nullptr));
    if (!m) {
        if (error)
            *error = {ConnectFailure::Other, "Not enough memory to connect to the database server."};
        return nullptr;
    }
    // The user's option files ([client] group) may hold the password and socket.
    mysql_optionsv(m.get(), MYSQL_READ_DEFAULT_GROUP, "client");
    const unsigned timeout = 10;
    mysql_optionsv(m.get(), MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    mysql_optionsv(m.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
    const bool socket = !url.host.empty() && url.host.front() == '/';
    const std::string* pass = password ? password : url.hasPassword ? &url.password : nullptr;
    const char* envPass = pass ? nullptr : std::getenv("MYSQL_PWD");
    if (!mysql_real_connect(m.get(), socket || url.host.empty() ? nullptr : url.host.c_str(),
                            url.user.empty() ? nullptr : url.user.c_str(), pass ? pass->c_str() : envPass,
                            url.database.c_str(), unsigned(url.port), socket ? url.host.c_str() : nullptr, 0)) {
        if (error) {
            const unsigned code = mysql_errno(m.get());
            const std::string where = (url.host.empty() ? std::string("the local server") : url.host) +
                                      (url.port ? ":" + std::to_string(url.port) : std::string());
            switch (code) {
            case 1045: // access denied
            case 1698:
                *error = {ConnectFailure::Authentication, "The database server at " + where +
                                                              " refused the password of user \"" + url.user + "\"."};
                break;
            case 1049: // unknown database
            case 1044:
                *error = {ConnectFailure::NoDatabase,
                          "The database server at " + where + " has no database \"" + url.database + "\" for this user."};
                break;
            case 2002: case 2003: case 2005: case 2006: case 2013:
                *error = {ConnectFailure::Unreachable,
                          "No MariaDB or MySQL server answers at " + where + " (" + mysql_error(m.get()) + ")."};
                break;
            default:
                *error = {ConnectFailure::Other,
                          "The database server at " + where + " refused the connection: " + mysql_error(m.get())};
            }
        }
        return nullptr;
    }
    // Vantix only reads; the server refuses any write this session might try.
    constexpr std::string_view kReadOnly = "SET SESSION TRANSACTION READ ONLY";
    mysql_real_query(m.get(), kReadOnly.data(), kReadOnly.size());
    return std::make_unique<MariaConnection>(m.release());
}

} // namespace ors
