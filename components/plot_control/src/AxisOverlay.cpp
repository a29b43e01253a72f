#include "AxisOverlay.h"

#include "plot_control/ColorRamp.h"
#include "plot_control/Renderer.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace plot {

namespace {

const QColor kWall(243, 245, 248);
const QColor kFloor(236, 239, 243);
const QColor kGrid(214, 219, 226);
const QColor kWallEdge(160, 168, 179);
const QColor kAxisLine(70, 78, 90);
const QColor kLabel(55, 62, 74);
const QColor kTitle(25, 32, 42);
const QColor kMarker(208, 2, 27);

constexpr double kTickLength = 5.0;
constexpr double kLabelGap = 4.0;

QFont LabelFont()
{
    QFont f;
    f.setPixelSize(12);
    return f;
}

QFont TitleFont()
{
    QFont f;
    f.setPixelSize(14);
    f.setWeight(QFont::DemiBold);
    return f;
}

int DecimalsFor(double step)
{
    if (!(step > 0))
        return 0;
    return std::clamp(int(-std::floor(std::log10(step) + 1e-9)), 0, 10);
}

// The water level's caption in the top-left corner.
QRectF CaptionRect(const QString& caption)
{
    const QFontMetricsF metrics(LabelFont());
    return QRectF(8, 6, metrics.horizontalAdvance(caption), metrics.height());
}

constexpr double kSwatch = 12, kLegendLeft = 8;

} // namespace

std::vector<double> NiceTicks(double min, double max, int maxCount)
{
    std::vector<double> ticks;
    if (!(max > min) || !std::isfinite(min) || !std::isfinite(max))
        return ticks;
    maxCount = std::max(maxCount, 2);
    const double raw = (max - min) / maxCount;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    double m = 10;
    for (double f : {1.0, 2.0, 5.0, 10.0})
        if (f * mag >= raw * (1 - 1e-9)) {
            m = f;
            break;
        }
    const double step = m * mag;
    // k * m / 10^n is the nearest double to the decimal value; k * step is not always.
    const double invMag = mag < 1 ? std::round(1 / mag) : 0;
    const double eps = step * 1e-9;
    for (double k = std::ceil((min - eps) / step); k * step <= max + eps; k += 1) {
        const double v = invMag > 0 ? k * m / invMag : k * m * mag;
        ticks.push_back(std::fabs(v) < eps ? 0.0 : v);
    }
    return ticks;
}

std::vector<BarTick> ColorBarTicks(double lo, double hi, bool log)
{
    std::vector<BarTick> out;
    if (!std::isfinite(lo) || !std::isfinite(hi))
        return out;
    if (log) {
        for (const AxisTick& t : AxisTickMarks({true, false, {}}, lo, hi, 6))
            out.push_back({t.position, t.text});
        if (out.empty())
            out.push_back({lo, QString::number(std::pow(10.0, lo), 'g', 6)});
        return out;
    }
    if (!(hi > lo)) {
        out.push_back({lo, QString::number(lo, 'g', 6)});
        return out;
    }
    // Asking for more ticks takes the step down one of 1, 2, 5 at a time.
    std::vector<double> ticks;
    for (int count = 5; count <= 12 && ticks.size() < 4; ++count)
        ticks = NiceTicks(lo, hi, count);
    // The digits of the fine step: every other tick of 0.25, 0.30, ... is
    // 0.25, 0.35, ..., which one decimal would round to look alike.
    const int decimals = ticks.size() >= 2 ? DecimalsFor(ticks[1] - ticks[0]) : 0;
    if (ticks.size() > 6) // every other one, keeping both ends' side
        for (std::size_t k = 1; k < ticks.size(); ++k)
            ticks.erase(ticks.begin() + std::ptrdiff_t(k));
    const double mag = ticks.empty() ? 0 : std::max(std::fabs(ticks.front()), std::fabs(ticks.back()));
    for (double t : ticks)
        out.push_back({t, mag >= 1e6 || (decimals > 5 && mag < 1e-4) ? QString::number(t, 'g', 4)
                                                                     : QString::number(t, 'f', decimals)});
    return out;
}

