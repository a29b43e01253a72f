#pragma once
// SQLite handles and the checks every reader of a database file shares.
#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

namespace ors::sqlite {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
struct BlobCloser {
    void operator()(sqlite3_blob* b) const { sqlite3_blob_close(b); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;
using Blob = std::unique_ptr<sqlite3_blob, BlobCloser>;

// A database file starts with this text and its terminating zero (16 bytes)
// in a header of 100 bytes.
inline constexpr char kMagic[] = "SQLite format 3";
inline constexpr std::size_t kHeaderBytes = 100;

// Whether the got bytes at head begin a database file (all of them, when
// fewer than the signature: a cut file).
inline bool StartsLikeDatabase(const void* head, std::size_t got)
{
    return std::memcmp(head, kMagic, std::min(got, sizeof kMagic)) == 0;
}

// The big-endian word at offset of a database header.
inline std::uint32_t HeaderWord(const unsigned char* head, std::size_t offset)
{
    const unsigned char* p = head + offset;
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
inline constexpr std::size_t kApplicationIdOffset = 68;

// Opens path read-only for a file that may come from anyone: no triggers or
// views with side effects, and no text or blob may claim more than the whole
// file (fileBytes) holds, so a forged length fails instead of allocating.
// Returns SQLite's result; db holds the handle (for its error) either way.
inline int OpenHardened(const char* path, std::int64_t fileBytes, Db& db)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path, &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    db.reset(raw);
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_limit(raw, SQLITE_LIMIT_LENGTH, int(std::clamp<std::int64_t>(fileBytes, 1, INT_MAX)));
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    return rc;
}

} // namespace ors::sqlite
