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

TEST(VersionInfo, ProgramBlockComesFromTheBuild)
{
    const VersionInfo info;
    EXPECT_EQ(info.companyName, L"Qorvex");
    EXPECT_EQ(info.productName, L"Vantix");
    EXPECT_EQ(info.registryCompany, L"Qorvex");
    EXPECT_EQ(info.registryProduct, L"Vantix");
    const auto narrow = [](const std::wstring& w) { return QString::fromStdWString(w).toStdString(); };
    EXPECT_THAT(narrow(info.productVersion), MatchesRegex("[0-9]+\\.[0-9]+\\.[0-9]+"));
    EXPECT_THAT(info.fileVersion, StartsWith(info.productVersion + L"."));
    EXPECT_THAT(narrow(info.legalCopyright), MatchesRegex("Copyright \\(C\\) [0-9]{4} Qorvex"));
    EXPECT_FALSE(info.fileDescription.empty());
}

TEST(VersionInfo, UsesTheFirstTranslation)
{
    const VersionInfo info(kFullBlock);
    EXPECT_EQ(info.companyName, L"Qorvex");
    EXPECT_EQ(info.productVersion, L"2.5.1");
    EXPECT_EQ(info.fileDescription, L"Viewer");
    EXPECT_EQ(info.fileVersion, L"2.5.1.7");
    EXPECT_EQ(info.legalCopyright, L"(C) Qorvex");
}

TEST(VersionInfo, MissingValuesStayEmpty)
{
    const VersionInfo partial(R"({"VarFileInfo": {"Translation": [[1033, 1200]]},
        "StringFileInfo": {"040904b0": {"ProductName": "Vantix", "FileVersion": "1.0.0.0"},
                           "040904e4": {"CompanyName": "wrong code page"}}})");
    EXPECT_EQ(partial.productName, L"Vantix");
    EXPECT_EQ(partial.registryProduct, L"Vantix");
    EXPECT_EQ(partial.fileVersion, L"1.0.0.0");
    EXPECT_EQ(partial.companyName, L"");
    EXPECT_EQ(partial.registryCompany, L"");
    EXPECT_EQ(partial.productVersion, L"");

    for (const QByteArray& block : {QByteArray(), QByteArray("garbage"),
                                   QByteArray(R"({"StringFileInfo": {"040904b0": {"ProductName": "X"}}})")}) {
        const VersionInfo empty(block);
        EXPECT_EQ(empty.productName, L"");
        EXPECT_EQ(empty.registryCompany, L"");
    }
}

TEST(VersionInfo, GetVersionStringCodes)
{
    const VersionInfo info(kFullBlock);
    std::wstring out;
    EXPECT_EQ(info.GetVersionString(nullptr, 0), E_POINTER);
    EXPECT_EQ(info.GetVersionString(&out, 0), S_OK);
    EXPECT_EQ(out, L"2.5.1");
    EXPECT_EQ(info.GetVersionString(&out, 1), E_INVALIDARG); // already holds a text
    EXPECT_EQ(out, L"2.5.1");
    out.clear();
    EXPECT_EQ(info.GetVersionString(&out, 1), S_OK);
    EXPECT_EQ(out, L"2.5.1.7");
    out.clear();
    EXPECT_EQ(info.GetVersionString(&out, 2), S_OK);
    EXPECT_EQ(out, L"(C) Qorvex");
    out.clear();
    EXPECT_EQ(info.GetVersionString(&out, 3), E_INVALIDARG);
    EXPECT_EQ(info.GetVersionString(&out, -1), E_INVALIDARG);
    EXPECT_TRUE(out.empty());

    // Without a product or file version every request fails with 0x714.
    const VersionInfo noFileVersion(R"({"VarFileInfo": {"Translation": [[1033, 1200]]},
        "StringFileInfo": {"040904b0": {"ProductVersion": "1", "LegalCopyright": "c"}}})");
    EXPECT_EQ(noFileVersion.GetVersionString(&out, 2), 0x714);
    EXPECT_EQ(noFileVersion.GetVersionString(&out, 7), 0x714);
    EXPECT_TRUE(out.empty());
}

TEST(SettingsKeyPath, CodesAndText)
{
    std::wstring out;
    EXPECT_EQ(GetSettingsKeyPath(nullptr, L"Qorvex", L"Vantix"), E_POINTER);
    EXPECT_EQ(GetSettingsKeyPath(&out, L"", L"Vantix"), 0x714);
    EXPECT_EQ(GetSettingsKeyPath(&out, L"Qorvex", L""), 0x714);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(GetSettingsKeyPath(&out, L"Qorvex", L"Vantix"), S_OK);
    EXPECT_EQ(out, L"SOFTWARE\\Qorvex\\Vantix");
    EXPECT_EQ(GetSettingsKeyPath(&out, L"A", L"B"), E_INVALIDARG);
    EXPECT_EQ(out, L"SOFTWARE\\Qorvex\\Vantix");

    const VersionInfo none{QByteArray()};
    std::wstring path;
    EXPECT_EQ(GetSettingsKeyPath(&path, none.registryCompany, none.registryProduct), 0x714);
}

TEST(SettingsKey, VideoModeLandsInTheVisualizerGroupOfTheNativeSettings)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const VersionInfo info;
    std::wstring path;
    ASSERT_EQ(GetSettingsKeyPath(&path, info.registryCompany, info.registryProduct), S_OK);
    path += kVisualizerSubkey;
    EXPECT_EQ(path, L"SOFTWARE\\Qorvex\\Vantix\\Visualizer");
    {
        auto key = OpenSettingsKey(path);
        ASSERT_NE(key, nullptr);
        key->setValue(QString::fromWCharArray(kVideoModeValue), QStringLiteral("OPENGL"));
    }
    QSettings plain(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Qorvex"), QStringLiteral("Vantix"));
    EXPECT_EQ(plain.value(QStringLiteral("Visualizer/VideoMode")).toString(), QStringLiteral("OPENGL"));
    EXPECT_EQ(plain.fileName(), dir.path() + QStringLiteral("/Qorvex/Vantix.conf"));

    EXPECT_EQ(OpenSettingsKey(L"HARDWARE\\Qorvex\\Vantix"), nullptr);
    EXPECT_EQ(OpenSettingsKey(L"SOFTWARE\\Qorvex"), nullptr);
    EXPECT_NE(OpenSettingsKey(L"software\\Qorvex\\Vantix"), nullptr);
}

} // namespace
