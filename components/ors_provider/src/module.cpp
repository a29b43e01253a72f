// Entry point of the data provider module, called by the component loader.
#include "OrsDataProvider.h"

#include "platform/comptr.h"

extern "C" __attribute__((visibility("default"))) HRESULT VantixCreateInstance(const GUID* clsid, const GUID* iid,
                                                                                void** ppv)
{
    if (!clsid || !iid || !ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!(*clsid == IQX_VantixDataProvider::CLSID_OptimizationResultsDataProvider))
        return CLASS_E_CLASSNOTAVAILABLE;
    try {
        auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
        return provider->QueryInterface(*iid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
