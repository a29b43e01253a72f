// Saving replaces the target only once the new file is complete.
#include "OrsTestSupport.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

using namespace orstest;

namespace {

ComPtr<IOptimizationResultsDataSaver> loadedSaver(const fs::path& path, const Sample& s)
{
    s.write(path);
    auto r = load(path);
    EXPECT_EQ(r.hr, S_OK);
    return ComPtr<IOptimizationResultsDataSaver>(r.source);
}

std::wstring saveError(IOptimizationResultsDataSaver* saver, const fs::path& target)
{
    EXPECT_TRUE(FAILED(saver->Save(target.wstring())));
    return errorInfoText();
}

// Files in dir besides the expected ones (left-over temporaries).
std::size_t entries(const fs::path& dir)
{
    return std::size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Sets or clears the immutable attribute of a folder; false when the file
// system or the process cannot.
bool setImmutable(const fs::path& dir, bool on)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

Sample bigSample()
{
    Sample big = smallSample();
    big.header.recordCount = 100000;
    for (auto& c : big.inputs)
        c.assign(big.header.recordCount, 1.0);
    for (auto& c : big.functions)
        c.assign(big.header.recordCount, 2.0);
    return big;
}

} // namespace

TEST(OrsSave, OverwritesAnExistingFileAndLeavesNoTemporary)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "a.ors", smallSample(2));
    const auto target = dir / "b.ors";
    std::ofstream(target) << "old contents";
    ::chmod(target.c_str(), 0640);
    ASSERT_EQ(saver->Save(target.wstring()), S_OK);
    EXPECT_EQ(entries(dir.path()), 2u);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    auto r = load(target);
    ASSERT_EQ(r.hr, S_OK);
    LONG type = 0;
    r.source->GetDataType(&type);
    EXPECT_EQ(type, 2);
}

TEST(OrsSave, IntoAFolderThatCannotBeWrittenFailsAndKeepsTheOldFile)
{
    TempDir dir;
    const auto folder = dir / "locked";
    fs::create_directory(folder);
    const auto target = folder / "keep.ors";
    std::ofstream(target) << "precious";
    auto saver = loadedSaver(dir / "a.ors", smallSample());

    // Root ignores permission bits; the immutable attribute stops it too.
    ::chmod(folder.c_str(), 0555);
    const bool asRoot = ::access(folder.c_str(), W_OK) == 0;
    std::wstring expected = L" could not be written: Permission denied.";
    if (asRoot) {
        if (!setImmutable(folder, true))
            GTEST_SKIP() << "running as root on a file system without the immutable attribute: a read-only folder "
                            "cannot be made";
        expected = L" could not be written: Operation not permitted.";
    }
    const std::wstring text = saveError(saver.Get(), target);
    if (asRoot)
        setImmutable(folder, false);
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(text, fileText(target) + expected);
    EXPECT_EQ(readBytes(target), "precious");
    EXPECT_EQ(entries(folder), 1u);
}

TEST(OrsSave, PathsThatCannotBeFiles)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "a.ors", smallSample());
    // The parent is a file: no temporary can be created beside the target.
    EXPECT_EQ(saveError(saver.Get(), dir / "a.ors" / "b.ors"),
              fileText(dir / "a.ors" / "b.ors") + L" could not be written: Not a directory.");
    EXPECT_EQ(saveError(saver.Get(), dir.path()), fileText(dir.path()) + L" could not be written: Is a directory.");
    EXPECT_EQ(saveError(saver.Get(), dir / "no" / "such" / "x.ors"),
              fileText(dir / "no" / "such" / "x.ors") + L" could not be written: No such file or directory.");
}

TEST(OrsSave, FailureInTheMiddleOfWritingKeepsTheOldFile)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "big.ors", bigSample());
    const auto target = dir / "keep.ors";
    std::ofstream(target) << "precious";

    // A file size limit makes the writes fail part way, like a full disk.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 256 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::wstring text = saveError(saver.Get(), target);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(text, fileText(target) + L" could not be written: File too large.");
    EXPECT_EQ(readBytes(target), "precious");
    EXPECT_EQ(entries(dir.path()), 2u) << "the temporary file is removed";
}

// A new file, its name as long as the file system allows, gets the usual permissions.
TEST(OrsSave, ANewFileGetsTheUsualPermissions)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "a.ors", smallSample());
    const auto target = dir / (std::string(251, 'n') + ".ors");
    const mode_t old = ::umask(027);
    const HRESULT hr = saver->Save(target.wstring());
    ::umask(old);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(load(target).hr, S_OK);
}

