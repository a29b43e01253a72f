#pragma once
// Measures the screen's DPI once per process and maps it onto one of nine scale
// steps; bitmaps, icons and toolbar images are chosen by step.
#include <boost/shared_ptr.hpp>

#include <QSize>

#include <cstdint>
#include <functional>

namespace DPIAware {

class ScaleHelper {
public:
    // Scale steps in percent of 96 DPI.
    static constexpr int kStepCount = 9;
    static constexpr int kScaleTable[kStepCount] = {100, 125, 150, 175, 200, 225, 250, 300, 350};

    // What the display answers. `library` false: no display facility at all
    // (no screen); `measured` false: a display that reports no usable DPI.
    struct Probe {
        bool library = false;
        bool measured = false;
        std::int32_t dpiX = -1;
        std::int32_t dpiY = -1;
        std::uint32_t awareness = 0;
    };
    using ProbeFunction = std::function<Probe()>;

    // The process's instance, created on first use.
    static boost::shared_ptr<ScaleHelper> GetInstance();

    // The logical DPI of the screen at (1, 1) (the nearest screen when no screen
    // covers it); no screen counts as a missing display facility.
    static Probe ProbeScreen();

    // Instances apart from GetInstance's are for tests.
    explicit ScaleHelper(const ProbeFunction& probe = &ProbeScreen);
    ScaleHelper(const ScaleHelper&) = delete;
    ScaleHelper& operator=(const ScaleHelper&) = delete;

    // value × dpiX ÷ 96, rounded; the value itself when DPI is not measured.
    int Scale(int value);
    // Writes the one-time state trace (Scale does it on first use).
    void TraceState();

    bool IsDpiMeasured() const { return m_dpiX != -1 && m_dpiY != -1; }
    std::int32_t GetDpiX() const { return m_dpiX; }
    std::int32_t GetDpiY() const { return m_dpiY; }
    std::int32_t GetStepDpiX() const { return m_stepDpiX; }
    std::int32_t GetStepDpiY() const { return m_stepDpiY; }
    std::uint32_t GetScaleStep() const { return m_nScaleStep; }
    std::uint32_t GetProcessAwareness() const { return m_nProcessAwareness; }
    bool HasLibrary() const { return m_bLibrary; }
    bool IsTraced() const { return m_bTraced; }

    // Resource id of the toolbar layout and PNG strip of the step (6001 .. 6009).
    int GetToolbarId() const { return 6001 + static_cast<int>(m_nScaleStep); }
    // Edge of a toolbar button image of the step (24 at 100 %).
    int GetToolbarImageSize() const { return 24 * kScaleTable[m_nScaleStep] / 100; }
    // Window-class icon sizes: 32 and 16 at the step's DPI.
    QSize GetLargeIconSize() const;
    QSize GetSmallIconSize() const;

    // a × b ÷ c rounded half away from zero; -1 when c is 0.
    static int MulDiv(int a, int b, int c);

private:
    std::int32_t m_dpiX = -1;
    std::int32_t m_dpiY = -1;
    std::int32_t m_stepDpiX = -1;
    std::int32_t m_stepDpiY = -1;
    std::uint32_t m_nScaleStep = 0;
    std::uint32_t m_nProcessAwareness = 0;
    bool m_bLibrary = false;
    bool m_bTraced = false;
};

} // namespace DPIAware
