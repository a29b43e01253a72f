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

// The first translation's block, and a text by its code.
TEST(VersionInfo, UsesTheFirstTranslationAndItsCodes)
{
    const VersionInfo info(kFullBlock);
    EXPECT_EQ(Narrow(info.companyName + L"|" + info.productVersion + L"|" + info.fileDescription + L"|" +
                     info.fileVersion + L"|" + info.legalCopyright),
              "Qorvex|2.5.1|Viewer|2.5.1.7|(C) Qorvex");
    std::wstring out;
    EXPECT_EQ(info.GetVersionString(&out, 1), S_OK);
    EXPECT_EQ(out, L"2.5.1.7");
    EXPECT_EQ(info.GetVersionString(&out, 1), E_INVALIDARG); // already holds a text
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
