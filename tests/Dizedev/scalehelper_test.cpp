// Scale steps by DPI, the one-time state trace, and the toolbar strips and
// icons rendered at build time.
#include "GdiPlusBitmap.h"
#include "ScaleHelper.h"

#include "support/FakeSnagwise.h"

#include <QGuiApplication>
#include <QScreen>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace {

using DPIAware::ScaleHelper;
using ::testing::ElementsAre;

ScaleHelper::ProbeFunction Dpi(int x, int y = -2)
{
    return [x, y] {
        ScaleHelper::Probe p;
        p.library = true;
        p.measured = true;
        p.dpiX = x;
        p.dpiY = y == -2 ? x : y;
        return p;
    };
}

struct Step {
    int dpi;
    unsigned step;
    int stepDpi;
    int toolbar;
    int image;
    int largeIcon;
    int smallIcon;
};

TEST(ScaleHelperTest, PicksTheLargestStepNotAboveTheScreen)
{
    for (const Step& s : {Step{96, 0, 96, 6001, 24, 32, 16}, Step{106, 0, 96, 6001, 24, 32, 16},
                          Step{119, 0, 96, 6001, 24, 32, 16}, Step{120, 1, 120, 6002, 30, 40, 20},
                          Step{125, 1, 120, 6002, 30, 40, 20}, Step{144, 2, 144, 6003, 36, 48, 24},
                          Step{192, 4, 192, 6005, 48, 64, 32}, Step{288, 7, 288, 6008, 72, 96, 48},
                          Step{336, 8, 336, 6009, 84, 112, 56}, Step{480, 8, 336, 6009, 84, 112, 56}}) {
        ScaleHelper h(Dpi(s.dpi));
        SCOPED_TRACE(s.dpi);
        EXPECT_TRUE(h.IsDpiMeasured());
        EXPECT_EQ(s.step, h.GetScaleStep());
        EXPECT_EQ(s.stepDpi, h.GetStepDpiX());
        EXPECT_EQ(s.stepDpi, h.GetStepDpiY());
        EXPECT_EQ(s.toolbar, h.GetToolbarId());
        EXPECT_EQ(s.image, h.GetToolbarImageSize());
        EXPECT_EQ(QSize(s.largeIcon, s.largeIcon), h.GetLargeIconSize());
        EXPECT_EQ(QSize(s.smallIcon, s.smallIcon), h.GetSmallIconSize());
    }
}

TEST(ScaleHelperTest, ScalesByTheMeasuredDpiRounded)
{
    vantix::test::FakeSnagwise snag;
    ScaleHelper h(Dpi(125));
    EXPECT_EQ(130, h.Scale(100)); // 125 / 96 = 1.302
    EXPECT_EQ(9, h.Scale(7));     // 9.11
    EXPECT_EQ(10, h.Scale(8));    // 10.42
    EXPECT_EQ(-13, h.Scale(-10));
    EXPECT_EQ(11, ScaleHelper(Dpi(144)).Scale(7)); // 10.5 rounds up
    EXPECT_THAT(snag.Traces(), ::testing::Contains(L"Monitor info (x/y): 125/125 (120/120) DPI, scale factor "
                                                   L"130/130, scale seq number: 1"));
}

TEST(ScaleHelperTest, TracesItsStateOncePerInstance)
{
    vantix::test::FakeSnagwise snag;
    ScaleHelper h(Dpi(144, 150));
    EXPECT_FALSE(h.IsTraced());
    h.Scale(1);
    h.Scale(2);
    h.TraceState();
    EXPECT_TRUE(h.IsTraced());
    EXPECT_THAT(snag.Traces(), ElementsAre(L"Monitor info (x/y): 144/150 (144/144) DPI, scale factor 150/156, "
                                           L"scale seq number: 2"));
}

TEST(ScaleHelperTest, WithoutAScreenNothingIsScaled)
{
    vantix::test::FakeSnagwise snag;
    ScaleHelper h([] { return ScaleHelper::Probe{}; });
    EXPECT_FALSE(h.HasLibrary());
    EXPECT_FALSE(h.IsDpiMeasured());
    EXPECT_EQ(-1, h.GetDpiX());
    EXPECT_EQ(0u, h.GetScaleStep());
    EXPECT_EQ(-1, h.GetStepDpiX());
    EXPECT_EQ(6001, h.GetToolbarId());
    EXPECT_EQ(QSize(32, 32), h.GetLargeIconSize());
    EXPECT_EQ(17, h.Scale(17));
    EXPECT_EQ(17, h.Scale(17));
    EXPECT_THAT(snag.Traces(), ElementsAre(L"Monitor scale info absent: Shcore.dll not found"));
}

