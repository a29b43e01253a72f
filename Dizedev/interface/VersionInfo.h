#pragma once
// The program's version strings and the per-user settings location built
// from them.
//
// Out texts are std::wstring*: the caller owns the string. An out that
// already holds a text (is not empty) is refused with E_INVALIDARG and left
// as it is, as a BSTR out already holding a string would be.
//
// Note: "resource data not found" is the plain Windows error 1812 (0x714),
// which is positive, so SUCCEEDED() holds for it: compare with S_OK.
#include "platform/hresult.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSettings;

inline constexpr HRESULT kResourceDataNotFound = ERROR_RESOURCE_DATA_NOT_FOUND; // 0x714

// A version block: a translation table of (language, code page) pairs, then
// named strings per language/code page. JSON form:
//   {"VarFileInfo": {"Translation": [[1033, 1200]]},
//    "StringFileInfo": {"040904b0": {"CompanyName": "Qorvex", ...}}}
class CVersionBlock {
public:
    static std::optional<CVersionBlock> FromJson(const QByteArray& json);

    // "\VarFileInfo\Translation": the pairs, first 16 bits language, then code page.
    std::optional<std::vector<std::uint32_t>> QueryTranslation() const;
    // "\StringFileInfo\llllcccc\Name"
    std::optional<std::wstring> QueryString(const std::wstring& path) const;

private:
    std::vector<std::uint32_t> m_translations;
    std::vector<std::pair<std::wstring, std::wstring>> m_strings; // full path, text
};

struct VersionInfo {
    // Reads the program's own version block (res/version.json).
    VersionInfo();
    // Reads the given block; an empty or unreadable block leaves every field empty.
    explicit VersionInfo(const QByteArray& block);

    // which: 0 productVersion, 1 fileVersion, 2 legalCopyright.
    // E_POINTER, E_INVALIDARG (out not empty, or which unknown), 0x714 when
    // productVersion or fileVersion is empty.
    HRESULT GetVersionString(std::wstring* out, int which) const;

    std::wstring registryCompany;
    std::wstring registryProduct;
    std::wstring companyName;
    std::wstring productName;
    std::wstring productVersion;
    std::wstring fileDescription;
    std::wstring fileVersion;
    std::wstring legalCopyright;

private:
    void Read(const QByteArray& block);
};

// "SOFTWARE\<company>\<product>". E_POINTER, E_INVALIDARG (out not empty),
// 0x714 when company or product is empty (out untouched).
HRESULT GetSettingsKeyPath(std::wstring* out, const std::wstring& company, const std::wstring& product);

// The per-user settings below a registry-style path: "SOFTWARE\<org>\<app>[\group...]"
// opens the native settings of organisation <org>, application <app>
// (~/.config/<org>/<app>.conf) inside the group path. Null for any other path.
// "SOFTWARE\Qorvex\Vantix\Visualizer" holds "VideoMode".
std::unique_ptr<QSettings> OpenSettingsKey(const std::wstring& keyPath);
// The program's own key (from its version block) with subkey appended, such
// as L"\\Files"; null without company or product names.
std::unique_ptr<QSettings> OpenProgramSettings(const std::wstring& subkey);

inline constexpr const wchar_t* kVisualizerSubkey = L"\\Visualizer";
inline constexpr const wchar_t* kVideoModeValue = L"VideoMode";
