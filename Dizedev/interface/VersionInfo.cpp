#include "VersionInfo.h"

#include "texts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cwchar>

namespace {

const wchar_t* const kNames[] = {L"CompanyName",   L"ProductName", L"ProductVersion",
                                 L"FileDescription", L"FileVersion", L"LegalCopyright"};

std::vector<std::wstring> SplitPath(const std::wstring& path)
{
    std::vector<std::wstring> parts;
    std::wstring part;
    for (const wchar_t c : path) {
        if (c == L'\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b)
{
    const std::size_t n = std::wcslen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

} // namespace

std::optional<CVersionBlock> CVersionBlock::FromJson(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    CVersionBlock block;
    const QJsonObject root = doc.object();
    for (const QJsonValue pair : root[QStringLiteral("VarFileInfo")][QStringLiteral("Translation")].toArray()) {
        const QJsonArray lc = pair.toArray();
        if (lc.size() != 2)
            return std::nullopt;
        block.m_translations.push_back((static_cast<std::uint32_t>(lc[0].toInt()) & 0xFFFF) |
                                       (static_cast<std::uint32_t>(lc[1].toInt()) << 16));
    }
    const QJsonObject tables = root[QStringLiteral("StringFileInfo")].toObject();
    for (auto t = tables.begin(); t != tables.end(); ++t) {
        const QJsonObject strings = t.value().toObject();
        for (auto s = strings.begin(); s != strings.end(); ++s) {
            if (!s.value().isString())
                continue;
            block.m_strings.emplace_back(L"\\StringFileInfo\\" + t.key().toStdWString() + L"\\" + s.key().toStdWString(),
                                         s.value().toString().toStdWString());
        }
    }
    return block;
}

std::optional<std::vector<std::uint32_t>> CVersionBlock::QueryTranslation() const
{
    if (m_translations.empty())
        return std::nullopt;
    return m_translations;
}

std::optional<std::wstring> CVersionBlock::QueryString(const std::wstring& path) const
{
    const auto wanted = SplitPath(path);
    for (const auto& [key, text] : m_strings) {
        const auto have = SplitPath(key);
        if (have.size() != wanted.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < have.size() && same; ++i)
            same = EqualsNoCase(have[i], wanted[i].c_str());
        if (same)
            return text;
    }
    return std::nullopt;
}

VersionInfo::VersionInfo()
{
    Read(vantix_res::VersionBlockData());
}

VersionInfo::VersionInfo(const QByteArray& block)
{
    Read(block);
}

void VersionInfo::Read(const QByteArray& data)
{
    const auto block = CVersionBlock::FromJson(data);
    if (!block)
        return;
    const auto translations = block->QueryTranslation();
    if (!translations)
        return;
    const std::uint32_t first = translations->front();
    wchar_t prefix[64];
    std::swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", first & 0xFFFF, first >> 16);
    std::wstring* const fields[] = {&companyName,     &productName, &productVersion,
                                    &fileDescription, &fileVersion, &legalCopyright};
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        if (auto text = block->QueryString(std::wstring(prefix) + kNames[i]))
            *fields[i] = std::move(*text);
    }
    registryCompany = companyName;
    registryProduct = productName;
}

HRESULT VersionInfo::GetVersionString(std::wstring* out, int which) const
{
    if (!out)
        return E_POINTER;
    if (!out->empty())
        return E_INVALIDARG;
    if (productVersion.empty() || fileVersion.empty())
        return kResourceDataNotFound;
    switch (which) {
    case 0: *out = productVersion; return S_OK;
    case 1: *out = fileVersion; return S_OK;
    case 2: *out = legalCopyright; return S_OK;
    default: return E_INVALIDARG;
    }
}

HRESULT GetSettingsKeyPath(std::wstring* out, const std::wstring& company, const std::wstring& product)
{
    if (!out)
        return E_POINTER;
    if (!out->empty())
        return E_INVALIDARG;
    if (company.empty() || product.empty())
        return kResourceDataNotFound;
    *out = L"SOFTWARE\\" + company + L"\\" + product;
    return S_OK;
}

std::unique_ptr<QSettings> OpenSettingsKey(const std::wstring& keyPath)
{
    const auto parts = SplitPath(keyPath);
    if (parts.size() < 3 || !EqualsNoCase(parts[0], L"SOFTWARE"))
        return nullptr;
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                QString::fromStdWString(parts[1]), QString::fromStdWString(parts[2]));
    QString group;
    for (std::size_t i = 3; i < parts.size(); ++i)
        group += (group.isEmpty() ? QString() : QStringLiteral("/")) + QString::fromStdWString(parts[i]);
    if (!group.isEmpty())
        settings->beginGroup(group);
    return settings;
}

std::unique_ptr<QSettings> OpenProgramSettings(const std::wstring& subkey)
{
    const VersionInfo info;
    std::wstring keyPath;
    if (GetSettingsKeyPath(&keyPath, info.registryCompany, info.registryProduct) != S_OK)
        return nullptr;
    return OpenSettingsKey(keyPath + subkey);
}
