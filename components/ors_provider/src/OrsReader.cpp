#include "OrsFormat.h"
#include "OrsSchema.h"
#include "ReadProgress.h"
#include "Sqlite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <unordered_set>

namespace ors {

namespace {

// Builds the texts the user sees for one file.
class Messages {
public:
    explicit Messages(const std::wstring& path) : m_file(L"The file \"" + path + L"\"") {}

    OrsError notOrs() const { return {m_file + L" is not an Optimization Results File."}; }
    OrsError empty() const { return {m_file + L" is empty."}; }
    OrsError damaged(const std::wstring& what) const { return {m_file + L" is damaged: " + what + L"."}; }
    OrsError unreadable(const std::wstring& reason) const { return {m_file + L" could not be read: " + reason + L"."}; }
    OrsError unreadable(int error) const { return unreadable(FromUtf8(std::strerror(error))); }
    OrsError newer(std::int64_t version) const
    {
        return {m_file + L" was written by a newer version of the program (format " + std::to_wstring(version) +
                L"); this version reads formats 1 to " + std::to_wstring(kFormatVersion) + L"."};
    }

private:
    std::wstring m_file;
};

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

using sqlite::Blob;
using sqlite::Db;
using sqlite::Stmt;


// Metadata queries on a small file need few steps; a hostile schema must not
// keep the program busy.
constexpr int kProgressPeriod = 1000;
constexpr int kProgressBudget = 100000;

// From this many records on, columns are read and indexed on two threads.
constexpr std::uint32_t kParallelRecords = 200000;

// While progress is reported, function columns are read in pieces of this size.
constexpr std::size_t kProgressChunk = std::size_t(1) << 20;

int progressGuard(void* counter)
{
    return ++*static_cast<int*>(counter) > kProgressBudget ? 1 : 0;
}

class Reader {
public:
    Reader(const std::wstring& path, ReadProgress& progress) : m_path(path), m_msg(path), m_loadProgress(progress) {}

    OrsContent read();

private:
    void checkFileHeader(int fd);
    void openDatabase();
    [[noreturn]] void sqliteFailure(int rc) const { sqliteFailure(rc, m_db.get()); }
    [[noreturn]] void sqliteFailure(int rc, sqlite3* db) const;
    Db openConnection() const;
    Stmt prepare(const char* sql) const;
    int step(sqlite3_stmt* s) const;
    void checkTables();
    void readFileInfo(OrsHeader& h);
    void readInputs(OrsHeader& h);
    void readFunctions(OrsHeader& h);
    void readMeaning(OrsHeader& h);
    // After the values are read: what the meaning tables claim holds for them.
    void checkMeaning(const OrsContent& c, const std::vector<std::wstring>& inputNames,
                      const std::vector<std::wstring>& functionNames) const;
    // Also finds the row of each column: idx need not be the rowid, which
    // blobs are opened by.
    void checkColumns(const char* table, std::size_t count, const std::wstring& kind,
                      const std::vector<std::wstring>& names, std::uint32_t records, std::vector<sqlite3_int64>& rows);
    Blob openColumn(sqlite3* db, const char* table, sqlite3_int64 row, std::uint32_t records) const;
    // Bytes [at, at + n) of an open column into out, in host byte order.
    void readValues(sqlite3* db, sqlite3_blob* blob, std::size_t at, std::size_t n, unsigned char* out) const;
    // Function columns first, first + step, ... through connection db.
    void readColumns(sqlite3* db, std::size_t first, std::size_t step, std::size_t count, std::uint32_t records,
                     double* dst) const;
    // Input columns first, first + step, ... through connection db, read in
    // pieces straight into their value indices; bad[i] as BuildValueIndex returns.
    void indexColumns(sqlite3* db, std::size_t first, std::size_t step, OrsContent& c,
                      std::vector<std::uint32_t>& bad) const;
    std::wstring fullName(const InputInfo& in) const { return FromUtf8(in.signal) + L":" + FromUtf8(in.name); }

