// Tells the formats apart by content: the SQLite signature and application id,
// Optuna's tables, and for text the header line.
#include "Importers.h"

#include "ReadProgress.h"
#include "Sqlite.h"
#include "StudyLink.h"
#include "db/SqlConnection.h"
#include "diagnostics/snagwise.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string_view>

namespace ors::import {

namespace {

enum class Kind {
    Other,   // left to the .ors reader, which also words the errors of files that cannot be opened
    Sqlite,  // an SQLite database of another program
    Text,
    Utf16,   // text in UTF-16
    BadText, // a table with a control character in it
};

struct Probe {
    Kind kind = Kind::Other;
    std::uint64_t line = 0; // BadText: where the control character is
    unsigned char byte = 0; // and which it is
};

std::wstring controlName(unsigned char c)
{
    switch (c) {
    case 0x00:
        return L"a NUL byte";
    case 0x0B:
        return L"a vertical tab";
    case 0x1A:
        return L"a DOS end-of-file mark (Ctrl-Z)";
    case 0x7F:
        return L"a DEL character";
    default: {
        wchar_t code[8];
        std::swprintf(code, 8, L"0x%02X", unsigned(c));
        return L"the control character " + std::wstring(code);
    }
    }
}

// UTF-16 by its byte order mark, or by ASCII letters each with a zero byte.
bool isUtf16(const unsigned char* u, std::size_t n)
{
    if (n >= 2 && ((u[0] == 0xFF && u[1] == 0xFE) || (u[0] == 0xFE && u[1] == 0xFF)))
        return true;
    if (n < 8)
        return false;
    bool little = true, big = true;
    for (std::size_t i = 0; i < 8; i += 2) {
        little = little && u[i] >= 0x20 && u[i] < 0x7F && u[i + 1] == 0;
        big = big && u[i] == 0 && u[i + 1] >= 0x20 && u[i + 1] < 0x7F;
    }
    return little || big;
}

Probe probe(const std::wstring& path)
{
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
        ::close(fd);
        return {};
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
    // The start of the signature alone is a cut database.
    if (sqlite::StartsLikeDatabase(head, got)) {
        if (got < sqlite::kHeaderBytes)
            return {};
        const auto* u = reinterpret_cast<const unsigned char*>(head);
        const std::uint32_t applicationId = sqlite::HeaderWord(u, sqlite::kApplicationIdOffset);
        return {applicationId == std::uint32_t(kApplicationId) ? Kind::Other : Kind::Sqlite};
    }
    const auto* u = reinterpret_cast<const unsigned char*>(head);
    if (isUtf16(u, got))
        return {Kind::Utf16};
    // Text has no control characters but tab, line breaks and form feed.
    for (std::size_t i = 0; i < got; ++i) {
        const unsigned char c = u[i];
        if ((c >= 0x20 && c != 0x7F) || c == '\t' || c == '\n' || c == '\r' || c == '\f')
            continue;
        // After a whole header line of several names the control character
        // is a fault of a table. Anything else is not text.
        const char* eol = static_cast<const char*>(std::memchr(head, '\n', i));
        const std::string_view first(head, eol ? std::size_t(eol - head) : 0);
        if (first.find_first_of(",\t") == std::string_view::npos && !first.starts_with('%'))
            return {};
        return {Kind::BadText, 1 + std::uint64_t(std::count(head, head + i, '\n')), c};
    }
    return {Kind::Text};
}

// An SQLite database holding some of Optuna's tables is a storage that lost
// the others: its reader names them.
bool hasOptunaTables(const std::wstring& path)
{
    return OptunaTablesPresent(path) >= 2;
}

} // namespace

} // namespace ors::import

