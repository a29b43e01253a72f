#pragma once
// Texts of the program's string table, looked up by id.
//
// A string table is kept the way resource modules keep it: blocks of 16
// counted UTF-16 strings, block id / 16 + 1 holding ids (block - 1) * 16 to
// block * 16 - 1. An entry of length 0 is a missing entry.
#include <QByteArray>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

using string_t = std::wstring;

namespace resource_string {

class CStringTableModule {
public:
    CStringTableModule() = default;
    // {"<id>": "<text>", ...} with ids 0 to 65535; nullopt for anything else.
    static std::optional<CStringTableModule> FromJson(const QByteArray& json);

    void Set(std::uint16_t id, std::u16string_view text);
    // The block's 16 counted strings, nullptr when the module has no such block.
    const std::vector<char16_t>* FindBlock(unsigned block) const;

private:
    std::map<unsigned, std::vector<char16_t>> m_blocks;
};

using module_t = const CStringTableModule*;

// The program's own table, embedded at build time (res/strings.json).
module_t ProgramModule();

// The resource modules registered with the application, searched in order.
// The program registers only its own module, which is there from the start.
std::vector<module_t>& ResourceModules();

// Registers a module in front of the others for as long as it lives (tests).
class CScopedResourceModule {
public:
    explicit CScopedResourceModule(module_t module);
    ~CScopedResourceModule();
    CScopedResourceModule(const CScopedResourceModule&) = delete;
    CScopedResourceModule& operator=(const CScopedResourceModule&) = delete;

private:
    module_t m_module;
};

// The text of entry id from the first module, starting at module (null: the
// first registered one; a module not registered is searched before the
// registered ones), that holds a non-empty entry. A missing entry asserts and
// gives "".
string_t resourse_2_string_impl(unsigned id, module_t module = nullptr);

} // namespace resource_string
