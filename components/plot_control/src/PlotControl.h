#pragma once
// The chart control object: IPlotControl, IQWidgetHost and the connection
// point for IChartEvents over a CPlotWidget. The widget is created without a
// parent; the host reparents it. If the host window destroys the widget
// first, the object keeps working on its model and simply draws nothing.
#include "PlotWidget.h"
#include "plot_control/IPlotControl.h"
#include "plot_control/SoftwarePlotControl.h"

#include "platform/comptr.h"
#include "platform/dispatch.h"

namespace plot {

using platform::ComObject;
using platform::IConnectionPoint;
using platform::IConnectionPointContainer;
using platform::MakeCom;
using platform::uuidof;

class CPlotControl final : public ComObject<IPlotControl, IQWidgetHost, IConnectionPointContainer>,
                           private IPickSink {
public:
    // Without openGL the chart always draws in software.
    explicit CPlotControl(ChildViewFactory openGL = {});

    // IPlotControl
    HRESULT Refresh() override;
    HRESULT Initialize(LONG renderer) override;
    HRESULT CreateSurfaceSeries(ISurfaceSeries** ppSeries) override;
    HRESULT CreatePointSeries(IPointSeries** ppSeries) override;
    HRESULT SetAxisTitles(const std::wstring& x, const std::wstring& y, const std::wstring& z) override;
    HRESULT EnableCollisionDetect(LONG on) override;
    HRESULT IsEnableCollisionDetect(LONG* pOn) override;
    HRESULT GetFieldOfView(LONG* pDegrees) override;
    HRESULT SetFieldOfView(LONG degrees) override;
    HRESULT EnableWaterLevel(LONG on) override;
    HRESULT IsWaterLevel(LONG* pOn) override;
    HRESULT WaterLevelUp() override;
    HRESULT WaterLevelDown() override;
    HRESULT SetVideoMode(LONG renderer) override;
    HRESULT GetVideoMode(LONG* pRenderer) override;
    HRESULT EnableWireFrame(LONG on) override;
    HRESULT IsWireFramed(LONG* pOn) override;
    HRESULT GetValueRange(double* pMin, double* pMax) override;
    HRESULT SetViewPreset(LONG preset) override;
    HRESULT SetColorScale(const std::wstring& title, double lo, double hi, LONG show) override;
    HRESULT RenderPicture(LONG width, LONG height, QImage* pImage) override;
    HRESULT WritePicture(const std::wstring& path, LONG width, LONG height, std::wstring* pError) override;
    HRESULT LegendSeriesAt(LONG x, LONG y, LONG* pSeries) override;
    HRESULT SetAxisScale(LONG axis, LONG scale) override;
    HRESULT SetAxisTickLabels(LONG axis, const std::vector<double>& positions, const std::vector<std::wstring>& labels,
                              LONG only) override;

    // IQWidgetHost
    QWidget* GetWidget() override;

    // IConnectionPointContainer
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // For tests: the scene and camera the control draws.
    ChartModel& Model() { return *m_pModel; }
    const std::shared_ptr<ChartModel>& SharedModel() const { return m_pModel; }

private:
    ~CPlotControl() override;
    void OnPointPicked(const std::array<double, 3>& point) override;
    void OnPickCleared() override;
    void Redraw();

    std::shared_ptr<ChartModel> m_pModel;
    QPointer<CPlotWidget> m_pWidget;
    ComPtr<platform::ConnectionPoint> m_pEvents;
    RendererCode m_renderer = RendererCode::Software;
};

// Creates a control with both back ends and queries it for iid (the
// component's factory).
HRESULT CreatePlotControl(REFIID iid, void** ppv);

} // namespace plot
