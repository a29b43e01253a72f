// Saving replaces the target only once the new file is complete.
#include "OrsTestSupport.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// A replaced file keeps its permissions and owner (only root can give it to
// another); a new one, its name as long as the
// file system allows, gets the usual ones.
TEST(OrsSave, OverwritesAnExistingFileOrMakesANewOneAndLeavesNoTemporary)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "a.ors", smallSample(2));
    const auto target = dir / "b.ors";
    std::ofstream(target) << "old contents";
    ::chmod(target.c_str(), 0604);
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::chown(target.c_str(), 4321, 8765) == 0);
    ASSERT_EQ(saver->Save(target.wstring()), S_OK);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_TRUE(!root || (st.st_uid == 4321u && st.st_gid == 8765u));
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    const auto r = load(target);
    ASSERT_EQ(r.hr, S_OK);
    EXPECT_EQ(readBack(r.source.Get()).dataType, 2);

    const auto fresh = dir / (std::string(251, 'n') + ".ors");
    const mode_t old = ::umask(027);
    const HRESULT hr = saver->Save(fresh.wstring());
    ::umask(old);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(load(fresh).hr, S_OK);
    EXPECT_EQ(entries(dir.path()), 3u);
}

TEST(OrsSave, PathsThatCannotBeFiles)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "a.ors", smallSample());
    // The parent is a file: no temporary can be created beside the target.
    EXPECT_EQ(saveError(saver.Get(), dir / "a.ors" / "b.ors"),
              fileText(dir / "a.ors" / "b.ors") + L" could not be written: Not a directory.");
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

TEST(OrsSave, TargetsThatAreNotRegularFilesAreRefusedAndKept)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "a.ors", smallSample());
    const auto pipe = dir / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    EXPECT_EQ(saveError(saver.Get(), pipe),
              fileText(pipe) + L" could not be written: it is a named pipe, and only regular files are replaced.");
    EXPECT_TRUE(fs::is_fifo(pipe));
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
    for (const char* link : {"link.ors", "dangling.ors"})
        ASSERT_EQ(saver->Save((dir / link).wstring()), S_OK) << link;
    EXPECT_TRUE(fs::is_symlink(dir / "link.ors") && fs::is_symlink(dir / "dangling.ors"));
    EXPECT_EQ(load(dir / "real" / "old.ors").hr, S_OK);
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

// A save that dies part way (here by the file size limit, whose signal ends
// the process like kill -9 would) leaves a named temporary (file systems
// without unnamed files) that the next save in that folder removes, and only it.
TEST(OrsSave, AKilledSaveLeavesNoTemporaryBehind)
{
    TempDir dir;
    auto saver = loadedSaver(dir / "big.ors", bigSample());
    ors::UseUnnamedSaveTemporaries(false);
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
    EXPECT_EQ(entries(dir.path()), 2u);

    // A live process's temporary and files of other names are kept.
    const auto live = dir / (ors::SaveTemporaryPrefix(::getppid()) + "abcdef");
    const auto other = dir / (ors::SaveTemporaryPrefix(child) + "abc");
    std::ofstream(live) << "x";
    std::ofstream(other) << "x";
    const HRESULT hr = saver->Save((dir / "next.ors").wstring());
    ors::UseUnnamedSaveTemporaries(true);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(load(dir / "next.ors").hr, S_OK);
    EXPECT_EQ(entries(dir.path()), 4u);
    EXPECT_TRUE(fs::exists(live) && fs::exists(other));
}