    const std::wstring& m_path;
    Messages m_msg;
    ReadProgress& m_loadProgress;
    std::string m_file;
    off_t m_size = 0;
    std::int64_t m_version = 0;
    Db m_db;
    int m_progress = 0;
    std::vector<sqlite3_int64> m_inputRows, m_functionRows;
};

void Reader::checkFileHeader(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        throw m_msg.unreadable(errno);
    if (S_ISDIR(st.st_mode))
        throw m_msg.unreadable(EISDIR);
    if (!S_ISREG(st.st_mode))
        throw m_msg.notOrs();
    if (st.st_size == 0)
        throw m_msg.empty();
    m_size = st.st_size;

    unsigned char head[100];
    std::size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = pread(fd, head + got, sizeof head - got, off_t(got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw m_msg.unreadable(errno);
        }
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    if (got < sizeof sqlite::kMagic || !sqlite::StartsLikeDatabase(head, got))
        throw m_msg.notOrs();
    if (got < sizeof head)
        throw m_msg.damaged(L"it is truncated (" + std::to_wstring(got) + L" bytes)");
    if (sqlite::HeaderWord(head, sqlite::kApplicationIdOffset) != std::uint32_t(kApplicationId))
        throw m_msg.notOrs();
    const auto version = std::int64_t(std::int32_t(sqlite::HeaderWord(head, 60)));
    if (version > kFormatVersion)
        throw m_msg.newer(version);
    if (version < 1)
        throw m_msg.damaged(L"its format version (" + std::to_wstring(version) + L") is not valid");
    m_version = version;

    const unsigned rawPageSize = unsigned(head[16]) << 8 | head[17];
    const std::uint64_t pageSize = rawPageSize == 1 ? 65536 : rawPageSize;
    if (pageSize < 512 || !std::has_single_bit(pageSize))
        throw m_msg.damaged(L"its page size (" + std::to_wstring(pageSize) + L") is not valid");
    // The page count in the header is valid when the version-valid-for number
    // matches the change counter.
    const std::uint64_t pages = sqlite::HeaderWord(head, 28);
    if (pages != 0 && sqlite::HeaderWord(head, 92) == sqlite::HeaderWord(head, 24)) {
        const std::uint64_t expected = pages * pageSize;
        if (std::uint64_t(m_size) < expected)
            throw m_msg.damaged(L"it is truncated (" + std::to_wstring(m_size) + L" of " +
                                std::to_wstring(expected) + L" bytes are present)");
    }
}

[[noreturn]] void Reader::sqliteFailure(int rc, sqlite3* db) const
{
    switch (rc & 0xFF) {
    case SQLITE_NOTADB:
        throw m_msg.notOrs();
    case SQLITE_CORRUPT:
        throw m_msg.damaged(L"its database structure is broken");
    case SQLITE_TOOBIG:
        throw m_msg.damaged(L"it declares more data than it holds");
    case SQLITE_INTERRUPT:
        throw m_msg.damaged(L"its tables cannot be read in reasonable time");
    case SQLITE_NOMEM:
        throw std::bad_alloc();
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_AUTH: {
        const int err = db ? sqlite3_system_errno(db) : 0;
        if (err)
            throw m_msg.unreadable(err);
        throw m_msg.unreadable(FromUtf8(sqlite3_errstr(rc)));
    }
    default:
        // Typically "no such column": a table of another layout.
        throw m_msg.damaged(L"its tables do not have the expected layout (" +
                            FromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)) + L")");
    }
}

Db Reader::openConnection() const
{
    Db db;
    if (const int rc = sqlite::OpenHardened(m_file.c_str(), m_size, db); rc != SQLITE_OK)
        sqliteFailure(rc, db.get());
    return db;
}

void Reader::openDatabase()
{
    m_db = openConnection();
    sqlite3_progress_handler(m_db.get(), kProgressPeriod, progressGuard, &m_progress);
}

Stmt Reader::prepare(const char* sql) const
{
    sqlite3_stmt* s = nullptr;
    const int rc = sqlite3_prepare_v2(m_db.get(), sql, -1, &s, nullptr);
    Stmt stmt(s);
    if (rc != SQLITE_OK)
        sqliteFailure(rc);
    return stmt;
}

int Reader::step(sqlite3_stmt* s) const
{
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        sqliteFailure(rc);
    return rc;
}

void Reader::checkTables()
{
    auto s = prepare("SELECT name, type FROM sqlite_schema");
    std::vector<std::pair<std::string, std::string>> objects;
    while (step(s.get()) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
        const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
        objects.emplace_back(name ? name : "", type ? type : "");
    }
    std::vector<const char*> tables(std::begin(kRequiredTables), std::end(kRequiredTables));
    if (m_version >= 2)
        tables.insert(tables.end(), std::begin(kMeaningTables), std::end(kMeaningTables));
    for (const char* required : tables) {
        const auto it = std::find_if(objects.begin(), objects.end(),
                                     [&](const auto& o) { return sqlite3_stricmp(o.first.c_str(), required) == 0; });
        if (it == objects.end())
            throw m_msg.damaged(L"the table \"" + FromUtf8(required) + L"\" is missing");
        // A view or virtual table of that name could run anything.
        if (it->second != "table")
            throw m_msg.damaged(L"\"" + FromUtf8(required) + L"\" is not a plain table");
    }
}

// Raw bytes of a text (or blob) column: names are kept as stored, whatever
// their encoding.
std::string columnBytes(sqlite3_stmt* s, int col)
{
    const int type = sqlite3_column_type(s, col);
    if (type != SQLITE_TEXT && type != SQLITE_BLOB)
        return {};
    const void* p = sqlite3_column_blob(s, col);
    const int n = sqlite3_column_bytes(s, col);
    return p && n > 0 ? std::string(static_cast<const char*>(p), std::size_t(n)) : std::string();
}

bool isText(sqlite3_stmt* s, int col)
{
    const int type = sqlite3_column_type(s, col);
    return type == SQLITE_TEXT || type == SQLITE_BLOB;
}

void Reader::readFileInfo(OrsHeader& h)
{
    auto s = prepare("SELECT data_type, record_count, creator, created FROM file_info LIMIT 2");
    if (step(s.get()) != SQLITE_ROW)
        throw m_msg.damaged(L"its file information is missing");
    if (sqlite3_column_type(s.get(), 0) != SQLITE_INTEGER)
        throw m_msg.damaged(L"its data type is not a number");
    const sqlite3_int64 type = sqlite3_column_int64(s.get(), 0);
    if (type < INT32_MIN || type > INT32_MAX)
        throw m_msg.damaged(L"its data type (" + std::to_wstring(type) + L") is out of range");
    h.dataType = std::int32_t(type);
    if (sqlite3_column_type(s.get(), 1) != SQLITE_INTEGER)
        throw m_msg.damaged(L"its record count is not a number");
    const sqlite3_int64 records = sqlite3_column_int64(s.get(), 1);
    if (records < 0 || records > sqlite3_int64(UINT32_MAX))
        throw m_msg.damaged(L"its record count (" + std::to_wstring(records) + L") is out of range");
    h.recordCount = std::uint32_t(records);
    h.creator = columnBytes(s.get(), 2);
    h.created = columnBytes(s.get(), 3);
    if (step(s.get()) == SQLITE_ROW)
        throw m_msg.damaged(L"its file information holds more than one row");
}

void Reader::readInputs(OrsHeader& h)
{
    auto s = prepare("SELECT idx, signal, name FROM inputs ORDER BY idx");
    std::unordered_set<std::wstring> seen;
    while (step(s.get()) == SQLITE_ROW) {
        const std::size_t expected = h.inputs.size();
        if (sqlite3_column_type(s.get(), 0) != SQLITE_INTEGER || sqlite3_column_int64(s.get(), 0) != sqlite3_int64(expected))
            throw m_msg.damaged(L"its inputs are not numbered 0, 1, 2, ...");
        if (!isText(s.get(), 1) || !isText(s.get(), 2))
            throw m_msg.damaged(L"input " + std::to_wstring(expected) + L" has no name");
        InputInfo in{columnBytes(s.get(), 1), columnBytes(s.get(), 2)};
        std::wstring full = fullName(in);
        if (!seen.insert(full).second)
            throw m_msg.damaged(L"two inputs are named \"" + full + L"\"");
        h.inputs.push_back(std::move(in));
    }
}

void Reader::readFunctions(OrsHeader& h)
{
    auto s = prepare("SELECT idx, name FROM functions ORDER BY idx");
    std::unordered_set<std::string> seen;
    while (step(s.get()) == SQLITE_ROW) {
        const std::size_t expected = h.functions.size();
        if (sqlite3_column_type(s.get(), 0) != SQLITE_INTEGER || sqlite3_column_int64(s.get(), 0) != sqlite3_int64(expected))
            throw m_msg.damaged(L"its functions are not numbered 0, 1, 2, ...");
        if (!isText(s.get(), 1))
            throw m_msg.damaged(L"function " + std::to_wstring(expected) + L" has no name");
        std::string name = columnBytes(s.get(), 1);
        if (!seen.insert(name).second)
            throw m_msg.damaged(L"two functions are named \"" + FromUtf8(name) + L"\"");
        h.functions.push_back(std::move(name));
    }
}

void Reader::readMeaning(OrsHeader& h)
{
    if (m_version < 2)
        return;
    {
        auto s = prepare("SELECT idx, scale, none_value FROM input_meaning ORDER BY idx");
        std::size_t next = 0;
        while (step(s.get()) == SQLITE_ROW) {
            if (sqlite3_column_type(s.get(), 0) != SQLITE_INTEGER || sqlite3_column_int64(s.get(), 0) != sqlite3_int64(next) ||
                next >= h.inputs.size())
                throw m_msg.damaged(L"its input meanings are not numbered as its inputs");
            InputInfo& in = h.inputs[next++];
            const sqlite3_int64 scale = sqlite3_column_int64(s.get(), 1);
            if (sqlite3_column_type(s.get(), 1) != SQLITE_INTEGER || (scale != kLinearScale && scale != kLogScale))
                throw m_msg.damaged(L"the scale of input \"" + fullName(in) + L"\" is not valid");
            in.scale = std::int32_t(scale);
            const int noneType = sqlite3_column_type(s.get(), 2);
            if (noneType == SQLITE_FLOAT || noneType == SQLITE_INTEGER) {
                const double none = sqlite3_column_double(s.get(), 2);
                if (!std::isfinite(none))
                    throw m_msg.damaged(L"the \"(none)\" value of input \"" + fullName(in) + L"\" is not a finite number");
                in.noneValue = none;
            } else if (noneType != SQLITE_NULL) {
                throw m_msg.damaged(L"the \"(none)\" value of input \"" + fullName(in) + L"\" is not a number");
            }
        }
        if (next != h.inputs.size())
            throw m_msg.damaged(L"its input meanings are not numbered as its inputs");
    }
    {
        auto s = prepare("SELECT input, code, label FROM input_labels ORDER BY input, code");
        while (step(s.get()) == SQLITE_ROW) {
            const sqlite3_int64 input = sqlite3_column_int64(s.get(), 0);
            if (sqlite3_column_type(s.get(), 0) != SQLITE_INTEGER || input < 0 || std::uint64_t(input) >= h.inputs.size())
                throw m_msg.damaged(L"it holds labels of an input it does not have");
            InputInfo& in = h.inputs[std::size_t(input)];
            if (sqlite3_column_type(s.get(), 1) != SQLITE_INTEGER ||
                sqlite3_column_int64(s.get(), 1) != sqlite3_int64(in.labels.size()) || !isText(s.get(), 2))
                throw m_msg.damaged(L"the labels of input \"" + fullName(in) + L"\" are not numbered 0, 1, 2, ...");
            in.labels.push_back(columnBytes(s.get(), 2));
        }
    }
    {
        auto s = prepare("SELECT idx, scale, direction FROM function_meaning ORDER BY idx");
        while (step(s.get()) == SQLITE_ROW) {
            const std::size_t f = h.functionScales.size();
            if (sqlite3_column_type(s.get(), 0) != SQLITE_INTEGER || sqlite3_column_int64(s.get(), 0) != sqlite3_int64(f) ||
                f >= h.functions.size())
                throw m_msg.damaged(L"its function meanings are not numbered as its functions");
            const sqlite3_int64 scale = sqlite3_column_int64(s.get(), 1);
            const sqlite3_int64 direction = sqlite3_column_int64(s.get(), 2);
            if (sqlite3_column_type(s.get(), 1) != SQLITE_INTEGER || (scale != kLinearScale && scale != kLogScale))
                throw m_msg.damaged(L"the scale of function \"" + FromUtf8(h.functions[f]) + L"\" is not valid");
            if (sqlite3_column_type(s.get(), 2) != SQLITE_INTEGER || (direction != kMinimize && direction != kMaximize))
                throw m_msg.damaged(L"the direction of function \"" + FromUtf8(h.functions[f]) + L"\" is not valid");
            h.functionScales.push_back(std::int32_t(scale));
            h.functionDirections.push_back(std::int32_t(direction));
        }
        if (h.functionScales.size() != h.functions.size())
            throw m_msg.damaged(L"its function meanings are not numbered as its functions");
    }
}

void Reader::checkMeaning(const OrsContent& c, const std::vector<std::wstring>& inputNames,
                          const std::vector<std::wstring>& functionNames) const
{
    const OrsHeader& h = c.header;
    for (std::size_t i = 0; i < h.inputs.size(); ++i) {
        const InputInfo& in = h.inputs[i];
        const auto& distinct = c.distinctValues[i];
        const std::wstring name = L"input \"" + inputNames[i] + L"\"";
        if (in.labelled() && in.noneValue && *in.noneValue != double(in.labels.size()))
            throw m_msg.damaged(L"the \"(none)\" value of " + name + L" is not the code after its labels");
        if (in.noneValue && !distinct.empty() && distinct.back() > *in.noneValue)
            throw m_msg.damaged(L"the \"(none)\" value of " + name + L" is not above its other values");
        for (const double v : distinct) {
            if (in.noneValue && v == *in.noneValue)
                continue;
            if (in.labelled() && !(v >= 0 && v < double(in.labels.size()) && v == std::floor(v)))
                throw m_msg.damaged(name + L" holds a value that is not the code of one of its labels");
        }
        if (in.scale == kLogScale && !distinct.empty() && !(distinct.front() > 0))
            throw m_msg.damaged(name + L" is on a log scale but holds a value at or below zero");
    }
    const std::size_t records = h.recordCount;
    for (std::size_t f = 0; f < h.functions.size(); ++f) {
        if (h.functionScale(f) != kLogScale)
            continue;
        const double* v = c.functionValues.data() + f * records;
        if (std::any_of(v, v + records, [](double x) { return !(x > 0); }))
            throw m_msg.damaged(L"function \"" + functionNames[f] + L"\" is on a log scale but holds a value at or below zero");
    }
}

// Checks that every column is present with the declared length before any
// value is read; typeof() and length() read only the record header.
void Reader::checkColumns(const char* table, std::size_t count, const std::wstring& kind,
                          const std::vector<std::wstring>& names, std::uint32_t records, std::vector<sqlite3_int64>& rows)
{
    const std::string columns = "SELECT idx, typeof(data), length(data)";
    const std::string from = std::string(" FROM ") + table + " ORDER BY idx";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), (columns + ", rowid" + from).c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        // Without row ids no blob can be opened.
        prepare((columns + from).c_str());
        throw m_msg.damaged(L"its table \"" + FromUtf8(table) + L"\" has no row ids");
    }
    Stmt s(raw);
    std::size_t next = 0;
    const auto expectedBytes = std::int64_t(records) * 8;
    while (step(s.get()) == SQLITE_ROW) {
        if (sqlite3_column_type(s.get(), 0) != SQLITE_INTEGER)
            throw m_msg.damaged(L"its value columns are not numbered");
        const sqlite3_int64 idx = sqlite3_column_int64(s.get(), 0);
        if (idx < 0 || std::uint64_t(idx) >= count)
            throw m_msg.damaged(L"it holds values of " + kind + L" " + std::to_wstring(idx) + L", which does not exist");
        if (std::uint64_t(idx) < next)
            throw m_msg.damaged(L"the values of " + kind + L" \"" + names[idx] + L"\" are stored twice");
        if (std::uint64_t(idx) != next)
            break; // a gap: reported below
        const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
        const sqlite3_int64 bytes = sqlite3_column_int64(s.get(), 2);
        if (!type || std::strcmp(type, "blob") != 0)
            throw m_msg.damaged(L"the values of " + kind + L" \"" + names[next] + L"\" are not stored as binary data");
        if (bytes != expectedBytes)
            throw m_msg.damaged(L"the values of " + kind + L" \"" + names[next] + L"\" hold " + std::to_wstring(bytes) +
                                L" bytes instead of " + std::to_wstring(expectedBytes) + L" (" +
                                std::to_wstring(records) + L" records of 8 bytes)");
        rows.push_back(sqlite3_column_int64(s.get(), 3));
        ++next;
    }
    if (next < count)
        throw m_msg.damaged(L"the values of " + kind + L" \"" + names[next] + L"\" are missing");
}

