#include "support/DbServer.h"

#include <arpa/inet.h>
#include <sqlite3.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace test {

namespace fs = std::filesystem;

namespace {

std::string shellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The server's own commands run unprivileged when we are root.
std::string asServer()
{
    return ::geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups -- " : "";
}

// Unique per call: writers run on several threads at once.
std::string uniqueName(const char* stem)
{
    static std::atomic<unsigned> counter{0};
    return std::string(stem) + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

int run(const std::string& command, std::string* out = nullptr)
{
    const std::string log = fs::temp_directory_path() / (uniqueName("vantix-db") + ".log");
    const int rc = std::system(("(" + command + ") >" + shellQuote(log) + " 2>&1").c_str());
    if (out) {
        std::ifstream in(log);
        std::stringstream ss;
        ss << in.rdbuf();
        *out = ss.str();
    }
    fs::remove(log);
    return rc;
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

std::string pgBin(const char* tool)
{
    for (const char* dir : {"/usr/lib/postgresql/15/bin/", "/usr/lib/postgresql/16/bin/", "/usr/bin/"})
        if (fs::exists(std::string(dir) + tool))
            return std::string(dir) + tool;
    return {};
}

} // namespace

std::unique_ptr<DbServer> DbServer::Start(Kind kind, std::string* why)
{
    const auto fail = [why](std::string text) -> std::unique_ptr<DbServer> {
        *why = std::move(text);
        return nullptr;
    };
    char pattern[] = "/tmp/vantix-db-XXXXXX";
    if (!::mkdtemp(pattern))
        return fail("no temporary folder");
    std::unique_ptr<DbServer> server(new DbServer(kind, pattern, freePort()));
    if (::geteuid() == 0 && run("chown nobody:nogroup " + shellQuote(server->m_folder)) != 0)
        return fail("cannot hand the folder to nobody");
    std::string out;
    const std::string data = server->m_folder + "/data";
    if (kind == Kind::Postgres) {
        if (pgBin("initdb").empty())
            return fail("PostgreSQL's initdb is not installed");
        std::ofstream(server->m_folder + "/pw") << kPassword << "\n";
        run("chmod 644 " + shellQuote(server->m_folder + "/pw"));
        if (run(asServer() + pgBin("initdb") + " -D " + shellQuote(data) + " -U " + kUser +
                    " --auth=scram-sha-256 --pwfile=" + shellQuote(server->m_folder + "/pw") +
                    " -E UTF8 --locale=C --no-sync",
                &out) != 0)
            return fail("initdb failed: " + out);
    } else {
        if (run("command -v mariadb-install-db && command -v mariadbd") != 0)
            return fail("MariaDB's server is not installed");
        if (run(asServer() + "mariadb-install-db --no-defaults --datadir=" + shellQuote(data) +
                    " --auth-root-authentication-method=normal --skip-test-db",
                &out) != 0)
            return fail("mariadb-install-db failed: " + out);
    }
    if (!server->Launch(why))
        return nullptr;
    std::string setup = std::string("CREATE DATABASE ") + kDatabase + ";";
    if (kind == Kind::MariaDb) // at localhost too: an anonymous user there would shadow the "%" one
        for (const char* host : {"%", "localhost"})
            setup += std::string("CREATE USER '") + kUser + "'@'" + host + "' IDENTIFIED BY '" + kPassword +
                     "'; GRANT ALL ON " + kDatabase + ".* TO '" + kUser + "'@'" + host + "';";
    if (!server->Exec(setup, &out, kind == Kind::Postgres ? "postgres" : ""))
        return fail("cannot create the database: " + out);
    return server;
}

bool DbServer::Launch(std::string* why)
{
    const std::string data = m_folder + "/data";
    std::string out;
    if (m_kind == Kind::Postgres) {
        if (run(asServer() + pgBin("pg_ctl") + " -D " + shellQuote(data) + " -l " + shellQuote(m_folder + "/log") +
                    " -w -t 60 -o " +
                    shellQuote("-k " + m_folder + " -p " + std::to_string(m_port) +
                           " -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=40") +
                    " start",
                &out) != 0) {
            *why = "the PostgreSQL server did not start: " + out;
            return false;
        }
    } else {
        run(asServer() + "sh -c " +
            shellQuote("mariadbd --no-defaults --datadir=" + data + " --socket=" + m_folder + "/sock --port=" +
                   std::to_string(m_port) + " --bind-address=127.0.0.1 --pid-file=" + m_folder +
                   "/pid --log-error=" + m_folder + "/err --innodb-buffer-pool-size=16M --skip-log-bin " +
                   "--innodb-flush-log-at-trx-commit=0 </dev/null >/dev/null 2>&1 &"));
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (run("mariadb --no-defaults -S " + shellQuote(m_folder + "/sock") + " -u root -e 'SELECT 1'") != 0) {
            if (std::chrono::steady_clock::now() > until) {
                *why = "the MariaDB server did not start";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    m_running = true;
    return true;
}

bool DbServer::Stop()
{
    if (!m_running)
        return true;
    m_running = false;
    // Both wait until the server has gone.
    return run(m_kind == Kind::Postgres
                   ? asServer() + pgBin("pg_ctl") + " -D " + shellQuote(m_folder + "/data") + " -w -m fast stop"
                   : "mariadb-admin --no-defaults -S " + shellQuote(m_folder + "/sock") + " -u root shutdown") == 0;
}

bool DbServer::Resume()
{
    std::string why;
    return m_running || Launch(&why);
}

DbServer::~DbServer()
{
    Stop();
    std::error_code ec;
    fs::remove_all(m_folder, ec);
}

std::string DbServer::Url(bool withPassword) const
{
    std::string pw;
    for (char c : std::string(kPassword))
        pw += c == ' ' ? std::string("%20") : std::string(1, c);
    return std::string(m_kind == Kind::Postgres ? "postgresql://" : "mysql://") + kUser +
           (withPassword ? ":" + pw : std::string()) + "@127.0.0.1:" + std::to_string(m_port) + "/" + kDatabase;
}

bool DbServer::Exec(const std::string& sql, std::string* out, const char* database) const
{
    const std::string file = m_folder + "/" + uniqueName("exec") + ".sql";
    std::ofstream(file) << sql << "\n";
    std::string output;
    const int rc = m_kind == Kind::Postgres
                       ? run("PGPASSWORD=" + shellQuote(kPassword) + " psql -X -q -v ON_ERROR_STOP=1 -h " + shellQuote(m_folder) +
                                 " -p " + std::to_string(m_port) + " -U " + kUser + " -d " + database + " -f " +
                                 shellQuote(file),
                             &output)
                       : run("mariadb --no-defaults -S " + shellQuote(m_folder + "/sock") + " -u root " + database + " < " +
                                 shellQuote(file),
                             &output);
    if (out)
        *out = output;
    fs::remove(file);
    return rc == 0;
}

bool StudyHome::Start(Kind kind, const std::string& path, std::string* why)
{
    if (kind == Sqlite) {
        file = path;
        fs::remove(file);
    } else {
        server = DbServer::Start(kind == Postgres ? DbServer::Kind::Postgres : DbServer::Kind::MariaDb, why);
        if (!server)
            return false;
        dialect = kind == Postgres ? SqlDialect::Postgres : SqlDialect::MariaDb;
    }
    return Exec(OptunaSchemaSql(dialect), why);
}

bool StudyHome::Exec(const std::string& sql, std::string* why) const
{
    if (server)
        return server->Exec(sql, why);
    sqlite3* db = nullptr;
    char* error = nullptr;
    const bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK && sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
                    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK;
    if (error && why)
        *why = error;
    sqlite3_free(error);
    sqlite3_close(db);
    return ok;
}

std::string StudyHome::Url(bool withPassword) const
{
    return server ? server->Url(withPassword) : "sqlite:///" + file;
}

} // namespace test
