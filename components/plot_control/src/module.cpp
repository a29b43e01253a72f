// Entry point of the chart control module for the component loader.
#include "GlChartView.h"
#include "PlotControl.h"

extern "C" __attribute__((visibility("default"))) HRESULT VantixCreateInstance(const GUID* clsid, const GUID* iid,
                                                                                void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!clsid || !iid)
        return E_INVALIDARG;
    if (!(*clsid == plot::CLSID_PlotControl))
        return CLASS_E_CLASSNOTAVAILABLE;
    return plot::CreatePlotControl(*iid, ppv);
}