TEST(OrsSave, TargetsThatAreNotRegularFilesAreRefusedAndKept)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "a.ors", smallSample());
    struct Case {
        const char* name;
        mode_t type;
        const wchar_t* kind;
    };
    for (const Case& c : {Case{"pipe", S_IFIFO, L"a named pipe"}, Case{"null", S_IFCHR, L"a character device"}}) {
        SCOPED_TRACE(c.name);
        const auto node = dir / c.name;
        if (::mknod(node.c_str(), c.type | 0666, c.type == S_IFCHR ? makedev(1, 3) : 0) != 0) {
            ASSERT_EQ(errno, EPERM) << "only device nodes need root";
            continue;
        }
        EXPECT_EQ(saveError(saver.Get(), node), fileText(node) + L" could not be written: it is " + c.kind +
                                                    L", and only regular files are replaced.");
        struct stat st {};
        ASSERT_EQ(::lstat(node.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, c.type);
    }
}

TEST(OrsSave, WritesThroughSymbolicLinks)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "a.ors", smallSample(2));
    fs::create_directory(dir / "real");
    std::ofstream(dir / "real" / "old.ors") << "old contents";
    // A relative link to an existing file, and one to a file yet to be made.
    fs::create_symlink("real/old.ors", dir / "link.ors");
    fs::create_symlink(dir / "real" / "new.ors", dir / "dangling.ors");
    for (const char* link : {"link.ors", "dangling.ors"}) {
        SCOPED_TRACE(link);
        ASSERT_EQ(saver->Save((dir / link).wstring()), S_OK);
        EXPECT_TRUE(fs::is_symlink(dir / link));
        EXPECT_EQ(load(dir / link).hr, S_OK);
    }
    EXPECT_EQ(load(dir / "real" / "new.ors").hr, S_OK);
    EXPECT_EQ(entries(dir / "real"), 2u);
}

TEST(OrsSave, AHardLinkedTargetIsRefused)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "a.ors", smallSample());
    std::ofstream(dir / "one.ors") << "shared";
    fs::create_hard_link(dir / "one.ors", dir / "two.ors");
    EXPECT_EQ(saveError(saver.Get(), dir / "two.ors"),
              fileText(dir / "two.ors") + L" could not be written: it has 2 hard links, and saving would separate this "
                                          L"name from the others; save under another name.");
    EXPECT_EQ(readBytes(dir / "one.ors"), "shared");
}

TEST(OrsSave, KeepsTheOwnerOfAReplacedFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    TempDir dir;
    auto saver = loadedSaver(dir / "a.ors", smallSample());
    const auto target = dir / "theirs.ors";
    std::ofstream(target) << "old";
    ASSERT_EQ(::chown(target.c_str(), 4321, 8765), 0);
    ::chmod(target.c_str(), 0604);
    ASSERT_EQ(saver->Save(target.wstring()), S_OK);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 8765u);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
}

// A save that dies part way (here by the file size limit, whose signal ends
// the process like kill -9 would) leaves no unnamed temporary; a named one
// (file systems without unnamed files) is removed by the next save in that
// folder, and only it.
TEST(OrsSave, AKilledSaveLeavesNoTemporaryBehind)
{
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
        TempDir dir;
        if (unnamed) {
            const int fd = ::open(dir.path().c_str(), O_TMPFILE | O_RDWR, 0600);
            if (fd < 0)
                continue; // the file system has no unnamed files
            ::close(fd);
        }
        auto saver = loadedSaver(dir / "big.ors", bigSample());
        ors::UseUnnamedSaveTemporaries(unnamed);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            struct rlimit limit {256 * 1024, RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            struct rlimit noCore {0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            std::signal(SIGXFSZ, SIG_DFL);
            saver->Save((dir / "target.ors").wstring());
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the save was not cut short";
        EXPECT_EQ(entries(dir.path()), unnamed ? 1u : 2u);

        // A live process's temporary and files of other names are kept.
        const auto live = dir / (ors::SaveTemporaryPrefix(::getppid()) + "abcdef");
        const auto other = dir / (ors::SaveTemporaryPrefix(child) + "abc");
        std::ofstream(live) << "x";
        std::ofstream(other) << "x";
        ASSERT_EQ(saver->Save((dir / "next.ors").wstring()), S_OK);
        EXPECT_EQ(load(dir / "next.ors").hr, S_OK);
        EXPECT_EQ(entries(dir.path()), 4u);
        EXPECT_TRUE(fs::exists(live) && fs::exists(other));
    }
    ors::UseUnnamedSaveTemporaries(true);
}
