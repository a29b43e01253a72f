#include "OrsFormat.h"
#include "OrsSchema.h"
#include "Sqlite.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string_view>
#include <utility>

namespace ors {

namespace {

// The umask without changing it (umask(2) can only be read by setting it,
// which would race with other threads creating files).
mode_t processUmask()
{
    std::FILE* status = std::fopen("/proc/self/status", "re");
    if (!status)
        return 022;
    char line[256];
    mode_t mask = 022;
    while (std::fgets(line, sizeof line, status)) {
        unsigned value = 0;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = mode_t(value);
            break;
        }
    }
    std::fclose(status);
    return mask;
}

class Writer {
public:
    Writer(const std::wstring& path, const OrsHeader& header, std::span<const double* const> inputs,
           std::span<const double* const> functions)
        : m_path(path), m_header(header), m_inputs(inputs), m_functions(functions)
    {
    }
    ~Writer();
    void write();

private:
    OrsError failure(const std::wstring& reason) const
    {
        return {L"The file \"" + m_path + L"\" could not be written: " + reason + L"."};
    }
    OrsError failure(int error) const { return failure(FromUtf8(std::strerror(error))); }
    [[noreturn]] void sqliteFailure(int rc) const;
    void exec(const char* sql) const;
    void insertColumns(const char* table, std::span<const double* const> columns) const;
    void fill();
    void checkMeaning() const;

    const std::wstring& m_path;
    const OrsHeader& m_header;
    std::span<const double* const> m_inputs;
    std::span<const double* const> m_functions;
    std::string m_temp;
    int m_fd = -1;
    sqlite::Db m_db;
};

Writer::~Writer()
{
    m_db.reset(); // before its file goes
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
}

[[noreturn]] void Writer::sqliteFailure(int rc) const
{
    if (rc == SQLITE_NOMEM)
        throw std::bad_alloc();
    const int err = m_db ? sqlite3_system_errno(m_db.get()) : 0;
    if (err)
        throw failure(err);
    if ((rc & 0xFF) == SQLITE_FULL)
        throw failure(ENOSPC);
    throw failure(FromUtf8(m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(rc)));
}

void Writer::exec(const char* sql) const
{
    const int rc = sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        sqliteFailure(rc);
}

using sqlite::Stmt;

void Writer::insertColumns(const char* table, std::span<const double* const> columns) const
{
    const std::string sql = std::string("INSERT INTO ") + table + "(idx, data) VALUES (?, ?)";
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(m_db.get(), sql.c_str(), -1, &raw, nullptr);
    Stmt s(raw);
    if (rc != SQLITE_OK)
        sqliteFailure(rc);
    const std::size_t bytes = std::size_t(m_header.recordCount) * 8;
    std::vector<std::uint64_t> swapped;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const void* data = columns[i];
        if constexpr (std::endian::native == std::endian::big) {
            swapped.resize(m_header.recordCount);
            std::memcpy(swapped.data(), columns[i], bytes);
            for (auto& w : swapped)
                w = __builtin_bswap64(w);
            data = swapped.data();
        }
        sqlite3_reset(s.get());
        sqlite3_bind_int64(s.get(), 1, sqlite3_int64(i));
        // An empty column is a zero-length blob, not NULL.
        rc = bytes ? sqlite3_bind_blob64(s.get(), 2, data, bytes, SQLITE_STATIC)
                   : sqlite3_bind_zeroblob(s.get(), 2, 0);
        if (rc != SQLITE_OK || (rc = sqlite3_step(s.get())) != SQLITE_DONE)
            sqliteFailure(rc);
    }
}