namespace ors {

using namespace import;

SourceFormat DetectResultsFormat(const std::wstring& path)
{
    if (LooksLikeStudyUrl(ToUtf8(path)))
        return SourceFormat::StudyDatabase;
    switch (probe(path).kind) {
    case Kind::Sqlite:
        return hasOptunaTables(path) ? SourceFormat::OptunaStorage : SourceFormat::Ors;
    case Kind::Utf16:
    case Kind::BadText:
        return SourceFormat::Table;
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

namespace {

// Optuna's storage and trial tables are small: their progress is the start and the end.
// Reads a study through db; with link, keeps the way back to it.
OrsContent readStudy(std::unique_ptr<SqlConnection> db, std::string source, bool url, const std::string& created,
                     const ImportOptions& options, const ImportMessages& msg, std::shared_ptr<StudyLink>* link)
{
    auto reader = std::make_unique<OptunaStudyReader>(options, msg);
    OrsContent content = reader->Read(*db, created);
    if (link)
        *link = std::make_shared<StudyLink>(std::move(source), url, options, std::move(db), std::move(reader), msg);
    return content;
}

OrsContent readAnyFormat(const std::wstring& path, const ImportOptions& options, ReadProgress& progress,
                         std::shared_ptr<StudyLink>* link)
{
    const Probe found = probe(path);
    switch (found.kind) {
    case Kind::Sqlite:
        if (hasOptunaTables(path)) {
            const ImportMessages msg(path);
            StudyUrl url;
            url.database = ToUtf8(path);
            auto db = ConnectSqlite(url, nullptr);
            if (!db)
                throw msg.file(L"is an Optuna storage that could not be opened");
            return readStudy(std::move(db), url.database, false, FileTime(path), options, msg, link);
        }
        return ReadOrsFile(path, progress);
    case Kind::Utf16:
        throw ImportMessages(path).file(L"is UTF-16 text; save it as UTF-8 to load it");
    case Kind::BadText:
        throw ImportMessages(path).line(found.line, L"found " + controlName(found.byte) +
                                                        L", which has no place in a table");
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

} // namespace

void import::ApplyLogScales(OrsContent& content, const std::vector<std::string>& names, const ImportMessages& msg)
{
    OrsHeader& h = content.header;
    const std::size_t rows = h.recordCount;
    for (const auto& name : names) {
        const auto in = std::find_if(h.inputs.begin(), h.inputs.end(), [&](const InputInfo& i) { return i.name == name; });
        if (in != h.inputs.end()) {
            const auto& distinct = content.distinctValues[std::size_t(in - h.inputs.begin())];
            if (in->labelled())
                throw msg.file(L"has labels, not numbers, as the values of " + Quoted(name) +
                               L", which cannot take a log scale");
            if (!distinct.empty() && !(distinct.front() > 0))
                throw msg.file(L"has values at or below zero of " + Quoted(name) + L", which cannot take a log scale");
            in->scale = kLogScale;
            continue;
        }
        const auto fn = std::find(h.functions.begin(), h.functions.end(), name);
        if (fn == h.functions.end())
            throw msg.file(L"has no input or function named " + Quoted(name));
        const std::size_t f = std::size_t(fn - h.functions.begin());
        const double* v = content.functionValues.data() + f * rows;
        if (std::any_of(v, v + rows, [](double x) { return !(x > 0); }))
            throw msg.file(L"has values at or below zero of " + Quoted(name) + L", which cannot take a log scale");
        h.functionScales.resize(h.functions.size(), kLinearScale);
        h.functionScales[f] = kLogScale;
    }
}

namespace {

// A study named by a database URL; its messages show the URL without password.
OrsContent readStudyUrl(const std::string& text, const ImportOptions& options, std::shared_ptr<StudyLink>* link)
{
    const ImportMessages msg = ImportMessages::Database(FromUtf8(RedactStudyUrl(text)));
    std::string why;
    const auto url = ParseStudyUrl(text, &why);
    if (!url)
        throw msg.file(L"cannot be opened: " + FromUtf8(why));
    ConnectError error;
    auto db = ConnectStudyDatabase(*url, options.password ? &*options.password : nullptr, &error);
    if (!db) {
        // Without a password anywhere the user may give one; a wrong one is said as it is.
        if (error.kind == ConnectFailure::Authentication && !url->hasPassword && !options.password) {
            ChoiceNeeded choice;
            choice.message = msg.file(L"needs a password: " + FromUtf8(error.message)).message;
            choice.password = true;
            throw choice;
        }
        throw OrsError{FromUtf8(error.message)};
    }
    SW_TRACE(L"Data provider : reading %ls from %ls", FromUtf8(RedactStudyUrl(text)).c_str(),
             FromUtf8(db->ServerVersion()).c_str());
    return readStudy(std::move(db), text, true, CurrentTimestamp(), options, msg, link);
}

} // namespace

OrsContent ReadResultsFile(const std::wstring& path, const ImportOptions& options, ReadProgress& progress)
{
    return ReadResultsFile(path, options, progress, nullptr);
}

OrsContent ReadResultsFile(const std::wstring& path, const ImportOptions& options, ReadProgress& progress,
                           std::shared_ptr<StudyLink>* link)
{
    const std::string utf8 = ToUtf8(path);
    const bool url = LooksLikeStudyUrl(utf8);
    OrsContent content = url ? readStudyUrl(utf8, options, link) : readAnyFormat(path, options, progress, link);
    ApplyLogScales(content, options.logColumns,
                   url ? ImportMessages::Database(FromUtf8(RedactStudyUrl(utf8))) : ImportMessages(path));
    if (content.guessedRoles) {
        std::wstring roles;
        for (std::size_t c = 0; c < content.guessedRoles->columns.size(); ++c)
            if (content.guessedRoles->roles[c] != kRoleIgnore)
                roles += (roles.empty() ? L"" : L", ") + FromUtf8(content.guessedRoles->columns[c]) +
                         (content.guessedRoles->roles[c] == kRoleInput ? L" input" : L" function");
        SW_TRACE(L"Data provider : guessed the columns of \"%ls\": %ls", path.c_str(), roles.c_str());
    }
    if (content.skippedRecords)
        SW_TRACE(L"Data provider : skipped %llu failed rows of \"%ls\"",
                 static_cast<unsigned long long>(content.skippedRecords), FromUtf8(RedactStudyUrl(utf8)).c_str());
    return content;
}

} // namespace ors
