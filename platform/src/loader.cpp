#include "platform/loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <system_error>

namespace platform {

namespace {

struct Registered {
    std::uint64_t serial;
    ComponentFactory factory;
};

struct FactoryTable {
    std::mutex lock;
    std::map<CLSID, std::vector<Registered>> entries; // the last registration wins
    std::uint64_t nextSerial = 1;
};

FactoryTable& table()
{
    static FactoryTable t;
    return t;
}

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

using CreateFn = HRESULT (*)(const GUID*, const GUID*, void**);

} // namespace

FactoryRegistration::FactoryRegistration(REFCLSID clsid, ComponentFactory factory) : m_clsid(clsid)
{
    auto& t = table();
    std::lock_guard g(t.lock);
    m_serial = t.nextSerial++;
    t.entries[clsid].push_back({m_serial, std::move(factory)});
}

FactoryRegistration::~FactoryRegistration()
{
    auto& t = table();
    std::lock_guard g(t.lock);
    auto it = t.entries.find(m_clsid);
    if (it == t.entries.end())
        return;
    std::erase_if(it->second, [&](const Registered& r) { return r.serial == m_serial; });
    if (it->second.empty())
        t.entries.erase(it);
}

std::filesystem::path ExecutableDirectory()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path(ec);
    return exe.parent_path();
}

std::filesystem::path RegistrationFilePath()
{
    if (const char* env = std::getenv("VANTIX_COMPONENTS"); env && *env)
        return env;
    return ExecutableDirectory() / "vantix-components.conf";
}

std::optional<std::filesystem::path> RegisteredModulePath(REFCLSID clsid)
{
    const auto file = RegistrationFilePath();
    std::ifstream in(file);
    if (!in)
        return std::nullopt;
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line.substr(0, line.find('#')));
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const auto id = GUIDFromStringA(trim(line.substr(0, eq)));
        if (!id || !(*id == clsid))
            continue;
        std::filesystem::path p = trim(line.substr(eq + 1));
        if (p.is_relative())
            p = file.parent_path() / p;
        return p;
    }
    return std::nullopt;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, std::uint32_t, REFIID iid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    ComponentFactory factory;
    {
        auto& t = table();
        std::lock_guard g(t.lock);
        if (auto it = t.entries.find(clsid); it != t.entries.end() && !it->second.empty())
            factory = it->second.back().factory;
    }
    if (factory)
        return factory(iid, ppv);

    const auto path = RegisteredModulePath(clsid);
    if (!path)
        return REGDB_E_CLASSNOTREG;
    // Modules stay loaded for the life of the process, as in-process servers do.
    void* module = dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto create = reinterpret_cast<CreateFn>(dlsym(module, "VantixCreateInstance"));
    if (!create)
        return CLASS_E_CLASSNOTAVAILABLE;
    return create(&clsid, &iid, ppv);
}

} // namespace platform
