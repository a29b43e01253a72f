#include "ScaleHelper.h"

#include "diagnostics/snagwise.h"

#include <QGuiApplication>
#include <QPoint>
#include <QScreen>

#include <cmath>
#include <cstdlib>
#include <atomic>
#include <mutex>

namespace DPIAware {

namespace {

// Qt scales every window to its screen by itself: the process counts as
// per-monitor aware.
constexpr std::uint32_t kPerMonitorAware = 2;

} // namespace

int ScaleHelper::MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const long long product = static_cast<long long>(a) * b;
    const long long half = std::llabs(static_cast<long long>(c)) / 2;
    const bool negative = (product < 0) != (c < 0);
    const long long magnitude = (std::llabs(product) + half) / std::llabs(static_cast<long long>(c));
    return static_cast<int>(negative ? -magnitude : magnitude);
}

boost::shared_ptr<ScaleHelper> ScaleHelper::GetInstance()
{
    // Concurrent first calls create one instance: re-checked under the lock.
    static std::mutex lock;
    static boost::shared_ptr<ScaleHelper> instance;
    static std::atomic<bool> created{false};
    if (!created.load(std::memory_order_acquire)) {
        const std::lock_guard<std::mutex> guard(lock);
        if (!created.load(std::memory_order_relaxed)) {
            instance.reset(new ScaleHelper());
            created.store(true, std::memory_order_release);
        }
    }
    return instance;
}

ScaleHelper::Probe ScaleHelper::ProbeScreen()
{
    Probe probe;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return probe;
    QScreen* screen = QGuiApplication::screenAt(QPoint(1, 1));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return probe;
    probe.library = true;
    probe.awareness = kPerMonitorAware;
    const double x = screen->logicalDotsPerInchX();
    const double y = screen->logicalDotsPerInchY();
    if (x >= 1.0 && y >= 1.0) {
        probe.measured = true;
        probe.dpiX = static_cast<std::int32_t>(std::lround(x));
        probe.dpiY = static_cast<std::int32_t>(std::lround(y));
    }
    return probe;
}

ScaleHelper::ScaleHelper(const ProbeFunction& probe)
{
    const Probe p = probe ? probe() : Probe{};
    m_bLibrary = p.library;
    if (!m_bLibrary)
        return;
    m_nProcessAwareness = p.awareness;
    if (p.measured && p.dpiX != -1 && p.dpiY != -1) {
        m_dpiX = p.dpiX;
        m_dpiY = p.dpiY;
    }
    if (!IsDpiMeasured())
        return;
    // The largest step whose percentage is not above the screen's.
    const int percent = MulDiv(m_dpiX, 100, 96);
    std::uint32_t step = kStepCount - 1;
    for (int i = 1; i < kStepCount; ++i) {
        if (percent < kScaleTable[i]) {
            step = static_cast<std::uint32_t>(i - 1);
            break;
        }
    }
    m_nScaleStep = step;
    m_stepDpiX = m_stepDpiY = kScaleTable[step] * 96 / 100;
}

void ScaleHelper::TraceState()
{
    if (m_bTraced)
        return;
    m_bTraced = true;
    if (IsDpiMeasured()) {
        SW_TRACE(L"Monitor info (x/y): %u/%u (%u/%u) DPI, scale factor %u/%u, scale seq number: %u",
                 static_cast<unsigned>(m_dpiX), static_cast<unsigned>(m_dpiY), static_cast<unsigned>(m_stepDpiX),
                 static_cast<unsigned>(m_stepDpiY), static_cast<unsigned>(MulDiv(m_dpiX, 100, 96)),
                 static_cast<unsigned>(MulDiv(m_dpiY, 100, 96)), static_cast<unsigned>(m_nScaleStep));
    } else if (!m_bLibrary) {
        SW_TRACE(L"Monitor scale info absent: Shcore.dll not found");
    } else {
        SW_TRACE(L"Monitor scale info absent: SetProcessDpiAwareness call failed. Did you use manifest instead of "
                 L"SetProcessDpiAwareness call?");
    }
}

int ScaleHelper::Scale(int value)
{
    TraceState();
    return IsDpiMeasured() ? MulDiv(value, m_dpiX, 96) : value;
}

QSize ScaleHelper::GetLargeIconSize() const
{
    if (m_stepDpiX == -1 || m_stepDpiY == -1)
        return {32, 32};
    return {32 * m_stepDpiX / 96, 32 * m_stepDpiY / 96};
}

QSize ScaleHelper::GetSmallIconSize() const
{
    if (m_stepDpiX == -1 || m_stepDpiY == -1)
        return {16, 16};
    return {16 * m_stepDpiX / 96, 16 * m_stepDpiY / 96};
}

} // namespace DPIAware