namespace {

// Round ticks with as many decimals as their step needs.
std::vector<AxisTick> NumberTicks(double min, double max, int maxCount)
{
    const std::vector<double> values = NiceTicks(min, max, maxCount);
    std::vector<AxisTick> out;
    if (values.empty())
        return out;
    const int decimals = values.size() >= 2 ? DecimalsFor(values[1] - values[0]) : 0;
    const double mag = std::max(std::fabs(values.front()), std::fabs(values.back()));
    const bool general = mag >= 1e6 || (decimals > 5 && mag < 1e-4);
    for (double v : values)
        out.push_back({v, general ? QString::number(v, 'g', 4) : QString::number(v, 'f', decimals)});
    return out;
}

// Ticks of a log axis over positions [lo, hi] (log10 of the values).
std::vector<AxisTick> LogTicks(double lo, double hi, int maxCount)
{
    std::vector<AxisTick> out;
    if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi))
        return out;
    const double eps = (hi - lo) * 1e-9;
    const auto first = int(std::ceil(lo - eps)), last = int(std::floor(hi + eps));
    if (last - first + 1 >= 3) {
        // Every decade, or every n-th one when they would crowd.
        const int every = std::max(1, (last - first + maxCount) / std::max(maxCount, 1));
        for (int k = first; k <= last; ++k)
            if ((k - first) % every == 0)
                out.push_back({double(k), QString::number(std::pow(10.0, k), 'g', 6)});
        return out;
    }
    // Under three decades in view: 1, 2 and 5 of each.
    for (int k = int(std::floor(lo)); k <= int(std::ceil(hi)); ++k)
        for (double m : {1.0, 2.0, 5.0}) {
            const double p = k + std::log10(m);
            if (p >= lo - eps && p <= hi + eps)
                out.push_back({p, QString::number(m * std::pow(10.0, k), 'g', 6)});
        }
    if (out.size() >= 3)
        return out;
    // Narrower still: round values, placed by their logarithm.
    out.clear();
    for (const AxisTick& t : NumberTicks(std::pow(10.0, lo), std::pow(10.0, hi), maxCount))
        if (t.position > 0)
            out.push_back({std::log10(t.position), QString::number(t.position, 'g', 6)});
    return out;
}

} // namespace

std::vector<AxisTick> AxisTickMarks(const Scene::AxisTicks& spec, double min, double max, int maxCount)
{
    std::vector<AxisTick> out;
    double end = max;
    for (const Scene::TickLabel& t : spec.labels) {
        out.push_back({t.position, QString::fromStdWString(t.text)});
        end = std::min(end, t.position);
    }
    if (spec.only)
        return out;
    if (!spec.labels.empty()) // numbers stop short of the labelled ticks
        end -= (max - min) * 0.04;
    std::vector<AxisTick> numbers = spec.log ? LogTicks(min, end, maxCount) : NumberTicks(min, end, maxCount);
    out.insert(out.end(), numbers.begin(), numbers.end());
    return out;
}

QString WaterLevelCaption(const Scene& scene)
{
    if (!scene.WaterLevelEnabled() || !scene.HasData())
        return {};
    // On a log axis the level's position is the logarithm of its value.
    const double level = scene.WaterLevelValue();
    return QStringLiteral("Water level: %1")
        .arg(QString::number(scene.Ticks(1).log ? std::pow(10.0, level) : level, 'g', 6));
}

