// Scale steps by DPI, the one-time state trace, and the toolbar strips and
// icons rendered at build time.
#include "GdiPlusBitmap.h"
#include "ScaleHelper.h"

#include "support/FakeSnagwise.h"

#include <QGuiApplication>
#include <QScreen>

#include <gmock/gmock.h>

namespace {

using DPIAware::ScaleHelper;

ScaleHelper::ProbeFunction Dpi(int x, int y)
{
    return [x, y] { return ScaleHelper::Probe{true, true, x, y}; };
}

TEST(ScaleHelperTest, PicksTheLargestStepNotAboveTheScreen)
{
    const struct {
        int dpi;
        unsigned step;
        int stepDpi, largeIcon, smallIcon;
    } steps[] = {{96, 0, 96, 32, 16},   {119, 0, 96, 32, 16},   {120, 1, 120, 40, 20}, {125, 1, 120, 40, 20},
                 {144, 2, 144, 48, 24}, {192, 4, 192, 64, 32}, {288, 7, 288, 96, 48}, {336, 8, 336, 112, 56},
                 {480, 8, 336, 112, 56}};
    for (const auto& s : steps) {
        const ScaleHelper h(Dpi(s.dpi, s.dpi));
        SCOPED_TRACE(s.dpi);
        EXPECT_EQ(s.step, h.GetScaleStep());
        EXPECT_TRUE(h.GetStepDpiX() == s.stepDpi && h.GetStepDpiY() == s.stepDpi);
        EXPECT_EQ(QSize(s.largeIcon, s.largeIcon), h.GetLargeIconSize());
        EXPECT_EQ(QSize(s.smallIcon, s.smallIcon), h.GetSmallIconSize());
    }
}

// Scale rounds by the measured DPI, or leaves values alone without one; the
// state is traced once, whoever asks first.
TEST(ScaleHelperTest, ScalesAndTracesItsStateOnce)
{
    const struct {
        ScaleHelper::Probe probe;
        int in, out;
        const wchar_t* trace;
    } cases[] = {
        {{true, true, 125, 125}, 100, 130, // 1.302
         L"Monitor info (x/y): 125/125 (120/120) DPI, scale factor 130/130, scale seq number: 1"},
        {{true, true, 144, 150}, 100, 150, // by the width's DPI
         L"Monitor info (x/y): 144/150 (144/144) DPI, scale factor 150/156, scale seq number: 2"},
        {{}, 17, 17, L"Monitor scale info absent: Shcore.dll not found"},
        {{true, false, -1, -1, 2}, 40, 40,
         L"Monitor scale info absent: SetProcessDpiAwareness call failed. Did you use manifest instead of "
         L"SetProcessDpiAwareness call?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        vantix::test::FakeSnagwise snag;
        ScaleHelper h([&c] { return c.probe; });
        EXPECT_EQ(h.Scale(c.in), c.out);
        EXPECT_EQ(h.Scale(c.in), c.out);
        h.TraceState();
        EXPECT_THAT(snag.Traces(), ::testing::ElementsAre(c.trace));
    }
    ScaleHelper h(Dpi(125, 125));
    EXPECT_EQ(std::vector<int>({h.Scale(7), h.Scale(8), h.Scale(-10)}), std::vector<int>({9, 10, -13}));
    EXPECT_EQ(ScaleHelper(Dpi(144, 144)).Scale(7), 11); // 10.5 rounds up
    const ScaleHelper none([] { return ScaleHelper::Probe{}; });
    EXPECT_EQ(none.GetLargeIconSize(), QSize(32, 32));
}

TEST(ScaleHelperTest, MeasuresTheScreenAndSharesOneInstance)
{
    const ScaleHelper::Probe p = ScaleHelper::ProbeScreen();
    ASSERT_TRUE(p.library && p.measured); // the offscreen screen
    EXPECT_EQ(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchX()), p.dpiX);
    EXPECT_EQ(ScaleHelper::GetInstance().get(), ScaleHelper::GetInstance().get());
    EXPECT_EQ(p.dpiX, ScaleHelper::GetInstance()->GetDpiX());
}

// Strips and icons are rendered at build time: each step has its size, unknown ids fail.
TEST(ToolbarImagesTest, EveryStepHasSevenButtonImagesAndIconsOfItsSize)
{
    for (int step = 0; step < ScaleHelper::kStepCount; ++step) {
        CToolbarImageList list;
        ASSERT_EQ(S_OK, LoadToolbarImageList(6001 + step, list)) << step;
        const int edge = 24 * ScaleHelper::kScaleTable[step] / 100;
        EXPECT_EQ(QSize(edge, edge), list.imageSize);
        ASSERT_EQ(7u, list.images.size());
        EXPECT_NE(list.images[0], list.images[6]);
        const int dpi = ScaleHelper::kScaleTable[step] * 96 / 100;
        const ScaleHelper h(Dpi(dpi, dpi));
        for (int group : {128, 129})
            for (QSize size : {h.GetLargeIconSize(), h.GetSmallIconSize()})
                EXPECT_EQ(size, LoadGroupIcon(group, size).size()) << group;
    }
    CToolbarImageList none;
    EXPECT_EQ(E_FAIL, LoadToolbarImageList(6010, none));
    EXPECT_TRUE(none.images.empty());
    EXPECT_TRUE(LoadIconGroup(128).availableSizes().contains(QSize(256, 256)));
    EXPECT_NE(LoadGroupIcon(128, {32, 32}), LoadGroupIcon(129, {32, 32}));
    EXPECT_TRUE(LoadGroupIcon(130, {32, 32}).isNull());
}

} // namespace
