#pragma once
// The chart's decorations, drawn with QPainter in screen space on top of (or
// under) the 3-D image: the three back walls with grid lines at the ticks,
// the axis lines with ticks, tick labels and titles on the box edges nearest
// to the viewer, and the picked-point marker. Text is always upright, so it
// stays readable from every viewpoint. While the water level is on, its
// value is written in the top-left corner, with the legend under it; the
// colour bar stands at the right edge.
#include "plot_control/Camera.h"
#include "plot_control/Scene.h"

#include <QPointF>
#include <QRectF>
#include <QString>

#include <array>
#include <optional>
#include <utility>
#include <vector>

class QPainter;

namespace plot {

// Tick positions at round numbers (steps 1, 2 or 5 times a power of ten)
// within [min, max], at most maxCount of them (and at least two when the
// range allows).
std::vector<double> NiceTicks(double min, double max, int maxCount);

// "Water level: <value>" in function units, six significant digits; empty
// while the water is off or there is nothing to flood.
QString WaterLevelCaption(const Scene& scene);

// The colour bar's labelled values over [lo, hi]: four to six round ones,
// or lo alone when the range is empty. With log, lo and hi are logarithms:
// the labels are the values of decades (or 1-2-5 steps) at their logarithms.
struct BarTick {
    double value;
    QString text;
};
std::vector<BarTick> ColorBarTicks(double lo, double hi, bool log = false);

// An axis's ticks over [min, max] (data units, log10 of the values on a log
// axis) for about maxCount of them: round numbers, decades (and 2, 5 between
// them) on a log axis, or the given labelled ticks alone or after the numbers.
// The given ticks come first: they win where labels crowd.
struct AxisTick {
    double position;
    QString text;
};
std::vector<AxisTick> AxisTickMarks(const Scene::AxisTicks& spec, double min, double max, int maxCount);

class AxisOverlay {
public:
    // vp describes the painter's coordinate system (logical pixels).
    AxisOverlay(const Scene& scene, const ViewProjection& vp);

    void DrawBackdrop(QPainter& painter) const; // before the geometry
    void DrawFront(QPainter& painter) const;    // after it

    // Where the ticks of axis 0..2 meet its labelled edge on the screen, with
    // their texts (also those a crowded view leaves unlabelled).
    std::vector<std::pair<QPointF, QString>> TickMarks(int axis) const;

    // Unit-cube coordinate of each back wall (x, floor y, z).
    const std::array<float, 3>& BackWalls() const { return m_back; }

    // The legend line under pos (painter coordinates): its series' place among
    // those added to the scene (LegendEntry::order); nothing off the legend.
    std::optional<std::size_t> LegendEntryAt(QPointF pos) const;

private:
    struct Axis {
        int axis = 0;
        Vec3 from, to;   // the labelled edge, unit cube
        Vec3 outward;    // from the box centre towards the edge
        std::vector<AxisTick> ticks;
    };
    bool Project(Vec3 p, QPointF* out) const;
    float Unit(int axis, double value) const;
    void DrawAxis(QPainter& painter, const Axis& a, std::vector<QRectF>& taken) const;
    void DrawColorBar(QPainter& painter) const;
    void DrawLegend(QPainter& painter) const;
    // Where the legend's lines go: drawing and hit-testing share it.
    struct LegendLayout {
        std::vector<LegendEntry> entries;
        std::vector<QString> names; // elided
        double top = 0, line = 0, width = 0;
        QRectF Line(std::size_t k) const;
    };
    LegendLayout LayOutLegend() const;

    const Scene& m_scene;
    const ViewProjection& m_vp;
    std::array<float, 3> m_back{};
    std::array<Axis, 3> m_axes;
};

} // namespace plot
