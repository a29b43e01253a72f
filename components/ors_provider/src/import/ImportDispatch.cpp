// Tells the formats apart by content: the SQLite signature and application id,
// Optuna's tables, and for text the header line.
#include "Importers.h"

#include "ReadProgress.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ors::import {

namespace {

enum class Kind {
    Other,  // left to the .ors reader, which also words the errors of files that cannot be opened
    Sqlite, // an SQLite database of another program
    Text,
};

Kind probe(const std::wstring& path)
{
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Kind::Other;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
        ::close(fd);
        return Kind::Other;
    }
    char head[65536];
    std::size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = ::pread(fd, head + got, sizeof head - got, off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += std::size_t(n);
    }
    ::close(fd);
    static constexpr char kSqlite[] = "SQLite format 3"; // with its zero: 16 bytes
    if (got >= sizeof kSqlite && std::memcmp(head, kSqlite, sizeof kSqlite) == 0) {
        if (got < 100)
            return Kind::Other;
        const auto* u = reinterpret_cast<const unsigned char*>(head);
        const std::uint32_t applicationId = std::uint32_t(u[68]) << 24 | std::uint32_t(u[69]) << 16 |
                                            std::uint32_t(u[70]) << 8 | u[71];
        return applicationId == std::uint32_t(kApplicationId) ? Kind::Other : Kind::Sqlite;
    }
    // The start of the signature alone is a cut database.
    if (got < sizeof kSqlite && std::memcmp(head, kSqlite, got) == 0)
        return Kind::Other;
    // Text has no control characters but tab, line breaks and form feed.
    for (std::size_t i = 0; i < got; ++i) {
        const auto c = static_cast<unsigned char>(head[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f')
            return Kind::Other;
        if (c == 0x7F)
            return Kind::Other;
    }
    return Kind::Text;
}

} // namespace

} // namespace ors::import

namespace ors {

using namespace import;

SourceFormat DetectResultsFormat(const std::wstring& path)
{
    switch (probe(path)) {
    case Kind::Sqlite:
        return IsOptunaStorage(path) ? SourceFormat::OptunaStorage : SourceFormat::Ors;
    case Kind::Text: {
        const ImportMessages msg(path);
        try {
            const MappedFile file(path, msg);
            const TextHeader header = ReadHeader(file.begin(), file.end(), msg);
            if (header.dakota)
                return SourceFormat::Dakota;
            return IsOptunaCsvHeader(header) ? SourceFormat::OptunaCsv : SourceFormat::Table;
        } catch (const OrsError&) {
            return SourceFormat::Table;
        }
    }
    default:
        return SourceFormat::Ors;
    }
}

OrsContent ReadResultsFile(const std::wstring& path, const ImportOptions& options)
{
    ReadProgress none;
    return ReadResultsFile(path, options, none);
}

// Optuna's storage and trial tables are small: their progress is the start and the end.
OrsContent ReadResultsFile(const std::wstring& path, const ImportOptions& options, ReadProgress& progress)
{
    switch (probe(path)) {
    case Kind::Sqlite:
        if (IsOptunaStorage(path)) {
            const ImportMessages msg(path);
            return ReadOptunaStorage(path, options, msg);
        }
        return ReadOrsFile(path, progress);
    case Kind::Text: {
        const ImportMessages msg(path);
        MappedFile file(path, msg, progress);
        const TextHeader header = ReadHeader(file.begin(), file.end(), msg);
        if (header.dakota)
            return ReadDakotaTable(file, header, options, msg, progress);
        if (!options.explicitColumns() && IsOptunaCsvHeader(header))
            return ReadOptunaCsv(file, header, msg);
        return ReadPlainTable(file, header, options, msg, progress);
    }
    default:
        return ReadOrsFile(path, progress);
    }
}

} // namespace ors