void Writer::fill()
{
    // Journal and syncing are pointless on a private temporary file: the
    // file is synced once at the end and then renamed into place.
    // Large pages keep the overflow chains of big value blobs short (fewer
    // reads on load); small files stay small with the default page size.
    const std::uint64_t dataBytes =
        std::uint64_t(m_header.recordCount) * 8 * (m_header.inputs.size() + m_header.functions.size());
    exec(dataBytes > (std::uint64_t(4) << 20) ? "PRAGMA page_size = 65536;" : "PRAGMA page_size = 4096;");
    exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;");
    const bool meaning = m_header.hasMeaning();
    const std::string pragmas = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                                "; PRAGMA user_version = " +
                                std::to_string(meaning ? kFormatVersion : kPlainFormatVersion) + ";";
    exec(pragmas.c_str());
    exec("BEGIN");
    exec(kSchema);
    if (meaning)
        exec(kMeaningSchema);

    auto prepare = [&](const char* sql) {
        sqlite3_stmt* raw = nullptr;
        const int rc = sqlite3_prepare_v2(m_db.get(), sql, -1, &raw, nullptr);
        Stmt s(raw);
        if (rc != SQLITE_OK)
            sqliteFailure(rc);
        return s;
    };
    auto run = [&](sqlite3_stmt* s) {
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE)
            sqliteFailure(rc);
        sqlite3_reset(s);
    };
    auto bindText = [](sqlite3_stmt* s, int i, const std::string& t) {
        sqlite3_bind_text64(s, i, t.data(), t.size(), SQLITE_STATIC, SQLITE_UTF8);
    };

    {
        auto s = prepare("INSERT INTO file_info(data_type, record_count, creator, created) VALUES (?, ?, ?, ?)");
        sqlite3_bind_int(s.get(), 1, m_header.dataType);
        sqlite3_bind_int64(s.get(), 2, m_header.recordCount);
        bindText(s.get(), 3, m_header.creator);
        const std::string created = m_header.created.empty() ? CurrentTimestamp() : m_header.created;
        bindText(s.get(), 4, created);
        run(s.get());
    }
    {
        auto s = prepare("INSERT INTO inputs(idx, signal, name) VALUES (?, ?, ?)");
        for (std::size_t i = 0; i < m_header.inputs.size(); ++i) {
            sqlite3_bind_int64(s.get(), 1, sqlite3_int64(i));
            bindText(s.get(), 2, m_header.inputs[i].signal);
            bindText(s.get(), 3, m_header.inputs[i].name);
            run(s.get());
        }
    }
    {
        auto s = prepare("INSERT INTO functions(idx, name) VALUES (?, ?)");
        for (std::size_t i = 0; i < m_header.functions.size(); ++i) {
            sqlite3_bind_int64(s.get(), 1, sqlite3_int64(i));
            bindText(s.get(), 2, m_header.functions[i]);
            run(s.get());
        }
    }
    if (meaning) {
        auto in = prepare("INSERT INTO input_meaning(idx, scale, none_value) VALUES (?, ?, ?)");
        auto label = prepare("INSERT INTO input_labels(input, code, label) VALUES (?, ?, ?)");
        for (std::size_t i = 0; i < m_header.inputs.size(); ++i) {
            const InputInfo& info = m_header.inputs[i];
            sqlite3_bind_int64(in.get(), 1, sqlite3_int64(i));
            sqlite3_bind_int(in.get(), 2, info.scale);
            if (info.noneValue)
                sqlite3_bind_double(in.get(), 3, *info.noneValue);
            else
                sqlite3_bind_null(in.get(), 3);
            run(in.get());
            for (std::size_t k = 0; k < info.labels.size(); ++k) {
                sqlite3_bind_int64(label.get(), 1, sqlite3_int64(i));
                sqlite3_bind_int64(label.get(), 2, sqlite3_int64(k));
                bindText(label.get(), 3, info.labels[k]);
                run(label.get());
            }
        }
        auto fn = prepare("INSERT INTO function_meaning(idx, scale, direction) VALUES (?, ?, ?)");
        for (std::size_t f = 0; f < m_header.functions.size(); ++f) {
            sqlite3_bind_int64(fn.get(), 1, sqlite3_int64(f));
            sqlite3_bind_int(fn.get(), 2, m_header.functionScale(f));
            sqlite3_bind_int(fn.get(), 3, m_header.functionDirection(f));
            run(fn.get());
        }
    }
    insertColumns("input_values", m_inputs);
    insertColumns("function_values", m_functions);
    exec("COMMIT");
}

// Follows symbolic links, dangling ones too, so that saving writes through a
// link instead of replacing it.
std::string resolveLinks(std::string path, int& error)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string link(std::size_t(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0) {
            error = errno;
            return path;
        }
        link.resize(std::size_t(n));
        if (link.empty() || link[0] == '/') {
            path = link;
        } else {
            const auto slash = path.find_last_of('/');
            path = slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
        }
    }
    error = ELOOP;
    return path;
}