Blob Reader::openColumn(sqlite3* db, const char* table, sqlite3_int64 row, std::uint32_t records) const
{
    sqlite3_blob* raw = nullptr;
    const int rc = sqlite3_blob_open(db, "main", table, "data", row, 0, &raw);
    Blob blob(raw);
    if (rc != SQLITE_OK)
        sqliteFailure(rc, db);
    if (std::size_t(sqlite3_blob_bytes(raw)) != std::size_t(records) * 8)
        throw m_msg.damaged(L"a value column changed its length while being read");
    return blob;
}

void Reader::readValues(sqlite3* db, sqlite3_blob* blob, std::size_t at, std::size_t n, unsigned char* out) const
{
    // Blobs are at most 2 GiB (checked), so offsets fit SQLite's int.
    if (const int rc = sqlite3_blob_read(blob, out, int(n), int(at)); rc != SQLITE_OK)
        sqliteFailure(rc, db);
    if constexpr (std::endian::native == std::endian::big) {
        auto* words = reinterpret_cast<std::uint64_t*>(out);
        for (std::size_t r = 0; r < n / 8; ++r)
            words[r] = __builtin_bswap64(words[r]);
    }
    m_loadProgress.Advance(n);
}

void Reader::readColumns(sqlite3* db, std::size_t first, std::size_t step, std::size_t count, std::uint32_t records,
                         double* dst) const
{
    const std::size_t bytes = std::size_t(records) * 8;
    const std::size_t chunk = m_loadProgress.Active() ? kProgressChunk : bytes;
    for (std::size_t i = first; i < count; i += step) {
        const Blob blob = openColumn(db, "function_values", m_functionRows[i], records);
        auto* out = reinterpret_cast<unsigned char*>(dst + i * records);
        for (std::size_t at = 0; at < bytes; at += chunk)
            readValues(db, blob.get(), at, std::min(chunk, bytes - at), out + at);
    }
}

