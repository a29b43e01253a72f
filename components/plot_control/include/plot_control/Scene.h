#pragma once
// The chart's scene: surface and point series in data coordinates, the axis
// titles, water level, wireframe flag and the picked-point marker. Renderers
// map the data into a unit cube centred on the origin ([-0.5, 0.5] on every
// axis) so that axes of very different ranges fill the view alike.
//
// Plain C++ (no widgets); the chart control, the software and OpenGL renderers
// and command-line tools share it. Not thread-safe: one owner thread.
#include "plot_control/IPlotControl.h"
#include "plot_control/Math3d.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plot {

// Axis order everywhere: 0 = x, 1 = y (vertical), 2 = z.
struct DataBounds {
    std::array<double, 3> min{0, 0, 0};
    std::array<double, 3> max{1, 1, 1};
    bool operator==(const DataBounds&) const = default;
};

class Scene;
class SurfaceLod;

// The colours a series is drawn with: its given colours, or, for a series
// coloured by value, those of its values through the ramp over the scene's
// value range (after Scene::Prepare). Element i is data[i * stride].
struct ColorView {
    const std::uint32_t* data = nullptr;
    std::size_t stride = 1; // in 32-bit words
    std::uint32_t operator[](std::size_t i) const { return data[i * stride]; }
};

// One triangulated surface. Triangles that refer to a missing vertex are
// dropped; vertices with non-finite coordinates are not drawn.
class SurfaceMesh {
public:
    void SetData(const SurfaceVertex* vertices, std::size_t count, const std::uint32_t* indices, std::size_t indexCount);
    void SetVisible(bool visible) { m_bVisible = visible; }
    bool IsVisible() const { return m_bVisible; }
    // Colours from the function value (y) through the ramp over the scene's
    // value range instead of the given ones; takes effect in Scene::Prepare.
    void SetColorByValue(bool on);
    bool ColorByValue() const { return m_bColorByValue; }
    // The series' name in the legend; unnamed series are not listed.
    void SetName(std::wstring name) { m_name = std::move(name); }
    const std::wstring& Name() const { return m_name; }

    const std::vector<SurfaceVertex>& Vertices() const { return m_vertices; }
    // The colours drawn (see ColorView); valid after Scene::Prepare.
    ColorView Colors() const;
    const std::vector<std::uint32_t>& Indices() const { return m_indices; }
    std::size_t TriangleCount() const { return m_indices.size() / 3; }
    // Nonzero for each vertex that belongs to at least one triangle.
    const std::vector<std::uint8_t>& UsedVertices() const { return m_used; }

    // Valid after Scene::Prepare: positions in the unit cube and smooth vertex normals there.
    const std::vector<Vec3>& UnitPositions() const { return m_unit; }
    const std::vector<Vec3>& Normals() const { return m_normals; }
    // Changes whenever the data or their mapping into the cube changed (for GPU caches).
    std::uint64_t Revision() const { return m_nRevision; }
    // Coarser versions of a grid-shaped mesh for frames in which its cells
    // are smaller than pixels (renderer-internal); made after Scene::Prepare
    // on first use, remade when the revision changes.
    SurfaceLod& LevelOfDetail() const;
    // The same made for a frame that may be abandoned: null (and nothing
    // kept) once abandon is set before it is done.
    SurfaceLod* LevelOfDetail(const std::atomic<bool>& abandon) const;
    // Whether LevelOfDetail() is made for the current data already.
    bool HasLevelOfDetail() const;

private:
    friend class Scene;
    void UpdateDerived(const Scene& scene);

    std::vector<SurfaceVertex> m_vertices;
    std::vector<std::uint32_t> m_indices;
    std::vector<std::uint8_t> m_used;
    std::vector<Vec3> m_unit;
    std::vector<Vec3> m_normals;
    std::optional<DataBounds> m_dataBounds; // finite vertices only
    std::array<std::uint32_t, 2> m_extremeColors{}; // given colours at the lowest and highest value
    std::wstring m_name;
    std::size_t m_nAdded = 0;
    bool m_bVisible = true;
    bool m_bDirty = false;
    DataBounds m_mappedWith;
    std::uint64_t m_nRevision = 0;
    mutable std::shared_ptr<SurfaceLod> m_pLod;
    // Colouring by value: the colours made for m_colouredWith, remade when
    // the data, the flag or the scene's value range change.
    bool m_bColorByValue = false;
    bool m_bColorsStale = false;
    std::vector<std::uint32_t> m_valueColors;
    std::array<double, 2> m_colouredWith{0, 0};
};

