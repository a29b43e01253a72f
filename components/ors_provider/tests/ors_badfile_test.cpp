// Every file that cannot be loaded gives a text the user understands, and
// never a crash or an allocation the file cannot back.
#include "OrsTestSupport.h"

#include <sys/stat.h>
#include <unistd.h>


using namespace orstest;

namespace {

class OrsBadFile : public ::testing::Test {
protected:
    // A valid file to damage.
    fs::path valid(const std::string& name = "good.ors")
    {
        const auto path = m_dir / name;
        smallSample().write(path);
        return path;
    }
    void expectError(const fs::path& path, const std::wstring& tail)
    {
        const auto r = load(path);
        EXPECT_TRUE(FAILED(r.hr));
        EXPECT_FALSE(r.source);
        EXPECT_EQ(r.error, fileText(path) + tail);
    }
    void expectDamaged(const std::string& sql, const std::wstring& what)
    {
        SCOPED_TRACE(sql);
        const auto path = valid("damaged" + std::to_string(m_serial++) + ".ors");
        execSql(path, sql);
        expectError(path, L" is damaged: " + what + L".");
    }

    TempDir m_dir;
    int m_serial = 0;
};

const std::wstring kNotOrs = L" is not an Optimization Results File.";

} // namespace

TEST_F(OrsBadFile, FilesThatCannotBeOpened)
{
    expectError(m_dir / "missing.ors", L" could not be read: No such file or directory.");
    const auto plain = valid();
    expectError(plain / "inner.ors", L" could not be read: Not a directory.");

    // A named pipe must neither hang the load nor pass as a file.
    const auto fifo = m_dir / "pipe.ors";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    expectError(fifo, kNotOrs);

    // Permission bits do not stop root; then the unreadable case cannot be made.
    const auto locked = valid("locked.ors");
    ::chmod(locked.c_str(), 0);
    if (::access(locked.c_str(), R_OK) != 0)
        expectError(locked, L" could not be read: Permission denied.");
}