AxisOverlay::AxisOverlay(const Scene& scene, const ViewProjection& vp) : m_scene(scene), m_vp(vp)
{
    for (int k = 0; k < 3; ++k)
        m_back[k] = m_vp.eye[k] > 0 ? -0.5f : 0.5f;
    const float floorY = m_back[1];
    const float frontX = -m_back[0], frontZ = -m_back[2];

    m_axes[0].axis = 0;
    m_axes[0].from = {-0.5f, floorY, frontZ};
    m_axes[0].to = {0.5f, floorY, frontZ};
    m_axes[0].outward = {0, floorY, frontZ};
    m_axes[2].axis = 2;
    m_axes[2].from = {frontX, floorY, -0.5f};
    m_axes[2].to = {frontX, floorY, 0.5f};
    m_axes[2].outward = {frontX, floorY, 0};
    // The vertical axis goes on the leftmost vertical edge: it is always on
    // the box's outline, so its labels never cover the box.
    float bestX = 1e30f;
    Vec3 corner{-0.5f, 0, -0.5f};
    for (float cx : {-0.5f, 0.5f})
        for (float cz : {-0.5f, 0.5f}) {
            float sx, sy;
            if (m_vp.Project({cx, 0, cz}, &sx, &sy) && sx < bestX) {
                bestX = sx;
                corner = {cx, 0, cz};
            }
        }
    m_axes[1].axis = 1;
    m_axes[1].from = {corner.x, -0.5f, corner.z};
    m_axes[1].to = {corner.x, 0.5f, corner.z};
    m_axes[1].outward = {corner.x, 0, corner.z};

    const DataBounds& b = m_scene.Bounds();
    for (Axis& a : m_axes) {
        QPointF p0, p1;
        double len = 200;
        if (Project(a.from, &p0) && Project(a.to, &p1))
            len = std::hypot(p1.x() - p0.x(), p1.y() - p0.y());
        const int count = std::clamp(int(len / (a.axis == 1 ? 40.0 : 50.0)), 2, 10);
        a.ticks = AxisTickMarks(m_scene.Ticks(a.axis), b.min[a.axis], b.max[a.axis], count);
    }
}

bool AxisOverlay::Project(Vec3 p, QPointF* out) const
{
    float x, y;
    if (!m_vp.Project(p, &x, &y))
        return false;
    *out = QPointF(x, y);
    return true;
}

std::vector<std::pair<QPointF, QString>> AxisOverlay::TickMarks(int axis) const
{
    std::vector<std::pair<QPointF, QString>> out;
    const Axis& a = m_axes[std::size_t(axis)];
    for (const AxisTick& t : a.ticks) {
        Vec3 pos = a.from;
        (a.axis == 0 ? pos.x : (a.axis == 1 ? pos.y : pos.z)) = Unit(a.axis, t.position);
        QPointF s;
        if (Project(pos, &s))
            out.emplace_back(s, t.text);
    }
    return out;
}

float AxisOverlay::Unit(int axis, double value) const
{
    const DataBounds& b = m_scene.Bounds();
    return float((value - b.min[axis]) / (b.max[axis] - b.min[axis]) - 0.5);
}

