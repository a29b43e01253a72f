#pragma once
// Contract between Vantix and the 3-D chart control component. The control is
// a QWidget created through the component loader; querying it for IPlotControl
// gives this interface, and QueryInterface for IQWidgetHost gives the widget.
#include "platform/dispatch.h"
#include "platform/unknown.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QImage;
class QWidget;

namespace plot {

inline constexpr CLSID CLSID_PlotControl{0x3F9A6C21, 0x54D7, 0x4C0E, {0xB2, 0x8F, 0x61, 0x0D, 0x4A, 0x97, 0xE3, 0x5C}};
inline constexpr const wchar_t* kPlotControlClassId = L"{3F9A6C21-54D7-4C0E-B28F-610D4A97E35C}";

// Interchange record for surface vertices and points: 32 bytes, back to back.
struct SurfaceVertex {
    double x;             // value of the X input
    double y;             // vertical: value of the function
    double z;             // value of the Y input
    std::uint32_t color;  // 0x00RRGGBB
    std::uint32_t unused; // not read by the control
};
static_assert(sizeof(SurfaceVertex) == 32);
static_assert(offsetof(SurfaceVertex, x) == 0 && offsetof(SurfaceVertex, y) == 8 && offsetof(SurfaceVertex, z) == 16 &&
              offsetof(SurfaceVertex, color) == 24 && offsetof(SurfaceVertex, unused) == 28);

// The control's renderer codes (Initialize, SetVideoMode, GetVideoMode): 0
// software (the "DIRECTX" setting), 1 OpenGL.
enum class RendererCode : LONG { Software = 0, OpenGL = 1 };

// The one way from a number to a renderer code: 1 is OpenGL, anything else
// software. The way back is the number itself (LONG(code)).
constexpr RendererCode ToRendererCode(long code)
{
    return code == LONG(RendererCode::OpenGL) ? RendererCode::OpenGL : RendererCode::Software;
}

struct ISurfaceSeries : IUnknown {
    VANTIX_INTERFACE_ID(0x3F9A6C22, 0x54D7, 0x4C0E, 0xB2, 0x8F, 0x61, 0x0D, 0x4A, 0x97, 0xE3, 0x5C);
    virtual HRESULT SetVisible(LONG visible) = 0;
    virtual HRESULT IsVisible(LONG* pVisible) = 0;
    // Copies count vertices and indexCount indices (three per triangle).
    virtual HRESULT SetData(const SurfaceVertex* data, LONG count, const std::uint32_t* indices, LONG indexCount) = 0;
    // 1: vertex colours come from the function value (y) through the ramp over the
    // value range shared by every visible series that colours by value; 0 (default): the given colours.
    virtual HRESULT SetColorByValue(LONG on) = 0;
    // The series' name in the chart's legend, which lists the visible named
    // series while two or more have names; empty (default): not listed.
    virtual HRESULT SetName(const std::wstring& name) = 0;
};

struct IPointSeries : IUnknown {
    VANTIX_INTERFACE_ID(0x3F9A6C23, 0x54D7, 0x4C0E, 0xB2, 0x8F, 0x61, 0x0D, 0x4A, 0x97, 0xE3, 0x5C);
    virtual HRESULT SetVisible(LONG visible) = 0;
    virtual HRESULT IsVisible(LONG* pVisible) = 0;
    // Copies count points; pointSize is the diameter in data units.
    virtual HRESULT SetData(const SurfaceVertex* data, LONG count, double pointSize) = 0;
    // As ISurfaceSeries::SetColorByValue, for the points.
    virtual HRESULT SetColorByValue(LONG on) = 0;
    // Diameter in device-independent pixels, scaled with the screen's DPI (device pixel ratio) and capped at kMaxPointPixels; 0 (default): the data-unit size given to SetData.
    // Larger values are capped (S_OK); negative or non-finite ones give E_INVALIDARG.
    virtual HRESULT SetPixelSize(double pixels) = 0;
    // As ISurfaceSeries::SetName.
    virtual HRESULT SetName(const std::wstring& name) = 0;
};
inline constexpr double kMaxPointPixels = 24.0;

struct IPlotControl : IUnknown {
    VANTIX_INTERFACE_ID(0x3F9A6C24, 0x54D7, 0x4C0E, 0xB2, 0x8F, 0x61, 0x0D, 0x4A, 0x97, 0xE3, 0x5C);
    virtual HRESULT Refresh() = 0;
    virtual HRESULT Initialize(LONG renderer) = 0;
    virtual HRESULT CreateSurfaceSeries(ISurfaceSeries** ppSeries) = 0;
    virtual HRESULT CreatePointSeries(IPointSeries** ppSeries) = 0;
    virtual HRESULT SetAxisTitles(const std::wstring& x, const std::wstring& y, const std::wstring& z) = 0;
    virtual HRESULT EnableCollisionDetect(LONG on) = 0;
    virtual HRESULT IsEnableCollisionDetect(LONG* pOn) = 0;
    virtual HRESULT GetFieldOfView(LONG* pDegrees) = 0;
    virtual HRESULT SetFieldOfView(LONG degrees) = 0;
    virtual HRESULT EnableWaterLevel(LONG on) = 0;
    virtual HRESULT IsWaterLevel(LONG* pOn) = 0;
    virtual HRESULT WaterLevelUp() = 0;
    virtual HRESULT WaterLevelDown() = 0;
    virtual HRESULT SetVideoMode(LONG renderer) = 0;
    virtual HRESULT GetVideoMode(LONG* pRenderer) = 0;
    virtual HRESULT EnableWireFrame(LONG on) = 0;
    virtual HRESULT IsWireFramed(LONG* pOn) = 0;
    // The range over which series coloured by value are coloured: min and max of y over the finite
    // vertices/points of every visible series that colours by value. S_FALSE with 0, 0 when there is none.
    virtual HRESULT GetValueRange(double* pMin, double* pMax) = 0;
    // Sets the camera to a preset view, zoom and pan back to their defaults:
    // 0 the default view, 1 from straight above, 2 along the Y input axis, 3
    // along the X input axis. Other values give E_INVALIDARG.
    virtual HRESULT SetViewPreset(LONG preset) = 0;
    // The colour bar at the chart's right edge. show: kColorScaleHidden, kColorScaleShown (the ramp
    // from lo at the bottom to hi at the top, titled with title; lo <= hi, both finite, else
    // E_INVALIDARG) or kColorScaleAutomatic (default: the value range, titled with the function
    // axis's title, while a visible series colours by value). Other values give E_INVALIDARG.
    virtual HRESULT SetColorScale(const std::wstring& title, double lo, double hi, LONG show) = 0;
    // The chart as it is now (camera, field of view, visible series, water level, colour bar,
    // legend, picked point) drawn offscreen by the software renderer at width x height pixels,
    // whatever renderer the widget uses. Sides from 1 to plot::kMaxPictureSide (10000), else E_INVALIDARG.
    virtual HRESULT RenderPicture(LONG width, LONG height, QImage* pImage) = 0;
    // The same picture written to path as PNG, SVG or PDF after its extension (SVG and PDF: the
    // 3-D part embedded as an image, decorations as vectors). E_INVALIDARG for another extension
    // or size; E_FAIL when the file cannot be written. pError (may be null) gets the reason.
    virtual HRESULT WritePicture(const std::wstring& path, LONG width, LONG height, std::wstring* pError) = 0;
    // The series whose legend line is at (x, y) in the widget's coordinates, as its place among
    // the series created on this control (0 for the first CreateSurfaceSeries or
    // CreatePointSeries call); S_FALSE with -1 when no legend line is there.
    virtual HRESULT LegendSeriesAt(LONG x, LONG y, LONG* pSeries) = 0;
    // Axis 0 (X), 1 (vertical) or 2 (Z) drawn linear (kAxisScaleLinear, default) or logarithmic
    // (kAxisScaleLog): the series then give log10 of the values as positions on that axis, and its
    // ticks fall on the decades (with 2 and 5 between when it spans few), labelled with the values.
    // Other axes or scales give E_INVALIDARG.
    virtual HRESULT SetAxisScale(LONG axis, LONG scale) = 0;
    // Ticks with texts of their own on an axis, at positions in data units. With only 1 the axis shows
    // these ticks alone (categories); with 0 its numeric ticks stay, short of the lowest of these
    // positions, and these follow past them (a "(none)" value beyond the axis end). Empty: numeric
    // ticks only (default). Positions and labels of different sizes, or non-finite positions, give
    // E_INVALIDARG.
    virtual HRESULT SetAxisTickLabels(LONG axis, const std::vector<double>& positions,
                                      const std::vector<std::wstring>& labels, LONG only) = 0;
};
inline constexpr LONG kAxisScaleLinear = 0;
inline constexpr LONG kAxisScaleLog = 1;
inline constexpr LONG kColorScaleHidden = 0;
inline constexpr LONG kColorScaleShown = 1;
inline constexpr LONG kColorScaleAutomatic = 2;
inline constexpr LONG kViewDefault = 0;
inline constexpr LONG kViewTop = 1;
inline constexpr LONG kViewFront = 2;
inline constexpr LONG kViewSide = 3;

// The widget behind a control, for hosting it in a window.
struct IQWidgetHost : IUnknown {
    VANTIX_INTERFACE_ID(0x3F9A6C25, 0x54D7, 0x4C0E, 0xB2, 0x8F, 0x61, 0x0D, 0x4A, 0x97, 0xE3, 0x5C);
    virtual QWidget* GetWidget() = 0;
};

// Outgoing events, fired through the control's connection point for this IID.
struct IChartEvents : IDispatch {
    VANTIX_INTERFACE_ID(0x3F9A6C26, 0x54D7, 0x4C0E, 0xB2, 0x8F, 0x61, 0x0D, 0x4A, 0x97, 0xE3, 0x5C);
};
inline constexpr DISPID DISPID_SelectPoint = 1; // "SelectPoint"(pX, pY, pZ: VT_R8 | VT_BYREF; DISPIDs 0, 1, 2)
inline constexpr DISPID DISPID_ClearPoint = 2;  // "ClearPoint"()

} // namespace plot