// Points drawn as shaded spheres whose diameter is the point size in data
// units of the horizontal axes, or, with a pixel size, as shaded discs of that
// diameter in device-independent pixels whatever the zoom.
//
// What the renderers read (unit-cube positions, colours) is kept in draw
// order: the points sorted along a Morton curve through their box, so that
// neighbours in these arrays lie near each other on the screen from any
// view, which keeps the renderers' memory accesses local however the data
// come. DrawOrder()[k] is the index in Points() of the k-th point drawn.
class PointCloud {
public:
    void SetData(const SurfaceVertex* points, std::size_t count, double pointSize);
    void SetVisible(bool visible) { m_bVisible = visible; }
    bool IsVisible() const { return m_bVisible; }
    // As SurfaceMesh::SetColorByValue.
    void SetColorByValue(bool on);
    bool ColorByValue() const { return m_bColorByValue; }
    // Diameter in device-independent pixels, capped at kMaxPointPixels; 0
    // (also for negative or non-finite values): the data-unit size.
    void SetPixelSize(double pixels);
    double PixelSize() const { return m_dPixelSize; }
    // As SurfaceMesh::SetName.
    void SetName(std::wstring name) { m_name = std::move(name); }
    const std::wstring& Name() const { return m_name; }

    const std::vector<SurfaceVertex>& Points() const { return m_points; }
    double PointSize() const { return m_dPointSize; }
    // Valid after Scene::Prepare, all in draw order: the points' indices,
    // their positions in the unit cube and the colours drawn (the given
    // ones, or those of their values through the ramp over the scene's
    // value range).
    const std::vector<std::uint32_t>& DrawOrder() const { return m_order; }
    const std::vector<Vec3>& UnitPositions() const { return m_unit; }
    const std::vector<std::uint32_t>& DrawColors() const { return m_drawColors; }
    float UnitRadius() const { return m_fUnitRadius; }
    // Changes whenever the data, their mapping or their colours changed.
    std::uint64_t Revision() const { return m_nRevision; }

private:
    friend class Scene;
    // Remakes the positions (positions), and the colours where they are stale
    // or follow a changed value range, in draw order.
    void UpdateDerived(const Scene& scene, bool positions, const std::array<double, 2>* valueRange);

    std::vector<SurfaceVertex> m_points;
    std::vector<std::uint32_t> m_order;
    std::vector<Vec3> m_unit;
    std::vector<std::uint32_t> m_drawColors;
    double m_dPointSize = 0;
    double m_dPixelSize = 0;
    float m_fUnitRadius = 0;
    std::optional<DataBounds> m_dataBounds;
    std::array<std::uint32_t, 2> m_extremeColors{};
    std::wstring m_name;
    std::size_t m_nAdded = 0;
    bool m_bVisible = true;
    bool m_bDirty = false;
    bool m_bOrderStale = false;
    DataBounds m_mappedWith;
    std::uint64_t m_nRevision = 0;
    bool m_bColorByValue = false;
    bool m_bColorsStale = false;
    std::array<double, 2> m_colouredWith{0, 0};
};

// The diameter in output pixels of a point of `pixels` device-independent
// pixels on a target of `scale` output pixels per device-independent pixel
// (device pixel ratio times supersampling): whole pixels, at least one.
int PointDiameterPixels(double pixels, double scale);

// What the colour bar shows: the ramp from lo (bottom) to hi (top).
struct ColorScale {
    std::wstring title;
    double lo = 0;
    double hi = 0;
    // lo and hi are heights on the vertical axis (the logarithms of the
    // values while it is a log axis), not values of their own.
    bool heights = false;
};

