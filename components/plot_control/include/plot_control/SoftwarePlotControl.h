#pragma once
// The chart control for programs that link it rather than load the component
// (the batch renderer): the same control, drawing in software only (an OpenGL
// choice is kept and reported but drawn in software), without Qt's OpenGL
// module. It gives the scene and camera it draws, to set the view directly.
#include "plot_control/ChartModel.h"
#include "plot_control/IPlotControl.h"

#include <memory>

namespace plot {

// E_UNEXPECTED without a QApplication (the control is a widget).
HRESULT CreateSoftwarePlotControl(IPlotControl** ppControl, std::shared_ptr<ChartModel>* pModel);

} // namespace plot