void Reader::indexColumns(sqlite3* db, std::size_t first, std::size_t step, OrsContent& c,
                          std::vector<std::uint32_t>& bad) const
{
    const std::uint32_t records = c.header.recordCount;
    // One piece at a time through a buffer that stays in the caches: the
    // doubles themselves are never kept.
    std::vector<double> piece(std::min(records, kPieceValues));
    for (std::size_t i = first; i < c.header.inputs.size(); i += step) {
        const Blob blob = openColumn(db, "input_values", m_inputRows[i], records);
        const auto read = [&](std::uint32_t from, std::uint32_t count) -> const double* {
            readValues(db, blob.get(), std::size_t(from) * 8, std::size_t(count) * 8,
                       reinterpret_cast<unsigned char*>(piece.data()));
            return piece.data();
        };
        bad[i] = BuildValueIndex(read, records, c.valueIndices.data() + i * std::size_t(records), c.distinctValues[i]);
    }
}

// Index of the first value that is not a finite number, or n. Checked in
// blocks without early exit so the loop vectorises.
std::size_t firstNonFinite(const double* v, std::size_t n)
{
    constexpr std::uint64_t kExponent = 0x7FF0000000000000ull;
    constexpr std::size_t kBlock = 4096;
    for (std::size_t b = 0; b < n; b += kBlock) {
        const std::size_t e = std::min(n, b + kBlock);
        bool bad = false;
        for (std::size_t i = b; i < e; ++i)
            bad |= (std::bit_cast<std::uint64_t>(v[i]) & kExponent) == kExponent;
        if (bad)
            for (std::size_t i = b; i < e; ++i)
                if ((std::bit_cast<std::uint64_t>(v[i]) & kExponent) == kExponent)
                    return i;
    }
    return n;
}

