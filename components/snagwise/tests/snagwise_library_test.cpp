// The real libSnagwiseUtil3.0.so, found by the client beside this executable.
#include "diagnostics/SnagwiseClient.h"
#include "diagnostics/snagwise.h"
#include "platform/loader.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace testing;
using IQX_SnagwiseUtil::IDebugObject;
using vantix::test::FakeSnagwise;

namespace {

std::vector<QJsonObject> ReadLines(const std::string& path)
{
    std::vector<QJsonObject> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    return lines;
}

class RealLibrary : public Test {
protected:
    void SetUp() override
    {
        setenv("XDG_STATE_HOME", (m_dir.path() + "/state").toLocal8Bit().constData(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toLocal8Bit().constData(), 1);
        unsetenv("VANTIX_SNAGWISE_VERDICT");
        FakeSnagwise::ResetClient(); // no fake: the client looks for the real library
    }
    void TearDown() override
    {
        FakeSnagwise::ResetClient();
        unsetenv("VANTIX_SNAGWISE_VERDICT");
    }
    std::vector<QJsonObject> Lines() const { return ReadLines(m_dir.path().toStdString() + "/state/vantix/snagwise.log"); }

    QTemporaryDir m_dir;
};

TEST_F(RealLibrary, RecordsBecomeJsonLines)
{
    // Assertions continue by default.
    EXPECT_EQ(SnagwiseUtil::AssertFired(SW_CALLSITE, "x"), S_OK);
    errno = EPERM;
    SW_TRACE(L"Chart : construct %d", 7);
    SW_ASSERT(1 == 2);
    EXPECT_EQ(errno, EPERM);
    ASSERT_TRUE(SnagwiseUtil::GetSnagwiseClient()->Enabled());
    SnagwiseUtil::GetSnagwiseClient()->Deinit();

    const auto lines = Lines(); // INIT, the first assertion, ...
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0]["command"].toString(), "INIT");
    EXPECT_EQ(lines[0]["record"]["ModuleName"].toString(), "snagwise_library_tests");
    EXPECT_EQ(lines[2]["command"].toString(), "PROCESS");
    const QJsonObject trace = lines[2]["record"].toObject();
    EXPECT_EQ(trace["$Type"].toString(), "TRACE");
    EXPECT_EQ(trace["$Message"].toString(), "Chart : construct 7");
    const QJsonObject assertion = lines[3]["record"].toObject();
    EXPECT_EQ(assertion["Description"].toString(), "1 == 2");
    EXPECT_FALSE(lines[3]["exception"]["backtrace"].toArray().isEmpty());
    EXPECT_EQ(lines[4]["command"].toString(), "DEINIT");
}

TEST(LibrarySearch, FallsBackToTheRegistrationFile)
{
    QTemporaryDir dir;
    const std::string conf = dir.path().toStdString() + "/components.conf";
    const auto real = platform::ExecutableDirectory() / "libSnagwiseUtil3.0.so";
    ASSERT_TRUE(std::filesystem::exists(real));
    const SnagwiseUtil::LibraryLocation missing{"libSnagwiseUtil-absent.so", dir.path().toStdString()};
    const std::string previous = std::getenv("VANTIX_COMPONENTS") ? std::getenv("VANTIX_COMPONENTS") : "";
    setenv("VANTIX_COMPONENTS", conf.c_str(), 1);
    IDebugObject* library = nullptr;
    std::ofstream(conf) << "# nothing for the diagnostics library\n";
    EXPECT_EQ(SnagwiseUtil::LoadLibraryObject(missing, &library), E_FAIL);
    EXPECT_EQ(library, nullptr);
    std::ofstream(conf) << platform::StringFromGUIDA(IQX_SnagwiseUtil::CLSID_SnagwiseUtil) << "=" << real.string();
    EXPECT_EQ(SnagwiseUtil::LoadLibraryObject(missing, &library), S_OK);
    previous.empty() ? unsetenv("VANTIX_COMPONENTS") : setenv("VANTIX_COMPONENTS", previous.c_str(), 1);
    ASSERT_NE(library, nullptr);
    library->Release();
}

} // namespace