void AxisOverlay::DrawBackdrop(QPainter& painter) const
{
    painter.save();
    // Walls: x = back[0] (spans y, z), z = back[2] (spans x, y), floor y = back[1] (spans x, z).
    struct Wall {
        int normal, u, v;
        QColor fill;
    };
    const Wall walls[3] = {{1, 0, 2, kFloor}, {0, 1, 2, kWall}, {2, 0, 1, kWall}};
    for (const Wall& w : walls) {
        auto point = [&](float pu, float pv) {
            float c[3];
            c[w.normal] = m_back[w.normal];
            c[w.u] = pu;
            c[w.v] = pv;
            return Vec3{c[0], c[1], c[2]};
        };
        QPolygonF poly;
        for (auto [pu, pv] : {std::pair{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}}) {
            QPointF q;
            if (!Project(point(pu, pv), &q))
                return painter.restore();
            poly << q;
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(w.fill);
        painter.drawPolygon(poly);
        painter.setPen(QPen(kGrid, 1.0));
        for (bool alongU : {true, false}) {
            const int axis = alongU ? w.u : w.v;
            for (const AxisTick& t : m_axes[axis].ticks) {
                const float c = Unit(axis, t.position);
                if (c <= -0.499f || c >= 0.499f)
                    continue; // on the wall's border
                QPointF p0, p1;
                const bool ok = alongU ? Project(point(c, -0.5f), &p0) && Project(point(c, 0.5f), &p1)
                                       : Project(point(-0.5f, c), &p0) && Project(point(0.5f, c), &p1);
                if (ok)
                    painter.drawLine(p0, p1);
            }
        }
        painter.setPen(QPen(kWallEdge, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolygon(poly);
    }
    painter.restore();
}

void AxisOverlay::DrawAxis(QPainter& painter, const Axis& a, std::vector<QRectF>& taken) const
{
    QPointF p0, p1;
    if (!Project(a.from, &p0) || !Project(a.to, &p1))
        return;
    const Vec3 mid3 = (a.from + a.to) * 0.5f;
    QPointF mid, out;
    if (!Project(mid3, &mid) || !Project(mid3 + a.outward * 0.3f, &out))
        return;
    QPointF dir = out - mid;
    const double dl = std::hypot(dir.x(), dir.y());
    if (dl < 1e-6)
        return;
    dir /= dl;

    painter.setPen(QPen(kAxisLine, 1.2));
    painter.drawLine(p0, p1);

    const QFont labelFont = LabelFont();
    const QFontMetricsF fm(labelFont);
    painter.setFont(labelFont);
    double extent = 0; // labels' reach along dir
    for (const AxisTick& t : a.ticks) {
        Vec3 pos = a.from;
        float* c = a.axis == 0 ? &pos.x : (a.axis == 1 ? &pos.y : &pos.z);
        *c = Unit(a.axis, t.position);
        if (*c < -0.501f || *c > 0.501f)
            continue; // a labelled tick outside the data's range
        QPointF s;
        if (!Project(pos, &s))
            continue;
        painter.setPen(QPen(kAxisLine, 1.0));
        painter.drawLine(s, s + dir * kTickLength);
        const QString& text = t.text;
        const QSizeF size = fm.size(Qt::TextSingleLine, text);
        const QPointF centre = s + dir * (kTickLength + kLabelGap) +
                               QPointF(dir.x() * size.width() / 2, dir.y() * size.height() / 2);
        const QRectF rect(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(),
                          size.height());
        const QRectF padded = rect.adjusted(-3, -1, 3, 1);
        if (std::any_of(taken.begin(), taken.end(), [&](const QRectF& r) { return r.intersects(padded); }))
            continue; // crowded in this view: keep every label readable
        taken.push_back(rect);
        painter.setPen(kLabel);
        painter.drawText(rect, Qt::AlignCenter, text);
        extent = std::max(extent, std::fabs(dir.x()) * size.width() + std::fabs(dir.y()) * size.height());
    }

    const QString title = QString::fromStdWString(m_scene.AxisTitle(a.axis));
    if (title.isEmpty())
        return;
    const QFont titleFont = TitleFont();
    const QFontMetricsF tm(titleFont);
    const QSizeF ts = tm.size(Qt::TextSingleLine, title);
    // Along a flat edge the title follows the edge; otherwise it stays level,
    // except on the vertical axis where it reads bottom to top.
    double angle = 0;
    if (a.axis == 1) {
        angle = -90;
    } else {
        double e = std::atan2(p1.y() - p0.y(), p1.x() - p0.x()) * 180 / std::numbers::pi;
        if (e > 90)
            e -= 180;
        if (e <= -90)
            e += 180;
        if (std::fabs(e) <= 40)
            angle = e;
    }
    const double rad = angle * std::numbers::pi / 180;
    const QPointF ax(std::cos(rad), std::sin(rad)), ay(-std::sin(rad), std::cos(rad));
    const double reach = std::fabs(dir.x() * ax.x() + dir.y() * ax.y()) * ts.width() / 2 +
                         std::fabs(dir.x() * ay.x() + dir.y() * ay.y()) * ts.height() / 2;
    const QPointF centre = mid + dir * (kTickLength + kLabelGap + extent + 8 + reach);
    painter.save();
    painter.translate(centre);
    painter.rotate(angle);
    painter.setFont(titleFont);
    painter.setPen(kTitle);
    painter.drawText(QRectF(-ts.width() / 2, -ts.height() / 2, ts.width(), ts.height()), Qt::AlignCenter, title);
    painter.restore();
}

void AxisOverlay::DrawFront(QPainter& painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    std::vector<QRectF> taken;
    // Category names first: where labels crowd, a number gives way, not a category.
    std::array<int, 3> order{1, 0, 2};
    std::stable_partition(order.begin(), order.end(), [this](int k) { return m_scene.Ticks(k).only; });
    for (int k : order)
        DrawAxis(painter, m_axes[k], taken);

    if (const auto& m = m_scene.Marker()) {
        const Vec3 u = m_scene.ToUnit((*m)[0], (*m)[1], (*m)[2]);
        QPointF s, f;
        if (Project(u, &s)) {
            if (Project({u.x, m_back[1], u.z}, &f)) {
                painter.setPen(QPen(QColor(90, 98, 110), 1.0, Qt::DashLine));
                painter.drawLine(s, f);
                painter.setPen(QPen(kMarker, 1.2));
                painter.drawLine(f + QPointF(-4, 0), f + QPointF(4, 0));
                painter.drawLine(f + QPointF(0, -3), f + QPointF(0, 3));
            }
            painter.setPen(QPen(Qt::white, 4.0));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(s, 7, 7);
            painter.setPen(QPen(kMarker, 2.0));
            painter.drawEllipse(s, 7, 7);
            painter.setPen(Qt::NoPen);
            painter.setBrush(kMarker);
            painter.drawEllipse(s, 2.2, 2.2);
        }
    }

    // Above the labels' margin, on a light patch so the data behind stays out of the way.
    if (const QString caption = WaterLevelCaption(m_scene); !caption.isEmpty()) {
        const QRectF text = CaptionRect(caption);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 200));
        painter.drawRoundedRect(text.adjusted(-4, -2, 4, 2), 3, 3);
        painter.setFont(LabelFont());
        painter.setPen(kTitle);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, caption);
    }
    DrawLegend(painter);
    DrawColorBar(painter);
    painter.restore();
}