// A legend line: a series' name, whether it is drawn as points, and its
// colours at its lowest and highest value (0x00RRGGBB) for the swatch.
struct LegendEntry {
    std::wstring name;
    bool points = false;
    std::array<std::uint32_t, 2> colors{};
    std::size_t order = 0; // the series' place among those added to the scene
};

class Scene {
public:
    static constexpr int kWaterSteps = 20; // one step = a twentieth of the vertical range

    std::shared_ptr<SurfaceMesh> AddSurface();
    std::shared_ptr<PointCloud> AddPointCloud();
    const std::vector<std::shared_ptr<SurfaceMesh>>& Surfaces() const { return m_surfaces; }
    const std::vector<std::shared_ptr<PointCloud>>& PointClouds() const { return m_pointClouds; }

    void SetAxisTitles(std::wstring x, std::wstring y, std::wstring z);
    const std::wstring& AxisTitle(int axis) const { return m_titles[axis]; }

    void SetWireFrame(bool on) { m_bWireFrame = on; }
    bool WireFrame() const { return m_bWireFrame; }

    // The water plane spans the data's X/Z extent; its height moves in steps
    // of a twentieth of the vertical range, starting at mid-height.
    void EnableWaterLevel(bool on) { m_bWater = on; }
    bool WaterLevelEnabled() const { return m_bWater; }
    void WaterLevelUp();
    void WaterLevelDown();
    int WaterLevelStep() const { return m_nWaterStep; } // 0 (bottom) .. kWaterSteps (top)
    double WaterLevelValue() const;                      // data units; after Prepare

    // The picked point, data coordinates.
    void SetMarker(std::optional<std::array<double, 3>> point) { m_marker = point; }
    const std::optional<std::array<double, 3>>& Marker() const { return m_marker; }

    // Recomputes the bounds of the visible series and the unit-cube data of
    // every series whose data or mapping changed. Renderers and picking call it.
    void Prepare();
    const DataBounds& Bounds() const { return m_bounds; }
    bool HasData() const { return m_bHasData; }
    // The range over which series coloured by value are coloured: min and max
    // of y over the finite vertices and points of every visible series that
    // colours by value; nothing when there is none. Current at any time
    // (it needs no Prepare).
    std::optional<std::array<double, 2>> ValueRange() const;

    // The colour bar: hidden, the given scale, or (the default) automatic:
    // the value range titled with the function axis's title while a visible
    // series colours by value.
    enum class ColorScaleMode { Hidden, Given, Automatic };
    void SetColorScale(ColorScaleMode mode, ColorScale scale = {});
    std::optional<ColorScale> ColorBar() const;
    // Shown while at least two series have names: the visible named ones,
    // in the order they were added.
    void SetLegendShown(bool on) { m_bLegend = on; }
    std::vector<LegendEntry> Legend() const;

    Vec3 ToUnit(double x, double y, double z) const;
    std::array<double, 3> FromUnit(Vec3 u) const;

    // How the axes are labelled (the data stay as given): a log axis holds
    // log10 of its values; labelled ticks replace or follow the numeric ones.
    struct TickLabel {
        double position;
        std::wstring text;
    };
    struct AxisTicks {
        bool log = false;
        bool only = false; // the labelled ticks alone
        std::vector<TickLabel> labels;
    };
    void SetAxisTicks(int axis, AxisTicks ticks) { m_axisTicks[axis] = std::move(ticks); }
    const AxisTicks& Ticks(int axis) const { return m_axisTicks[axis]; }

private:
    std::array<AxisTicks, 3> m_axisTicks;
    std::vector<std::shared_ptr<SurfaceMesh>> m_surfaces;
    std::vector<std::shared_ptr<PointCloud>> m_pointClouds;
    std::array<std::wstring, 3> m_titles;
    bool m_bWireFrame = false;
    bool m_bWater = false;
    int m_nWaterStep = kWaterSteps / 2;
    std::optional<std::array<double, 3>> m_marker;
    ColorScaleMode m_colorScaleMode = ColorScaleMode::Automatic;
    ColorScale m_colorScale;
    bool m_bLegend = true;
    std::size_t m_nAdded = 0;
    DataBounds m_bounds;
    bool m_bHasData = false;
    std::array<double, 3> m_scale{1, 1, 1}; // unit per data unit
};

} // namespace plot
