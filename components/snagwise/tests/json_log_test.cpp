// The library's log file: line format, escaping, rotation and settings. (The
// exception pointers' decoding is checked through the real library.)
#include "JsonLog.h"

#include "diagnostics/IDebugObject.h"

#include <gmock/gmock.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>

using namespace testing;
using snagwise::FormatLine;

namespace {

QJsonObject Parse(const std::string& line)
{
    QJsonParseError error{};
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    return doc.object();
}

VARIANT UI8(std::uint64_t n)
{
    VARIANT v;
    v.vt = platform::VT_UI8;
    v.ullVal = n;
    return v;
}

TEST(JsonLog, LineCarriesEveryValueWithItsTypeInOrder)
{
    const wchar_t* const text = L"p && L\"a\\b\"\n\t\x01 \u00e9 \U0001F600";
    const snagwise::Values values{{L"<<ASSERT>>", VARIANT::Empty()},   {L"$Type", VARIANT::Bstr(L"ASSERT")},
                                  {L"Description", VARIANT::Bstr(text)}, {L"Line", VARIANT::Int(-42)},
                                  {L"Thread ID", VARIANT::UI4(4000000000u)}, {L"ReleaseMode", VARIANT::Bool(true)},
                                  {L"$Delay", VARIANT::R8(0.25)},         {L"Handle", UI8(0x7fff00001234ull)}};
    const std::string line = FormatLine(L"PROCESS", &values);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    // Key order is the writing order.
    EXPECT_THAT(line, ContainsRegex("\"<<ASSERT>>\".*\"\\$Type\".*\"Description\""));

    const QJsonObject o = Parse(line);
    EXPECT_THAT(o["time"].toString().toStdString(),
                MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z"));
    EXPECT_EQ(o["pid"].toInteger(), ::getpid());
    EXPECT_EQ(o["command"].toString(), "PROCESS");
    EXPECT_EQ(o["record"].toObject(), QJsonObject({{"<<ASSERT>>", QJsonValue::Null},
                                                   {"$Type", "ASSERT"},
                                                   {"Description", QString::fromWCharArray(text)},
                                                   {"Line", -42},
                                                   {"Thread ID", 4000000000ll},
                                                   {"ReleaseMode", true},
                                                   {"$Delay", 0.25},
                                                   {"Handle", 0x7fff00001234ll}}));
    EXPECT_FALSE(Parse(FormatLine(L"DEINIT", nullptr)).contains("record"));
}

TEST(JsonLog, RotatesAtTheSizeLimitKeepingWholeLines)
{
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/nested/vantix/snagwise.log";
    snagwise::CJsonLog log(dir.path().toStdString() + "/nested/vantix", 2048, 2);
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(log.Append("{\"n\":" + std::to_string(i) + ",\"pad\":\"" + std::string(90, 'x') + "\"}"));
    EXPECT_FALSE(std::filesystem::exists(base + ".3"));
    int last = -1;
    for (const std::string suffix : {".2", ".1", ""}) {
        ASSERT_TRUE(std::filesystem::exists(base + suffix));
        EXPECT_LE(std::filesystem::file_size(base + suffix), 2048u);
        std::ifstream in(base + suffix);
        for (std::string line; std::getline(in, line);) {
            const int n = Parse(line)["n"].toInt();
            EXPECT_TRUE(last < 0 || n == last + 1) << n << " after " << last; // consecutive across the kept files
            last = n;
        }
    }
    EXPECT_EQ(last, 99);

    std::ofstream(dir.path().toStdString() + "/plain-file") << "x";
    EXPECT_FALSE(snagwise::CJsonLog(dir.path().toStdString() + "/plain-file/vantix", 4096, 1).Append("{}"));
}

// The environment's verdict wins over the file's; bad values are ignored.
TEST(JsonLog, SettingsFromFileThenEnvironment)
{
    QTemporaryDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit().constData(), 1);
    setenv("XDG_STATE_HOME", (dir.path() + "/state").toLocal8Bit().constData(), 1);
    std::filesystem::create_directories(dir.path().toStdString() + "/vantix");
    const struct {
        const char *config, *environment;
        HRESULT verdict;
        std::uint64_t maxBytes;
        int kept;
    } cases[] = {
        {"", nullptr, S_OK, 4u << 20, 3},
        {"# verdict for assertions\nassert_verdict = Break\nmax_log_size = 65536\nkept_logs = 5\n", nullptr, 1, 65536, 5},
        {"assert_verdict = break\n", "abort", E_ABORT, 4u << 20, 3},
        {"assert_verdict = sometimes\nmax_log_size = 12\nkept_logs = -1\nno equals sign\n", nullptr, S_OK, 4u << 20, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        std::ofstream(dir.path().toStdString() + "/vantix/snagwise.conf") << c.config;
        c.environment ? setenv("VANTIX_SNAGWISE_VERDICT", c.environment, 1) : unsetenv("VANTIX_SNAGWISE_VERDICT");
        const snagwise::Settings s = snagwise::ReadSettings();
        EXPECT_EQ(s.assertVerdict, c.verdict);
        EXPECT_EQ(s.maxLogBytes, c.maxBytes);
        EXPECT_EQ(s.keptLogs, c.kept);
        EXPECT_EQ(s.logDirectory, dir.path().toStdString() + "/state/vantix");
    }
    unsetenv("VANTIX_SNAGWISE_VERDICT");
}

} // namespace