void AxisOverlay::DrawColorBar(QPainter& painter) const
{
    const auto bar = m_scene.ColorBar();
    if (!bar)
        return;
    const std::vector<BarTick> ticks = ColorBarTicks(bar->lo, bar->hi, bar->heights && m_scene.Ticks(1).log);
    if (ticks.empty())
        return;
    const QFont labelFont = LabelFont();
    const QFontMetricsF fm(labelFont);
    double labelWidth = 0;
    for (const BarTick& t : ticks)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(t.text));
    constexpr double kStripWidth = 14, kMargin = 8;
    const double top = std::round(m_vp.height * 0.18), bottom = std::round(m_vp.height * 0.82);
    const double titleHeight = fm.height();
    const double titleX = m_vp.width - kMargin - titleHeight;
    const double labelX = titleX - 6 - labelWidth;
    const double stripX = labelX - kLabelGap - kTickLength - kStripWidth;
    if (stripX < 0 || bottom - top < 20)
        return; // no room in so small a view

    // The ramp is linear between its five corner colours.
    const QRectF strip(stripX, top, kStripWidth, bottom - top);
    QLinearGradient ramp(strip.bottomLeft(), strip.topLeft());
    for (int k = 0; k <= 4; ++k)
        ramp.setColorAt(k / 4.0, QColor::fromRgb(0xFF000000u | RampColor(k / 4.0)));
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(strip, ramp);
    painter.setPen(QPen(kWallEdge, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(strip);
    painter.setRenderHint(QPainter::Antialiasing);

    painter.setFont(labelFont);
    const double span = bar->hi > bar->lo ? bar->hi - bar->lo : 1;
    for (const BarTick& t : ticks) {
        const double y = bar->hi > bar->lo ? bottom - (t.value - bar->lo) / span * (bottom - top) : bottom;
        painter.setPen(QPen(kAxisLine, 1.0));
        painter.drawLine(QPointF(strip.right(), y), QPointF(strip.right() + kTickLength, y));
        painter.setPen(kLabel);
        painter.drawText(QRectF(labelX, y - fm.height() / 2, labelWidth, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         t.text);
    }

    // The title reads bottom to top beside the labels; a long one is elided to the view's height.
    const QString title = fm.elidedText(QString::fromStdWString(bar->title), Qt::ElideRight, m_vp.height - 2 * kMargin);
    if (title.isEmpty())
        return;
    const double w = fm.horizontalAdvance(title);
    painter.save();
    painter.translate(titleX + titleHeight / 2, (top + bottom) / 2);
    painter.rotate(-90);
    painter.setPen(kTitle);
    painter.drawText(QRectF(-w / 2, -titleHeight / 2, w, titleHeight), Qt::AlignCenter, title);
    painter.restore();
}

AxisOverlay::LegendLayout AxisOverlay::LayOutLegend() const
{
    LegendLayout l;
    l.entries = m_scene.Legend();
    if (l.entries.empty())
        return l;
    const QString caption = WaterLevelCaption(m_scene);
    l.top = caption.isEmpty() ? 6 : CaptionRect(caption).bottom() + 8; // under the caption
    const QFontMetricsF fm(LabelFont());
    l.line = std::max(fm.height(), kSwatch) + 3;
    const double maxText = std::max(60.0, m_vp.width * 0.4);
    for (const LegendEntry& e : l.entries) {
        l.names.push_back(fm.elidedText(QString::fromStdWString(e.name), Qt::ElideMiddle, maxText));
        l.width = std::max(l.width, fm.horizontalAdvance(l.names.back()));
    }
    return l;
}

QRectF AxisOverlay::LegendLayout::Line(std::size_t k) const
{
    return QRectF(kLegendLeft, top + line * double(k), kSwatch + 6 + width, line);
}

std::optional<std::size_t> AxisOverlay::LegendEntryAt(QPointF pos) const
{
    const LegendLayout l = LayOutLegend();
    for (std::size_t k = 0; k < l.entries.size(); ++k)
        if (l.Line(k).adjusted(-4, 0, 4, 0).contains(pos)) // the patch's margin counts
            return l.entries[k].order;
    return std::nullopt;
}

void AxisOverlay::DrawLegend(QPainter& painter) const
{
    const LegendLayout l = LayOutLegend();
    const std::vector<LegendEntry>& entries = l.entries;
    if (entries.empty())
        return;
    const double top = l.top, line = l.line, width = l.width;
    const std::vector<QString>& names = l.names;
    constexpr double kLeft = kLegendLeft;
    const QFont font = LabelFont();
    const QRectF box(kLeft, top, kSwatch + 6 + width, line * double(entries.size()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawRoundedRect(box.adjusted(-4, -2, 4, 2), 3, 3);
    painter.setFont(font);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const double y = top + line * double(k);
        // The swatch runs from the series' colour at its lowest value to that at its highest;
        // a disc for points, a square for a surface.
        const QRectF sw(kLeft, y + (line - kSwatch) / 2, kSwatch, kSwatch);
        QLinearGradient g(sw.bottomLeft(), sw.topRight());
        g.setColorAt(0, QColor::fromRgb(0xFF000000u | entries[k].colors[0]));
        g.setColorAt(1, QColor::fromRgb(0xFF000000u | entries[k].colors[1]));
        painter.setPen(QPen(kWallEdge, 1.0));
        painter.setBrush(g);
        if (entries[k].points)
            painter.drawEllipse(sw);
        else
            painter.drawRect(sw);
        painter.setPen(kTitle);
        painter.drawText(QRectF(kLeft + kSwatch + 6, y, width + 1, line), Qt::AlignLeft | Qt::AlignVCenter, names[k]);
    }
}

} // namespace plot
