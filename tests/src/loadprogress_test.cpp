// Loading a large file with the progress dialog: a cancelled load shows no
// message and adds nothing, real failures keep their messages, and while the
// dialog is up the frame takes no input that could start a load or close a chart.
#include "AppTestSupport.h"

#include "Chart.h"
#include "LoadProgress.h"
#include "OrsFormat.h"

#include <QProgressDialog>
#include <QToolButton>

using namespace vantix;
using namespace vantix::test;
using namespace IQX_VantixDataProvider;

namespace {

// Records each report and runs the test's hook, then the inner sink (when given).
class HookedSink final : public platform::ComObject<ILoadProgressSink> {
public:
    std::function<HRESULT(std::uint64_t done, std::uint64_t total)> hook;
    LoadProgressSinkPtr inner;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;

    HRESULT OnProgress(std::uint64_t done, std::uint64_t total) override
    {
        calls.emplace_back(done, total);
        HRESULT hr = hook ? hook(done, total) : S_OK;
        if (inner && SUCCEEDED(hr))
            hr = inner->OnProgress(done, total);
        return hr;
    }
};

class LoadProgressTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        // 100 x 100 x 40 records of three inputs, several percent steps long.
        ors::OrsHeader h;
        h.creator = "test";
        h.inputs = {{"Big", "a"}, {"Big", "b"}, {"Big", "c"}};
        h.functions = {"f"};
        std::vector<double> a, b, c, f;
        for (int r = 0; r < 400000; ++r) {
            a.push_back(r / 4000), b.push_back(r / 40 % 100 * 0.5), c.push_back(r % 40);
            f.push_back(a.back() * (r / 40 % 100) - c.back());
        }
        h.recordCount = std::uint32_t(f.size());
        ors::WriteOrsFile(m_large, h, std::vector<const double*>{a.data(), b.data(), c.data()},
                          std::vector<const double*>{f.data()});
    }

    // Every load gets a fresh HookedSink, kept for the checks; it wraps the real dialog when asked.
    ScopedLoadProgressFactory Record(std::function<HRESULT(std::uint64_t, std::uint64_t)> hook, bool realDialog = false)
    {
        return ScopedLoadProgressFactory([this, hook, realDialog](QWidget* owner, const std::wstring& path) {
            EXPECT_EQ(owner, m_frame.get());
            EXPECT_EQ(path, m_large);
            m_sink = platform::MakeCom<HookedSink>();
            m_sink->hook = hook;
            if (realDialog)
                m_sink->inner = CreateLoadProgressDialog(owner, path, 0);
            return LoadProgressSinkPtr(m_sink);
        });
    }

    static HRESULT CancelAtHalf(std::uint64_t done, std::uint64_t total) { return done * 2 >= total ? E_ABORT : S_OK; }
    bool Cancelled() const { return m_sink->calls.back().first < m_sink->calls.back().second; }

    std::wstring m_large = ScratchFile(QStringLiteral("large.ors")).toStdWString();
    ComPtr<HookedSink> m_sink;
};

} // namespace

// Inserting a cancelled load: the chart keeps its one item and stays open.
TEST_F(LoadProgressTest, ACancelledInsertAddsNothing)
{
    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);

    const auto factory = Record(CancelAtHalf);
    prompts.fileAnswers.push_back(m_large);
    m_frame->OnCommand(ID_INSERT_DATA);
    QApplication::processEvents();
    EXPECT_GE(m_sink->calls.size(), 3u); // reported along the way
    EXPECT_TRUE(Cancelled());
    EXPECT_EQ(chart->View()->Chart().HistorySize(), 1u);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(prompts.unexpected, 0);
}

// A new chart's load cancelled from the dialog: no message, and the empty window goes away.
TEST_F(LoadProgressTest, TheDialogGuardsTheFrameAndItsCancelButtonStopsTheLoad)
{
    QPointer<QProgressDialog> dialog;
    const auto factory = Record(
        [&](std::uint64_t, std::uint64_t) {
            auto* shown = m_frame->findChild<QProgressDialog*>();
            if (dialog || !shown || !shown->isVisible())
                return S_OK;
            dialog = shown;
            EXPECT_EQ(QApplication::activeModalWidget(), shown);
            EXPECT_EQ(shown->labelText(), QStringLiteral("Loading large.ors\u2026"));

            // Neither "New Chart" from the toolbar or the keyboard nor "Insert Data" reaches the frame.
            QWindow* frameWindow = m_frame->windowHandle();
            for (auto* b : m_frame->findChildren<QToolButton*>())
                if (b->defaultAction() && b->defaultAction()->data().toUInt() == ID_FILE_NEW)
                    QTest::mouseClick(frameWindow, Qt::LeftButton, {}, b->mapTo(m_frame.get(), b->rect().center()));
            QTest::keyClick(frameWindow, Qt::Key_N, Qt::ControlModifier);
            QTest::keyClick(frameWindow, Qt::Key_Insert);
            EXPECT_TRUE(prompts.fileDialogs.empty());
            EXPECT_EQ(m_frame->Charts().size(), 1u) << "only the window being loaded";

            const auto buttons = shown->findChildren<QPushButton*>();
            if (!buttons.isEmpty())
                QTest::mouseClick(buttons[0], Qt::LeftButton);
            return S_OK; // the dialog itself answers the cancel
        },
        true);
    m_frame->OpenChartFile(m_large);
    ASSERT_FALSE(dialog.isNull()) << "the dialog never showed";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // The chart has let go of the dialog; the test's sink held the last reference.
    EXPECT_FALSE(dialog->isVisible());
    m_sink->inner = nullptr;
    EXPECT_TRUE(dialog.isNull()) << "releasing the sink deletes the dialog";
    EXPECT_TRUE(Cancelled());
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(m_frame->Charts().empty());
    EXPECT_TRUE(prompts.messages.empty() && prompts.dialogs.empty());
    EXPECT_EQ(prompts.unexpected, 0);
}
