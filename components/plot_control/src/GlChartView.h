#pragma once
// The OpenGL back end as the control's widget uses it, and the control made
// with it: what the component module (and tests) create.
#include "PlotWidget.h"

namespace plot {

// A child widget covering owner that draws owner's model with OpenGL.
ChildView MakeGlChartView(CPlotWidget& owner);

} // namespace plot
