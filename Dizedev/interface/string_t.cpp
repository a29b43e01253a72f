#include "string_t.h"

#include "diagnostics/snagwise.h"
#include "texts.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace resource_string {

namespace {
constexpr unsigned kEntriesPerBlock = 16;

string_t FromUtf16(const char16_t* p, std::size_t n)
{
    string_t out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = p[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[i + 1] - 0xDC00);
            ++i;
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}
} // namespace

std::optional<CStringTableModule> CStringTableModule::FromJson(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    CStringTableModule module;
    const QJsonObject table = doc.object();
    for (auto it = table.begin(); it != table.end(); ++it) {
        bool ok = false;
        const unsigned id = it.key().toUInt(&ok);
        if (!ok || id > 0xFFFF || !it.value().isString())
            return std::nullopt;
        const QString text = it.value().toString();
        module.Set(static_cast<std::uint16_t>(id),
                   std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()));
    }
    return module;
}

void CStringTableModule::Set(std::uint16_t id, std::u16string_view text)
{
    const unsigned blockId = id / kEntriesPerBlock + 1;
    auto& block = m_blocks[blockId];
    if (block.empty())
        block.assign(kEntriesPerBlock, 0); // 16 empty counted strings
    // Find the entry and replace it with the new counted string.
    std::size_t pos = 0;
    for (unsigned k = 0; k < id % kEntriesPerBlock; ++k)
        pos += 1 + block[pos];
    const std::size_t oldLength = block[pos];
    const std::size_t length = std::min<std::size_t>(text.size(), 0xFFFF);
    block.erase(block.begin() + static_cast<std::ptrdiff_t>(pos),
                block.begin() + static_cast<std::ptrdiff_t>(pos + 1 + oldLength));
    std::vector<char16_t> entry;
    entry.reserve(length + 1);
    entry.push_back(static_cast<char16_t>(length));
    entry.insert(entry.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    block.insert(block.begin() + static_cast<std::ptrdiff_t>(pos), entry.begin(), entry.end());
}

const std::vector<char16_t>* CStringTableModule::FindBlock(unsigned block) const
{
    const auto it = m_blocks.find(block);
    return it == m_blocks.end() ? nullptr : &it->second;
}

module_t ProgramModule()
{
    static const CStringTableModule module =
        CStringTableModule::FromJson(vantix_res::StringTableData()).value_or(CStringTableModule{});
    return &module;
}

std::vector<module_t>& ResourceModules()
{
    static std::vector<module_t> modules{ProgramModule()};
    return modules;
}

CScopedResourceModule::CScopedResourceModule(module_t module) : m_module(module)
{
    auto& modules = ResourceModules();
    modules.insert(modules.begin(), module);
}

CScopedResourceModule::~CScopedResourceModule()
{
    auto& modules = ResourceModules();
    if (const auto it = std::find(modules.begin(), modules.end(), m_module); it != modules.end())
        modules.erase(it);
}

string_t resourse_2_string_impl(unsigned id, module_t module)
{
    string_t text;
    const auto& registered = ResourceModules();
    std::vector<module_t> search;
    const auto start = std::find(registered.begin(), registered.end(), module);
    if (module && start == registered.end())
        search.push_back(module);
    search.insert(search.end(), module && start != registered.end() ? start : registered.begin(), registered.end());

    for (const module_t candidate : search) {
        const std::vector<char16_t>* block = candidate ? candidate->FindBlock(id / kEntriesPerBlock + 1) : nullptr;
        if (!block)
            continue;
        std::size_t pos = 0;
        for (unsigned k = 0; k < id % kEntriesPerBlock && pos < block->size(); ++k)
            pos += 1 + (*block)[pos];
        if (pos >= block->size() || (*block)[pos] == 0)
            continue;
        const std::size_t length = std::min<std::size_t>((*block)[pos], block->size() - pos - 1);
        text = FromUtf16(block->data() + pos + 1, length);
        return text;
    }
    SW_ASSERT(0);
    return text;
}

} // namespace resource_string