TEST(ScaleHelperTest, AScreenWithoutDpiSaysSo)
{
    vantix::test::FakeSnagwise snag;
    ScaleHelper h([] {
        ScaleHelper::Probe p;
        p.library = true;
        p.awareness = 2;
        return p;
    });
    EXPECT_TRUE(h.HasLibrary());
    EXPECT_EQ(2u, h.GetProcessAwareness());
    EXPECT_EQ(40, h.Scale(40));
    EXPECT_THAT(snag.Traces(),
                ElementsAre(L"Monitor scale info absent: SetProcessDpiAwareness call failed. Did you use manifest "
                            L"instead of SetProcessDpiAwareness call?"));
}

TEST(ScaleHelperTest, MeasuresTheScreenAndSharesOneInstance)
{
    const ScaleHelper::Probe p = ScaleHelper::ProbeScreen();
    ASSERT_TRUE(p.library); // the offscreen screen
    EXPECT_TRUE(p.measured);
    EXPECT_EQ(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchX()), p.dpiX);

    boost::shared_ptr<ScaleHelper> seen[4];
    std::vector<std::thread> threads;
    for (auto& s : seen)
        threads.emplace_back([&s] { s = ScaleHelper::GetInstance(); });
    for (auto& t : threads)
        t.join();
    for (const auto& s : seen)
        EXPECT_EQ(seen[0].get(), s.get());
    EXPECT_EQ(p.dpiX, seen[0]->GetDpiX());
}

TEST(ToolbarImagesTest, EveryStepHasSevenButtonImagesOfItsSize)
{
    int edge = 0;
    for (int step = 0; step < ScaleHelper::kStepCount; ++step) {
        CToolbarImageList list;
        ASSERT_EQ(S_OK, LoadToolbarImageList(6001 + step, list)) << step;
        edge = 24 * ScaleHelper::kScaleTable[step] / 100;
        EXPECT_EQ(QSize(edge, edge), list.imageSize);
        ASSERT_EQ(7u, list.images.size());
        for (const QImage& image : list.images) {
            // Every picture has something drawn, and keeps a transparent margin somewhere.
            int opaque = 0, clear = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    (qAlpha(image.pixel(x, y)) > 128 ? opaque : clear) += 1;
            EXPECT_GT(opaque, edge * edge / 8);
            EXPECT_GT(clear, 0);
        }
        // Pictures differ from each other.
        for (std::size_t a = 0; a < list.images.size(); ++a)
            for (std::size_t b = a + 1; b < list.images.size(); ++b)
                EXPECT_NE(list.images[a], list.images[b]);
    }
    CToolbarImageList none;
    EXPECT_EQ(E_FAIL, LoadToolbarImageList(6010, none));
    EXPECT_TRUE(none.images.empty());
}

TEST(ToolbarImagesTest, IconGroupsHaveTheWindowClassSizes)
{
    for (int group : {128, 129}) {
        for (int step = 0; step < ScaleHelper::kStepCount; ++step) {
            ScaleHelper h(Dpi(ScaleHelper::kScaleTable[step] * 96 / 100));
            for (QSize size : {h.GetLargeIconSize(), h.GetSmallIconSize()}) {
                const QImage icon = LoadGroupIcon(group, size);
                EXPECT_EQ(size, icon.size()) << group;
            }
        }
        const QIcon icon = LoadIconGroup(group);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
        EXPECT_TRUE(icon.availableSizes().contains(QSize(256, 256)));
    }
    EXPECT_NE(LoadGroupIcon(128, {32, 32}), LoadGroupIcon(129, {32, 32}));
    EXPECT_TRUE(LoadGroupIcon(130, {32, 32}).isNull());
    EXPECT_FALSE(QImage(QStringLiteral(":/icons/vantix.png")).isNull());
    EXPECT_FALSE(QImage(QStringLiteral(":/icons/chart.png")).isNull());
}

} // namespace
