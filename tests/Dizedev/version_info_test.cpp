// Version strings, the settings path and its mapping onto QSettings.
#include "VersionInfo.h"

#include <gmock/gmock.h>

#include <QSettings>
#include <QTemporaryDir>

using namespace testing;

namespace {

const QByteArray kFullBlock = R"({
  "VarFileInfo": {"Translation": [[1031, 1252], [1033, 1200]]},
  "StringFileInfo": {
    "040704E4": {"CompanyName": "Qorvex", "ProductName": "Vantix", "ProductVersion": "2.5.1",
                 "FileDescription": "Viewer", "FileVersion": "2.5.1.7", "LegalCopyright": "(C) Qorvex"},
    "040904b0": {"CompanyName": "Other", "ProductName": "Other", "ProductVersion": "9",
                 "FileDescription": "Other", "FileVersion": "9", "LegalCopyright": "Other"}
  }})";

std::string Narrow(const std::wstring& w)
{
    return QString::fromStdWString(w).toStdString();
}

TEST(VersionInfo, ProgramBlockComesFromTheBuild)
{
    const VersionInfo info;
    EXPECT_EQ(info.companyName + info.registryCompany, L"QorvexQorvex");
    EXPECT_EQ(info.productName + info.registryProduct, L"VantixVantix");
    EXPECT_THAT(Narrow(info.productVersion), MatchesRegex("[0-9]+\\.[0-9]+\\.[0-9]+"));
    EXPECT_THAT(info.fileVersion, StartsWith(info.productVersion + L"."));
    EXPECT_THAT(Narrow(info.legalCopyright), MatchesRegex("Copyright \\(C\\) [0-9]{4} Qorvex"));
}

// The first translation's block; values it lacks stay empty.
TEST(VersionInfo, UsesTheFirstTranslation)
{
    const VersionInfo info(kFullBlock);
    EXPECT_EQ(Narrow(info.companyName + L"|" + info.productVersion + L"|" + info.fileDescription + L"|" +
                     info.fileVersion + L"|" + info.legalCopyright),
              "Qorvex|2.5.1|Viewer|2.5.1.7|(C) Qorvex");
    const VersionInfo partial(R"({"VarFileInfo": {"Translation": [[1033, 1200]]},
        "StringFileInfo": {"040904b0": {"ProductName": "Vantix", "FileVersion": "1.0.0.0"},
                           "040904e4": {"CompanyName": "wrong code page"}}})");
    EXPECT_EQ(Narrow(partial.productName + L"|" + partial.registryProduct + L"|" + partial.fileVersion + L"|" +
                     partial.companyName + L"|" + partial.registryCompany + L"|" + partial.productVersion),
              "Vantix|Vantix|1.0.0.0|||");
    for (const QByteArray& block : {QByteArray("garbage"), QByteArray(R"({"StringFileInfo": {"040904b0": {"ProductName": "X"}}})")})
        EXPECT_EQ(VersionInfo(block).productName, L"");
}

TEST(VersionInfo, GetVersionStringCodes)
{
    const VersionInfo info(kFullBlock);
    std::wstring out;
    EXPECT_EQ(info.GetVersionString(nullptr, 0), E_POINTER);
    for (const auto& [which, text] : {std::pair<int, std::wstring>{0, L"2.5.1"}, {1, L"2.5.1.7"}, {2, L"(C) Qorvex"}}) {
        out.clear();
        EXPECT_EQ(info.GetVersionString(&out, which), S_OK);
        EXPECT_EQ(out, text);
    }
    EXPECT_EQ(info.GetVersionString(&out, 1), E_INVALIDARG); // already holds a text
    out.clear();
    EXPECT_EQ(info.GetVersionString(&out, 3), E_INVALIDARG);
    // Without a product or file version every request fails with 0x714.
    const VersionInfo noFileVersion(R"({"VarFileInfo": {"Translation": [[1033, 1200]]},
        "StringFileInfo": {"040904b0": {"ProductVersion": "1", "LegalCopyright": "c"}}})");
    EXPECT_EQ(noFileVersion.GetVersionString(&out, 2), 0x714);
    EXPECT_TRUE(out.empty());
}

TEST(SettingsKey, PathCodesAndTheVisualizerGroupOfTheNativeSettings)
{
    std::wstring out;
    EXPECT_EQ(GetSettingsKeyPath(nullptr, L"Qorvex", L"Vantix"), E_POINTER);
    EXPECT_EQ(GetSettingsKeyPath(&out, L"Qorvex", L""), 0x714);
    const VersionInfo info;
    EXPECT_EQ(GetSettingsKeyPath(&out, info.registryCompany, info.registryProduct), S_OK);
    EXPECT_EQ(GetSettingsKeyPath(&out, L"A", L"B"), E_INVALIDARG);
    EXPECT_EQ(out + kVisualizerSubkey, L"SOFTWARE\\Qorvex\\Vantix\\Visualizer");

    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    {
        const auto key = OpenSettingsKey(out + kVisualizerSubkey);
        ASSERT_NE(key, nullptr);
        key->setValue(QString::fromWCharArray(kVideoModeValue), QStringLiteral("OPENGL"));
    }
    QSettings plain(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Qorvex"), QStringLiteral("Vantix"));
    EXPECT_EQ(plain.value(QStringLiteral("Visualizer/VideoMode")).toString(), QStringLiteral("OPENGL"));
    EXPECT_EQ(OpenSettingsKey(L"SOFTWARE\\Qorvex"), nullptr);
    EXPECT_NE(OpenSettingsKey(L"software\\Qorvex\\Vantix"), nullptr);
}

} // namespace
