#pragma once
// Keeps the chart controls this process makes, so tests can look at their
// scenes and cameras.
#include "PlotControl.h"
#include "platform/loader.h"

#include <vector>

namespace vantix::test {

struct ControlSpy {
    std::vector<plot::CPlotControl*> controls;
    platform::FactoryRegistration reg{plot::CLSID_PlotControl, [this](REFIID iid, void** ppv) {
                                          const HRESULT hr = plot::CreatePlotControl(iid, ppv);
                                          if (SUCCEEDED(hr))
                                              controls.push_back(static_cast<plot::CPlotControl*>(
                                                  static_cast<plot::IPlotControl*>(*ppv)));
                                          return hr;
                                      }};
};

} // namespace vantix::test
