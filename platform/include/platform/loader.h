#pragma once
// Creates components by class id. A component is a shared library exporting
//   extern "C" HRESULT VantixCreateInstance(const GUID* clsid, const GUID* iid, void** ppv);
// found through a registration file of lines "{CLSID}=path" ('#' starts a
// comment; relative paths are relative to the file's folder). The file is
// "vantix-components.conf" beside the executable unless VANTIX_COMPONENTS names
// another. Tests register in-process factories, which take precedence.
#include "platform/unknown.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace platform {

inline constexpr std::uint32_t CLSCTX_INPROC_SERVER = 0x1;
inline constexpr std::uint32_t CLSCTX_ALL = 0x17;

using ComponentFactory = std::function<HRESULT(REFIID iid, void** ppv)>;

// Registers a factory for clsid until the returned token is destroyed.
class FactoryRegistration {
public:
    FactoryRegistration(REFCLSID clsid, ComponentFactory factory);
    ~FactoryRegistration();
    FactoryRegistration(const FactoryRegistration&) = delete;
    FactoryRegistration& operator=(const FactoryRegistration&) = delete;

private:
    CLSID m_clsid;
    std::uint64_t m_serial;
};

// CoCreateInstance: in-process factories first, then the registered module.
// REGDB_E_CLASSNOTREG when the class is unknown, CLASS_E_NOAGGREGATION when an
// outer object is given, CLASS_E_CLASSNOTAVAILABLE when the module cannot be
// loaded or lacks the export.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, std::uint32_t context, REFIID iid, void** ppv);

template <class T>
HRESULT CreateInstance(REFCLSID clsid, T** pp)
{
    return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, uuidof<T>(), reinterpret_cast<void**>(pp));
}

// Running an object is implicit here: loading the module runs it. Kept so
// callers state where an object must be running before use.
inline HRESULT OleRun(IUnknown* p) { return p ? S_OK : E_INVALIDARG; }

// The module path the registration file gives for clsid, resolved.
std::optional<std::filesystem::path> RegisteredModulePath(REFCLSID clsid);
// The registration file in use.
std::filesystem::path RegistrationFilePath();
// Folder of the running executable.
std::filesystem::path ExecutableDirectory();

} // namespace platform
