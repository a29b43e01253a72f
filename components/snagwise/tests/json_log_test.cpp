// The library's log file: line format, escaping, rotation and settings.
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
using snagwise::CJsonLog;
using snagwise::FormatLine;
using snagwise::ReadSettings;
using snagwise::Settings;
using RecordValues = snagwise::Values;

namespace {

QJsonObject Parse(const std::string& line)
{
    QJsonParseError error{};
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    return doc.object();
}

TEST(JsonLog, LineCarriesEveryValueWithItsTypeInOrder)
{
    RecordValues values;
    values.emplace_back(L"<<ASSERT>>", VARIANT::Empty());
    values.emplace_back(L"$Type", VARIANT::Bstr(L"ASSERT"));
    values.emplace_back(L"Description", VARIANT::Bstr(L"p && L\"a\\b\"\n\t\x01 \u00e9 \U0001F600"));
    values.emplace_back(L"Line", VARIANT::Int(-42));
    values.emplace_back(L"Thread ID", VARIANT::UI4(4000000000u));
    values.emplace_back(L"ReleaseMode", VARIANT::Bool(true));
    values.emplace_back(L"$Delay", VARIANT::R8(0.25));
    VARIANT big;
    big.vt = platform::VT_UI8;
    big.ullVal = 0x7fff00001234ull;
    values.emplace_back(L"Handle", big);

    const std::string line = FormatLine(L"PROCESS", &values);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    // Key order is the writing order.
    EXPECT_LT(line.find("\"<<ASSERT>>\""), line.find("\"$Type\""));
    EXPECT_LT(line.find("\"$Type\""), line.find("\"Description\""));

    const QJsonObject o = Parse(line);
    EXPECT_THAT(o["time"].toString().toStdString(),
                MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z"));
    EXPECT_EQ(o["pid"].toInteger(), ::getpid());
    EXPECT_EQ(o["command"].toString(), "PROCESS");
    const QJsonObject r = o["record"].toObject();
    EXPECT_TRUE(r["<<ASSERT>>"].isNull());
    EXPECT_EQ(r["Description"].toString(), QString::fromUtf8("p && L\"a\\b\"\n\t\x01 \u00e9 \U0001F600"));
    EXPECT_EQ(r["Line"].toInteger(), -42);
    EXPECT_EQ(r["Thread ID"].toInteger(), 4000000000ll);
    EXPECT_EQ(r["ReleaseMode"].toBool(), true);
    EXPECT_DOUBLE_EQ(r["$Delay"].toDouble(), 0.25);
    EXPECT_EQ(r["Handle"].toInteger(), 0x7fff00001234ll);
}

TEST(JsonLog, CommandWithoutRecordHasNoRecord)
{
    const QJsonObject o = Parse(FormatLine(L"DEINIT", nullptr));
    EXPECT_EQ(o["command"].toString(), "DEINIT");
    EXPECT_FALSE(o.contains("record"));
}

TEST(JsonLog, ExceptionPointersAreDecoded)
{
    IQX_SnagwiseUtil::EXCEPTION_RECORD er = {};
    er.ExceptionCode = 0xC0000094;
    er.ExceptionAddress = 0x401000;
    er.Signal = 8;
    IQX_SnagwiseUtil::CONTEXT context = {};
    context.FrameCount = 2;
    context.Frames[0] = 0x1234;
    context.Frames[1] = 0x5678;
    IQX_SnagwiseUtil::EXCEPTION_POINTERS pointers{&er, &context};
    VARIANT address;
    address.vt = platform::VT_UI8;
    address.ullVal = reinterpret_cast<std::uintptr_t>(&pointers);
    RecordValues values{{L"$EXCEPTION_POINTERS", address}};
    const QJsonObject e = Parse(FormatLine(L"PROCESS", &values))["exception"].toObject();
    EXPECT_EQ(e["code"].toString(), "0xC0000094");
    EXPECT_EQ(e["signal"].toInt(), 8);
    EXPECT_EQ(e["address"].toString(), "0x401000");
    EXPECT_EQ(e["backtrace"].toArray(), QJsonArray({"0x1234", "0x5678"}));
}

TEST(JsonLog, RotatesAtTheSizeLimitKeepingWholeLines)
{
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString() + "/nested/vantix";
    CJsonLog log(folder, 2048, 2);
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(log.Append("{\"n\":" + std::to_string(i) + ",\"pad\":\"" + std::string(90, 'x') + "\"}"));
    const auto base = folder / "snagwise.log";
    ASSERT_TRUE(std::filesystem::exists(base));
    EXPECT_TRUE(std::filesystem::exists(base.string() + ".1"));
    EXPECT_TRUE(std::filesystem::exists(base.string() + ".2"));
    EXPECT_FALSE(std::filesystem::exists(base.string() + ".3"));
    int last = -1;
    for (const std::string suffix : {".2", ".1", ""}) {
        const auto path = base.string() + suffix;
        EXPECT_LE(std::filesystem::file_size(path), 2048u);
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            const int n = Parse(line)["n"].toInt();
            if (last >= 0) {
                EXPECT_EQ(n, last + 1); // consecutive across the kept files
            }
            last = n;
        }
    }
    EXPECT_EQ(last, 99);
}

TEST(JsonLog, UnwritableFolderFailsQuietly)
{
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/plain-file";
    std::ofstream(file) << "x";
    CJsonLog log(file + "/vantix", 4096, 1);
    EXPECT_FALSE(log.Append("{}"));
}

class SettingsTest : public Test {
protected:
    void SetUp() override
    {
        setenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit().constData(), 1);
        setenv("XDG_STATE_HOME", (m_dir.path() + "/state").toLocal8Bit().constData(), 1);
        unsetenv("VANTIX_SNAGWISE_VERDICT");
        std::filesystem::create_directories(m_dir.path().toStdString() + "/vantix");
    }
    void TearDown() override { unsetenv("VANTIX_SNAGWISE_VERDICT"); }
    void WriteConfig(const std::string& text)
    {
        std::ofstream(m_dir.path().toStdString() + "/vantix/snagwise.conf") << text;
    }
    QTemporaryDir m_dir;
};

