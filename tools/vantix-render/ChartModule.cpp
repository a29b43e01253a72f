// The chart half of vantix-render, loaded by the launcher (main.cpp).
#include "BatchRender.h"

extern "C" [[gnu::visibility("default")]] int VantixRenderChart(const batch::BatchOptions& options,
                                                                const batch::LoadStep& load, double startedMs)
{
    static_assert(std::is_same_v<decltype(&VantixRenderChart), batch::ChartEntry>);
    return batch::Run(options, load, true, startedMs);
}