OrsContent Reader::read()
{
    m_file = ToUtf8(m_path);
    {
        // Non-blocking, so that a named pipe given as the file cannot hang the open.
        const int fd = ::open(m_file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            throw m_msg.unreadable(errno);
        FdCloser closer{fd};
        checkFileHeader(fd);
    }
    openDatabase();
    checkTables();

    OrsContent c;
    OrsHeader& h = c.header;
    readFileInfo(h);
    readInputs(h);
    readFunctions(h);
    readMeaning(h);

    const std::size_t columns = h.inputs.size() + h.functions.size();
    const std::uint32_t records = h.recordCount;
    if (records > 0 && columns == 0)
        throw m_msg.damaged(L"it declares " + std::to_wstring(records) + L" records but no inputs or functions");
    // Never allocate more than the file can hold.
    if (records > 0 && columns > std::uint64_t(m_size) / 8 / records)
        throw m_msg.damaged(L"it declares " + std::to_wstring(records) + L" records, more than its size can hold");
    if (std::uint64_t(records) * 8 > std::uint64_t(INT_MAX))
        throw m_msg.damaged(L"it declares " + std::to_wstring(records) + L" records, more than a file can hold");

    std::vector<std::wstring> inputNames, functionNames;
    for (const auto& in : h.inputs)
        inputNames.push_back(fullName(in));
    for (const auto& f : h.functions)
        functionNames.push_back(FromUtf8(f));
    checkColumns("input_values", h.inputs.size(), L"input", inputNames, records, m_inputRows);
    checkColumns("function_values", h.functions.size(), L"function", functionNames, records, m_functionRows);
    sqlite3_progress_handler(m_db.get(), 0, nullptr, nullptr); // blob reads are bounded by the checks above

    const std::size_t inputs = h.inputs.size();
    c.functionValues = HugeArray<double>(h.functions.size() * std::size_t(records));
    c.valueIndices = HugeArray<std::uint32_t>(inputs * std::size_t(records));
    c.distinctValues.assign(inputs, {});
    std::vector<std::uint32_t> bad(inputs, records);
    // Large files are read on two connections at once, the columns taken in turns.
    const auto readShare = [&](sqlite3* db, std::size_t first, std::size_t step) {
        indexColumns(db, first, step, c, bad);
        readColumns(db, first, step, h.functions.size(), records, c.functionValues.data());
    };
    m_loadProgress.BeginStage(100, std::uint64_t(columns) * records * 8);
    const bool split = records >= kParallelRecords && columns > 1 && std::thread::hardware_concurrency() > 1;
    ParallelLoad(m_loadProgress, split ? 2 : 1, [&](int part, int parts) {
        if (part == 0) {
            readShare(m_db.get(), 0, std::size_t(parts));
        } else {
            const Db second = openConnection();
            readShare(second.get(), std::size_t(part), std::size_t(parts));
        }
    });
    m_db.reset();

    for (std::size_t f = 0; f < h.functions.size(); ++f) {
        const std::size_t at = firstNonFinite(c.functionValues.data() + f * records, records);
        if (at < records)
            throw m_msg.damaged(L"function \"" + functionNames[f] + L"\" holds a value that is not a finite number (record " +
                                std::to_wstring(at) + L")");
    }
    for (std::size_t i = 0; i < inputs; ++i)
        if (bad[i] < records)
            throw m_msg.damaged(L"input \"" + inputNames[i] + L"\" holds a value that is not a finite number (record " +
                                std::to_wstring(bad[i]) + L")");
    checkMeaning(c, inputNames, functionNames);
    return c;
}

} // namespace

OrsContent ReadOrsFile(const std::wstring& path, ReadProgress& progress)
{
    return Reader(path, progress).read();
}

OrsContent ReadOrsFile(const std::wstring& path)
{
    ReadProgress none;
    return ReadOrsFile(path, none);
}

} // namespace ors