std::wstring fileKind(mode_t mode)
{
    if (S_ISFIFO(mode))
        return L"a named pipe";
    if (S_ISCHR(mode))
        return L"a character device";
    if (S_ISBLK(mode))
        return L"a block device";
    if (S_ISSOCK(mode))
        return L"a socket";
    return L"not a regular file";
}

// Tags named temporaries with the host, so that a save never removes the
// temporary of a live process on another machine sharing the folder.
std::string hostTag()
{
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (const char* p = host; *p; ++p)
        hash = (hash ^ std::uint8_t(*p)) * 16777619u;
    char tag[12];
    std::snprintf(tag, sizeof tag, "%08x", unsigned(hash));
    return tag;
}

// Removes named temporaries left in folder by saves of this host whose
// process no longer exists (killed, or the machine went down).
void removeStaleTemporaries(const std::string& folder)
{
    const std::string prefix = ".ors-" + hostTag() + "-";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (!name.starts_with(prefix))
            continue;
        const std::string_view rest = name.substr(prefix.size());
        const auto dash = rest.find('-');
        if (dash == std::string_view::npos || dash == 0 || rest.size() - dash - 1 != 6)
            continue;
        const std::string_view digits = rest.substr(0, dash);
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        long pid = 0;
        for (char c : digits)
            pid = pid * 10 + (c - '0');
        if (pid <= 0 || pid == ::getpid() || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

std::atomic<bool> g_unnamedTemporaries{true};

// SQLite's unix VFS opens a database by name (with O_NOFOLLOW, so not through
// /proc/self/fd either) and cannot open an unnamed file. This VFS opens
// "ors-fd:N" as descriptor N, which the writer keeps and closes; everything
// else goes to the unix VFS. The file is private to one connection with its
// journal off: no locks, and no journal or other files are opened for it.
constexpr char kFdPrefix[] = "ors-fd:";

bool isFdName(const char* name)
{
    return name && std::strncmp(name, kFdPrefix, sizeof kFdPrefix - 1) == 0;
}

struct FdFile {
    sqlite3_file base;
    int fd;
};

int fdClose(sqlite3_file*)
{
    return SQLITE_OK;
}

int fdRead(sqlite3_file* f, void* out, int n, sqlite3_int64 at)
{
    auto* p = static_cast<char*>(out);
    int got = 0;
    while (got < n) {
        const ssize_t r = ::pread(reinterpret_cast<FdFile*>(f)->fd, p + got, std::size_t(n - got), off_t(at + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return SQLITE_IOERR_READ;
        if (r == 0)
            break;
        got += int(r);
    }
    if (got == n)
        return SQLITE_OK;
    std::memset(p + got, 0, std::size_t(n - got)); // SQLite expects a short read zero-filled
    return SQLITE_IOERR_SHORT_READ;
}

int fdWrite(sqlite3_file* f, const void* in, int n, sqlite3_int64 at)
{
    const auto* p = static_cast<const char*>(in);
    int done = 0;
    while (done < n) {
        const ssize_t w = ::pwrite(reinterpret_cast<FdFile*>(f)->fd, p + done, std::size_t(n - done), off_t(at + done));
        if (w < 0 && errno == EINTR)
            continue;
        // An I/O error, so that the message gives errno: a full disk, a quota,
        // the file size limit.
        if (w == 0)
            errno = ENOSPC;
        if (w <= 0)
            return SQLITE_IOERR_WRITE;
        done += int(w);
    }
    return SQLITE_OK;
}

int fdTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    return ::ftruncate(reinterpret_cast<FdFile*>(f)->fd, off_t(size)) == 0 ? SQLITE_OK : SQLITE_IOERR_TRUNCATE;
}

int fdSync(sqlite3_file*, int)
{
    return SQLITE_OK; // the writer syncs once, at the end
}

int fdFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    struct stat st {};
    if (::fstat(reinterpret_cast<FdFile*>(f)->fd, &st) != 0)
        return SQLITE_IOERR_FSTAT;
    *size = st.st_size;
    return SQLITE_OK;
}

int fdLock(sqlite3_file*, int)
{
    return SQLITE_OK;
}

int fdCheckReservedLock(sqlite3_file*, int* reserved)
{
    *reserved = 0;
    return SQLITE_OK;
}

int fdFileControl(sqlite3_file*, int, void*)
{
    return SQLITE_NOTFOUND;
}

int fdSectorSize(sqlite3_file*)
{
    return 4096;
}

int fdDeviceCharacteristics(sqlite3_file*)
{
    return SQLITE_IOCAP_POWERSAFE_OVERWRITE;
}

const sqlite3_io_methods kFdMethods = {
    1, fdClose, fdRead, fdWrite, fdTruncate, fdSync, fdFileSize, fdLock, fdLock, fdCheckReservedLock,
    fdFileControl, fdSectorSize, fdDeviceCharacteristics, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

sqlite3_vfs* g_unixVfs = nullptr;

// The VFS's name, or null when it cannot be registered.
const char* fdVfs()
{
    static const char* const name = []() -> const char* {
        g_unixVfs = sqlite3_vfs_find(nullptr);
        if (!g_unixVfs)
            return nullptr;
        static sqlite3_vfs vfs = *g_unixVfs;
        vfs.pNext = nullptr;
        vfs.zName = "ors-fd";
        vfs.szOsFile = std::max(g_unixVfs->szOsFile, int(sizeof(FdFile)));
        vfs.xFullPathname = [](sqlite3_vfs*, const char* name, int n, char* out) -> int {
            if (!isFdName(name))
                return g_unixVfs->xFullPathname(g_unixVfs, name, n, out);
            if (int(std::strlen(name)) >= n)
                return SQLITE_CANTOPEN;
            std::strcpy(out, name);
            return SQLITE_OK;
        };
        vfs.xOpen = [](sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) -> int {
            if (!isFdName(name))
                return g_unixVfs->xOpen(g_unixVfs, name, file, flags, outFlags);
            // Only the database itself: a journal or other file of it never exists.
            const char* digits = name + sizeof kFdPrefix - 1;
            if (!*digits || std::strspn(digits, "0123456789") != std::strlen(digits))
                return SQLITE_CANTOPEN;
            auto* f = reinterpret_cast<FdFile*>(file);
            f->fd = std::atoi(digits);
            f->base.pMethods = &kFdMethods;
            if (outFlags)
                *outFlags = flags;
            return SQLITE_OK;
        };
        vfs.xAccess = [](sqlite3_vfs*, const char* name, int flags, int* result) -> int {
            if (!isFdName(name))
                return g_unixVfs->xAccess(g_unixVfs, name, flags, result);
            *result = 0;
            return SQLITE_OK;
        };
        return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? vfs.zName : nullptr;
    }();
    return name;
}

std::string randomLetters()
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) {
        const auto t = std::uint64_t(std::time(nullptr)) * 2654435761u ^ std::uint64_t(::getpid());
        for (std::size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = std::uint8_t(t >> (8 * i));
    }
    std::string s;
    for (const unsigned char b : bytes)
        s += kLetters[b % (sizeof kLetters - 1)];
    return s;
}

// What the file would claim about its values must hold for them: a reader
// refuses a file where it does not.
void Writer::checkMeaning() const
{
    const std::size_t n = m_header.recordCount;
    for (std::size_t i = 0; i < m_header.inputs.size(); ++i) {
        const InputInfo& in = m_header.inputs[i];
        const std::wstring name = L"input \"" + FromUtf8(in.name) + L"\"";
        if (in.labelled() && in.noneValue && *in.noneValue != double(in.labels.size()))
            throw failure(L"the \"(none)\" value of " + name + L" is not the code after its labels");
        for (std::size_t r = 0; r < n; ++r) {
            const double v = m_inputs[i][r];
            if (in.noneValue && v == *in.noneValue)
                continue;
            if (in.noneValue && v > *in.noneValue)
                throw failure(L"the \"(none)\" value of " + name + L" is not above its other values");
            if (in.labelled() && !(v >= 0 && v < double(in.labels.size()) && v == std::floor(v)))
                throw failure(name + L" holds a value that is not the code of one of its labels");
            if (in.scale == kLogScale && !(v > 0))
                throw failure(name + L" is on a log scale but holds a value at or below zero");
        }
    }
    for (std::size_t f = 0; f < m_header.functions.size(); ++f)
        if (m_header.functionScale(f) == kLogScale)
            for (std::size_t r = 0; r < n; ++r)
                if (!(m_functions[f][r] > 0))
                    throw failure(L"function \"" + FromUtf8(m_header.functions[f]) +
                                  L"\" is on a log scale but holds a value at or below zero");
}

void Writer::write()
{
    if (m_inputs.size() != m_header.inputs.size() || m_functions.size() != m_header.functions.size())
        throw failure(L"the data are inconsistent");
    if (std::uint64_t(m_header.recordCount) * 8 > std::uint64_t(INT_MAX))
        throw failure(L"it would hold too many records (at most " + std::to_wstring(INT_MAX / 8) + L")");

    checkMeaning();

    int linkError = 0;
    const std::string target = resolveLinks(ToUtf8(m_path), linkError);
    if (linkError)
        throw failure(linkError);
    if (target.empty())
        throw failure(ENOENT);
    const auto slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty())
        throw failure(EISDIR);

    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    mode_t mode = 0;
    if (exists) {
        if (S_ISDIR(st.st_mode))
            throw failure(EISDIR);
        // Renaming over a pipe or a device would swap the node for a file.
        if (!S_ISREG(st.st_mode))
            throw failure(L"it is " + fileKind(st.st_mode) + L", and only regular files are replaced");
        // The new file would take over this name only; the other names would
        // keep the old contents.
        if (st.st_nlink > 1)
            throw failure(L"it has " + std::to_wstring(st.st_nlink) +
                          L" hard links, and saving would separate this name from the others; save under another "
                          L"name");
        mode = st.st_mode & 07777; // an overwritten file keeps its permissions
    } else {
        mode = 0666 & ~processUmask();
    }

    removeStaleTemporaries(folder);

    // The new file has no name until it is complete (O_TMPFILE), so that a
    // save that is killed leaves nothing. File systems without unnamed files
    // get a named temporary. Either name is short, whatever the length of the
    // target's, and identifies the process for removeStaleTemporaries.
    const std::string prefix =
        (slash == std::string::npos ? std::string() : folder + "/") + SaveTemporaryPrefix(::getpid());
    std::string dbName;
    const char* vfs = g_unnamedTemporaries ? fdVfs() : nullptr;
    if (vfs) {
        m_fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (m_fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            throw failure(errno);
        // It is named through /proc at the end.
        if (m_fd >= 0 && ::access(("/proc/self/fd/" + std::to_string(m_fd)).c_str(), F_OK) != 0)
            ::close(std::exchange(m_fd, -1));
        dbName = kFdPrefix + std::to_string(m_fd);
    }
    if (m_fd < 0) {
        vfs = nullptr;
        std::string temp = prefix + "XXXXXX";
        m_fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (m_fd < 0)
            throw failure(errno);
        m_temp = dbName = temp;
    }
    // Owner first: changing it clears set-user-ID bits. Only root may give a
    // file away; others keep their own ownership (EPERM), or the group only.
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(m_fd, st.st_uid, st.st_gid) != 0 && errno == EPERM)
        ::fchown(m_fd, uid_t(-1), st.st_gid);
    ::fchmod(m_fd, mode);

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(dbName.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, vfs);
    m_db.reset(raw);
    if (rc != SQLITE_OK)
        sqliteFailure(rc);
    sqlite3_extended_result_codes(raw, 1);
    fill();
    const int closed = sqlite3_close_v2(m_db.release());
    if (closed != SQLITE_OK)
        sqliteFailure(closed);

    if (::fsync(m_fd) != 0)
        throw failure(errno);
    // rename() needs a name: the unnamed file gets one just before it.
    for (int tries = 0; m_temp.empty(); ++tries) {
        const std::string temp = prefix + randomLetters();
        if (::linkat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(m_fd)).c_str(), AT_FDCWD, temp.c_str(),
                     AT_SYMLINK_FOLLOW) == 0)
            m_temp = temp;
        else if (errno != EEXIST || tries == 20)
            throw failure(errno);
    }
    if (::close(std::exchange(m_fd, -1)) != 0)
        throw failure(errno);
    if (::rename(m_temp.c_str(), target.c_str()) != 0)
        throw failure(errno);
    m_temp.clear();
    // Make the rename itself durable.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

void UseUnnamedSaveTemporaries(bool on)
{
    g_unnamedTemporaries = on;
}

std::string SaveTemporaryPrefix(long pid)
{
    return ".ors-" + hostTag() + "-" + std::to_string(pid) + "-";
}

void WriteOrsFile(const std::wstring& path, const OrsHeader& header, std::span<const double* const> inputColumns,
                  std::span<const double* const> functionColumns)
{
    Writer(path, header, inputColumns, functionColumns).write();
}

std::string CurrentTimestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace ors
