// PostgreSQL through libpq. Rows stream in single-row mode, so a million
// trials are never held twice; the session is read-only.
#include "db/SqlConnection.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <vector>

namespace ors {

namespace {

struct PgCloser {
    void operator()(PGconn* c) const { PQfinish(c); }
};
struct ResultClearer {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

std::string firstLine(const char* text)
{
    std::string s = text ? text : "";
    if (const auto nl = s.find('\n'); nl != std::string::npos)
        s.resize(nl);
    return s;
}

[[noreturn]] void throwServer(PGconn* c)
{
    throw SqlError{SqlError::Kind::Other, firstLine(PQerrorMessage(c))};
}

// '?' placeholders become $1, $2, ... outside quoted text.
std::string numbered(std::string_view sql)
{
    std::string out;
    int n = 0;
    char quote = 0;
    for (const char c : sql) {
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?') {
            out += '$' + std::to_string(++n);
            continue;
        }
        out += c;
    }
    return out;
}

class PgRows final : public SqlRows {
public:
    explicit PgRows(PGconn* c) : m_conn(c) {}
    ~PgRows() override
    {
        // The connection takes no new query until this one is drained.
        if (!m_done) {
            if (PGcancel* cancel = PQgetCancel(m_conn)) {
                char buf[256];
                PQcancel(cancel, buf, sizeof buf);
                PQfreeCancel(cancel);
            }
            while (Result r{PQgetResult(m_conn)}) {
            }
        }
    }
    bool Next() override
    {
        if (m_done)
            return false;
        for (;;) {
            m_row.reset(PQgetResult(m_conn));
            if (!m_row) {
                m_done = true;
                return false;
            }
            switch (PQresultStatus(m_row.get())) {
            case PGRES_SINGLE_TUPLE: return true;
            case PGRES_TUPLES_OK:
            case PGRES_COMMAND_OK: continue; // the end marker; the null result follows
            default: {
                const std::string message = firstLine(PQresultErrorMessage(m_row.get()));
                while (Result r{PQgetResult(m_conn)}) {
                }
                m_done = true;
                throw SqlError{SqlError::Kind::Other, message};
            }
            }
        }
    }
    bool IsNull(int c) const override { return PQgetisnull(m_row.get(), 0, c) != 0; }
    std::int64_t Int(int c) const override { return std::strtoll(PQgetvalue(m_row.get(), 0, c), nullptr, 10); }
    double Real(int c) const override { return std::strtod(PQgetvalue(m_row.get(), 0, c), nullptr); }
    bool Number(int c, double* v) const override
    {
        const char* text = PQgetvalue(m_row.get(), 0, c);
        char* end = nullptr;
        *v = std::strtod(text, &end);
        return !IsNull(c) && end != text && *end == '\0';
    }
    std::string Text(int c) const override
    {
        return std::string(PQgetvalue(m_row.get(), 0, c), std::size_t(PQgetlength(m_row.get(), 0, c)));
    }

private:
    PGconn* m_conn;
    Result m_row;
    bool m_done = false;
};

class PgConnection final : public SqlConnection {
public:
    explicit PgConnection(PGconn* c) : m_conn(c) {}
    std::unique_ptr<SqlRows> Query(std::string_view sql, std::span<const SqlParam> params) override
    {
        std::vector<std::string> texts;
        texts.reserve(params.size());
        for (const auto& p : params)
            texts.push_back(std::holds_alternative<std::int64_t>(p) ? std::to_string(std::get<std::int64_t>(p))
                                                                     : std::get<std::string>(p));
        std::vector<const char*> values;
        for (const auto& t : texts)
            values.push_back(t.c_str());
        const std::string text = numbered(sql);
        if (!PQsendQueryParams(m_conn.get(), text.c_str(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0))
            throwServer(m_conn.get());
        PQsetSingleRowMode(m_conn.get());
        return std::make_unique<PgRows>(m_conn.get());
    }
    std::string ObjectType(std::string_view name) override
    {
        const SqlParam p[] = {std::string(name)};
        auto rows = Query("SELECT CASE table_type WHEN 'BASE TABLE' THEN 'table' ELSE lower(table_type) END FROM "
                          "information_schema.tables WHERE table_schema = current_schema() AND lower(table_name) = "
                          "lower(?)",
                          p);
        return rows->Next() ? rows->Text(0) : std::string();
    }
    std::string QuoteName(std::string_view name) const override { return '"' + std::string(name) + '"'; }
    std::string ServerVersion() override
    {
        const int v = PQserverVersion(m_conn.get());
        return "PostgreSQL " + std::to_string(v / 10000) + "." + std::to_string(v % 10000);
    }

private:
    std::unique_ptr<PGconn, PgCloser> m_conn;
};

ConnectFailure classify(const std::string& message)
{
    for (const char* s : {"password authentication failed", "no password supplied", "authentication failed"})
        if (message.find(s) != std::string::npos)
            return ConnectFailure::Authentication;
    if (message.find("database") != std::string::npos && message.find("does not exist") != std::string::npos)
        return ConnectFailure::NoDatabase;
    for (const char* s : {"could not connect", "Connection refused", "could not translate host name", "timeout expired",
                          "No such file or directory", "Network is unreachable", "No route to host"})
        if (message.find(s) != std::string::npos)
            return ConnectFailure::Unreachable;
    return ConnectFailure::Other;
}

} // namespace

std::unique_ptr<SqlConnection> ConnectPostgres(const StudyUrl& url, const std::string* password, ConnectError* error)
{
    std::vector<std::pair<const char*, std::string>> params{
        {"dbname", url.database},
        {"application_name", "vantix"},
        {"client_encoding", "UTF8"},
        {"connect_timeout", "10"},
        // Vantix only reads; the server refuses any write this session might try.
        {"options", "-c default_transaction_read_only=on"},
    };
    if (!url.host.empty())
        params.emplace_back("host", url.host);
    if (url.port)
        params.emplace_back("port", std::to_string(url.port));
    if (!url.user.empty())
        params.emplace_back("user", url.user);
    if (password)
        params.emplace_back("password", *password);
    else if (url.hasPassword)
        params.emplace_back("password", url.password);
    for (const char* key : {"sslmode", "sslrootcert", "sslcert", "sslkey", "target_session_attrs"})
        if (const auto it = url.query.find(key); it != url.query.end())
            params.emplace_back(key, it->second);
    std::vector<const char*> keys, values;
    for (const auto& [k, v] : params) {
        keys.push_back(k);
        values.push_back(v.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    std::unique_ptr<PGconn, PgCloser> conn(PQconnectdbParams(keys.data(), values.data(), 0));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
        const std::string message = conn ? firstLine(PQerrorMessage(conn.get())) : std::string("out of memory");
        if (error) {
            error->kind = classify(message);
            const std::string where = (url.host.empty() ? std::string("the local server") : url.host) +
                                      (url.port ? ":" + std::to_string(url.port) : std::string());
            switch (error->kind) {
            case ConnectFailure::Authentication:
                error->message = "The PostgreSQL server at " + where + " refused the password of user \"" +
                                 (url.user.empty() ? std::string(PQuser(conn.get())) : url.user) + "\".";
                break;
            case ConnectFailure::NoDatabase:
                error->message = "The PostgreSQL server at " + where + " has no database \"" + url.database + "\".";
                break;
            case ConnectFailure::Unreachable:
                error->message = "No PostgreSQL server answers at " + where + " (" + message + ").";
                break;
            default: error->message = "The PostgreSQL server at " + where + " refused the connection: " + message; break;
            }
        }
        return nullptr;
    }
    return std::make_unique<PgConnection>(conn.release());
}

} // namespace ors