TEST_F(OrsBadFile, EmptyRandomAndForeignFilesAreNotResultsFiles)
{
    writeBytes(m_dir / "empty.ors", "");
    expectError(m_dir / "empty.ors", L" is empty.");

    // Binary noise, and the SQLite signature followed by it.
    std::string noise(5000, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = char(i * 7919 % 251);
    writeBytes(m_dir / "sig.ors", std::string("SQLite format 3", 16) + noise);
    expectError(m_dir / "sig.ors", kNotOrs);
    writeBytes(m_dir / "noise.ors", noise);
    expectError(m_dir / "noise.ors", kNotOrs);

    // Another program's database.
    const auto foreign = m_dir / "foreign.ors";
    execSql(foreign, "CREATE TABLE customers(id INTEGER PRIMARY KEY, name TEXT); INSERT INTO customers VALUES (1, 'a');");
    expectError(foreign, kNotOrs);
    // Our layout under another application id is still not ours.
    const auto other = valid("other.ors");
    execSql(other, "PRAGMA application_id = 1234;");
    expectError(other, kNotOrs);
}

TEST_F(OrsBadFile, FormatVersions)
{
    const auto newer = valid("newer.ors");
    execSql(newer, "PRAGMA user_version = 3;");
    expectError(newer, L" was written by a newer version of the program (format 3); this version reads formats 1 to 2.");
    const auto none = valid("none.ors");
    execSql(none, "PRAGMA user_version = 0;");
    expectError(none, L" is damaged: its format version (0) is not valid.");
}

TEST_F(OrsBadFile, TruncatedAtSeveralOffsets)
{
    const auto path = valid();
    const std::string whole = readBytes(path);
    ASSERT_GT(whole.size(), 8192u);
    const std::wstring size = std::to_wstring(whole.size());
    const auto cut = [&](std::size_t n) {
        const auto p = m_dir / ("cut" + std::to_string(n) + ".ors");
        writeBytes(p, whole.substr(0, n));
        return p;
    };
    expectError(cut(10), kNotOrs);
    expectError(cut(50), L" is damaged: it is truncated (50 bytes).");
    for (const std::size_t n : {std::size_t(100), std::size_t(4096), whole.size() / 2, whole.size() - 4096,
                                whole.size() - 1}) {
        SCOPED_TRACE(n);
        expectError(cut(n), L" is damaged: it is truncated (" + std::to_wstring(n) + L" of " + size +
                                L" bytes are present).");
    }
}

TEST_F(OrsBadFile, DamagedTablesCountsNamesAndValues)
{
    const std::string plainIdx = "CREATE TABLE copy AS SELECT * FROM function_values; DROP TABLE function_values;"
                                 "CREATE TABLE function_values(idx INT, data BLOB) ";
    const std::string nans = "X'" + std::string(11 * 16, 'F') + "'";
    const std::pair<std::string, std::wstring> cases[] = {
        {"DROP TABLE functions;", L"the table \"functions\" is missing"},
        {"DROP TABLE inputs; CREATE VIEW inputs AS SELECT 0 AS idx, 'a' AS signal, 'b' AS name;",
         L"\"inputs\" is not a plain table"},
        {"ALTER TABLE functions DROP COLUMN name;",
         L"its tables do not have the expected layout (no such column: name)"},
        {"DELETE FROM file_info;", L"its file information is missing"},
        {"INSERT INTO file_info SELECT * FROM file_info;", L"its file information holds more than one row"},
        {"UPDATE file_info SET data_type = 'surface';", L"its data type is not a number"},
        {"UPDATE file_info SET data_type = 3000000000;", L"its data type (3000000000) is out of range"},
        {"UPDATE file_info SET record_count = 1000000000;",
         L"it declares 1000000000 records, more than its size can hold"},
        {"UPDATE file_info SET record_count = -1;", L"its record count (-1) is out of range"},
        {"UPDATE file_info SET record_count = 12;",
         L"the values of input \"Filter:Cutoff\" hold 88 bytes instead of 96 (12 records of 8 bytes)"},
        {"UPDATE function_values SET data = CAST(data || X'00' AS BLOB) WHERE idx = 0;",
         L"the values of function \"Error\" hold 89 bytes instead of 88 (11 records of 8 bytes)"},
        {"UPDATE function_values SET data = 'text' WHERE idx = 1;",
         L"the values of function \"Lag\" are not stored as binary data"},
        {"DELETE FROM function_values WHERE idx = 1;", L"the values of function \"Lag\" are missing"},
        {"INSERT INTO input_values VALUES (7, X'00');", L"it holds values of input 7, which does not exist"},
        // Tables of another writer, where idx is not the row id.
        {plainIdx + "; INSERT INTO function_values SELECT * FROM copy UNION ALL SELECT * FROM copy;",
         L"the values of function \"Error\" are stored twice"},
        {plainIdx.substr(0, plainIdx.size() - 2) + ", PRIMARY KEY(idx)) WITHOUT ROWID;"
         "INSERT INTO function_values SELECT * FROM copy;",
         L"its table \"function_values\" has no row ids"},
        {"UPDATE inputs SET idx = 5 WHERE idx = 1;", L"its inputs are not numbered 0, 1, 2, ..."},
        {"DELETE FROM inputs; DELETE FROM functions;", L"it declares 11 records but no inputs or functions"},
        {"UPDATE inputs SET signal = 'Filter', name = 'Cutoff' WHERE idx = 1;",
         L"two inputs are named \"Filter:Cutoff\""},
        {"UPDATE functions SET name = 'Error' WHERE idx = 1;", L"two functions are named \"Error\""},
        // Another writer's table without the NOT NULL constraint.
        {"CREATE TABLE copy AS SELECT * FROM inputs; DROP TABLE inputs;"
         "CREATE TABLE inputs(idx INTEGER PRIMARY KEY, signal, name); INSERT INTO inputs SELECT * FROM copy;"
         "UPDATE inputs SET name = NULL WHERE idx = 1;",
         L"input 1 has no name"},
        // Record 2 of input 0 becomes a NaN, record 5 of function 1 +infinity.
        {"UPDATE input_values SET data = CAST(substr(data, 1, 16) || X'000000000000F87F' || "
         "substr(data, 25) AS BLOB) WHERE idx = 0;",
         L"input \"Filter:Cutoff\" holds a value that is not a finite number (record 2)"},
        {"UPDATE function_values SET data = CAST(substr(data, 1, 40) || X'000000000000F07F' || "
         "substr(data, 49) AS BLOB) WHERE idx = 1;",
         L"function \"Lag\" holds a value that is not a finite number (record 5)"},
        // NaNs of all bits set: the whole column, and a leading run.
        {"UPDATE input_values SET data = " + nans + " WHERE idx = 1;",
         L"input \"Notch:Q\" holds a value that is not a finite number (record 0)"},
        {"UPDATE input_values SET data = CAST(substr(" + nans + ", 1, 24) || substr(data, 25) AS BLOB) "
         "WHERE idx = 0;",
         L"input \"Filter:Cutoff\" holds a value that is not a finite number (record 0)"},
    };
    for (const auto& [sql, what] : cases)
        expectDamaged(sql, what);
}