TEST_F(SettingsTest, DefaultsWithoutConfiguration)
{
    const Settings s = ReadSettings();
    EXPECT_EQ(s.assertVerdict, S_OK);
    EXPECT_EQ(s.maxLogBytes, 4u << 20);
    EXPECT_EQ(s.logDirectory, m_dir.path().toStdString() + "/state/vantix");
}

TEST_F(SettingsTest, FileThenEnvironment)
{
    WriteConfig("# verdict for assertions\nassert_verdict = Break\nmax_log_size = 65536\nkept_logs = 5\n");
    Settings s = ReadSettings();
    EXPECT_EQ(s.assertVerdict, 1);
    EXPECT_EQ(s.maxLogBytes, 65536u);
    EXPECT_EQ(s.keptLogs, 5);
    setenv("VANTIX_SNAGWISE_VERDICT", "abort", 1);
    EXPECT_EQ(ReadSettings().assertVerdict, E_ABORT);
    setenv("VANTIX_SNAGWISE_VERDICT", "nonsense", 1);
    EXPECT_EQ(ReadSettings().assertVerdict, 1); // ignored: the file's choice stands
}

TEST_F(SettingsTest, BadValuesAreIgnored)
{
    WriteConfig("assert_verdict = sometimes\nmax_log_size = 12\nkept_logs = -1\nno equals sign\n");
    const Settings s = ReadSettings();
    EXPECT_EQ(s.assertVerdict, S_OK);
    EXPECT_EQ(s.maxLogBytes, 4u << 20);
    EXPECT_EQ(s.keptLogs, 3);
}

} // namespace
