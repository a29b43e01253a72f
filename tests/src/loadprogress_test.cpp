// Loading a large file with the progress dialog: a cancelled load shows no
// message and adds nothing, real failures keep their messages, and while the
// dialog is up the frame takes no input that could start a load or close a chart.
#include "AppTestSupport.h"

#include "Chart.h"
#include "LoadProgress.h"
#include "OrsFormat.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QToolButton>

#include <gmock/gmock.h>

using namespace vantix;
using namespace vantix::test;
using namespace IQX_VantixDataProvider;
using ::testing::HasSubstr;

namespace {

// Forwards to an inner sink (when given) after running the test's hook.
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
        h.created = "2024-01-02T03:04:05Z";
        h.inputs = {{"Big", "a"}, {"Big", "b"}, {"Big", "c"}};
        h.functions = {"f"};
        std::vector<std::vector<double>> in(3);
        std::vector<double> f;
        for (int a = 0; a < 100; ++a)
            for (int b = 0; b < 100; ++b)
                for (int c = 0; c < 40; ++c) {
                    in[0].push_back(a);
                    in[1].push_back(b * 0.5);
                    in[2].push_back(c);
                    f.push_back(a * b - c);
                }
        h.recordCount = std::uint32_t(f.size());
        m_large = ScratchFile(QStringLiteral("large.ors")).toStdWString();
        const std::vector<const double*> inputs{in[0].data(), in[1].data(), in[2].data()};
        const std::vector<const double*> functions{f.data()};
        ors::WriteOrsFile(m_large, h, inputs, functions);
    }

    // Every load gets a fresh HookedSink; the last one is kept for the checks.
    ScopedLoadProgressFactory Record(std::function<HRESULT(std::uint64_t, std::uint64_t)> hook, bool bRealDialog = false)
    {
        return ScopedLoadProgressFactory([this, hook, bRealDialog](QWidget* pOwner, const std::wstring& path) {
            m_owner = pOwner;
            m_path = path;
            m_sink = platform::MakeCom<HookedSink>();
            m_sink->hook = hook;
            if (bRealDialog)
                m_sink->inner = CreateLoadProgressDialog(pOwner, path, 0);
            return LoadProgressSinkPtr(m_sink);
        });
    }

    static HRESULT CancelAtHalf(std::uint64_t done, std::uint64_t total) { return done * 2 >= total ? E_ABORT : S_OK; }

    std::size_t FailedLoadTraces() const
    {
        std::size_t n = 0;
        for (const auto& t : snag.Traces())
            n += t.find(L"Load() failed with HRESULT = 0x80004004") != std::wstring::npos;
        return n;
    }

    std::wstring m_large;
    QWidget* m_owner = nullptr;
    std::wstring m_path;
    ComPtr<HookedSink> m_sink;
};

} // namespace

TEST_F(LoadProgressTest, CancellingShowsNoMessageAndAddsNothing)
{
    {
        // A new chart: nothing asked, and the empty window goes away.
        const auto factory = Record(CancelAtHalf);
        m_frame->OpenChartFile(m_large);
        QApplication::processEvents();
        QApplication::processEvents();
        EXPECT_TRUE(m_frame->Charts().empty());
        EXPECT_TRUE(prompts.messages.empty());
        EXPECT_TRUE(prompts.dialogs.empty());
        EXPECT_EQ(m_owner, m_frame.get());
        EXPECT_EQ(m_path, m_large);
        ASSERT_GE(m_sink->calls.size(), 3u);
        EXPECT_LT(m_sink->calls.back().first, m_sink->calls.back().second) << "cancelled before the end";
        EXPECT_EQ(FailedLoadTraces(), 1u);
    }

    CChildFrame* chart = OpenAccepted(Sample());
    ASSERT_NE(chart, nullptr);
    CChart& doc = chart->View()->Chart();
    ASSERT_EQ(doc.HistorySize(), 1u);
    {
        // Inserting: the chart keeps its one item and stays open.
        const auto factory = Record(CancelAtHalf);
        prompts.fileAnswers.push_back(m_large);
        m_frame->OnCommand(CMainFrame::ID_INSERT_DATA);
        QApplication::processEvents();
        EXPECT_EQ(doc.HistorySize(), 1u);
        EXPECT_EQ(m_frame->Charts().size(), 1u);
        EXPECT_TRUE(prompts.messages.empty());
        EXPECT_EQ(prompts.dialogs.size(), 1u); // the first load's only
    }
    {
        // Not cancelled, the same file reaches the end and then fails as before:
        // its inputs are not the chart's, which the user is told.
        const auto factory = Record(nullptr);
        prompts.fileAnswers.push_back(m_large);
        prompts.messageAnswers.push_back(IDOK);
        m_frame->OnCommand(CMainFrame::ID_INSERT_DATA);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, L"This data incompatible with some previous one.");
        EXPECT_EQ(prompts.messages[0].style, unsigned(MB_OK | MB_ICONINFORMATION));
        EXPECT_EQ(m_sink->calls.back().first, m_sink->calls.back().second);
        EXPECT_EQ(doc.HistorySize(), 1u);
    }
    EXPECT_EQ(prompts.unexpected, 0);
}

TEST_F(LoadProgressTest, TheDialogGuardsTheFrameAndItsCancelButtonStopsTheLoad)
{
    bool bChecked = false;
    QPointer<QProgressDialog> dialog;
    const auto factory = Record(
        [&](std::uint64_t, std::uint64_t) {
            auto* shown = m_frame->findChild<QProgressDialog*>();
            if (bChecked || !shown || !shown->isVisible())
                return S_OK;
            bChecked = true;
            dialog = shown;
            EXPECT_EQ(QApplication::activeModalWidget(), shown);
            EXPECT_EQ(shown->parentWidget(), m_frame.get());
            EXPECT_EQ(shown->windowModality(), Qt::WindowModal);
            EXPECT_EQ(shown->labelText(), QStringLiteral("Loading large.ors\u2026"));
            EXPECT_EQ(shown->windowTitle(), QStringLiteral("Vantix"));

            // Input to the frame is refused: neither "New Chart" from its
            // toolbar or the keyboard nor "Insert Data" reaches it.
            QWindow* frameWindow = m_frame->windowHandle();
            QToolButton* newButton = nullptr;
            for (auto* b : m_frame->findChildren<QToolButton*>())
                if (b->defaultAction() && b->defaultAction()->data().toUInt() == CMainFrame::ID_FILE_NEW)
                    newButton = b;
            EXPECT_NE(newButton, nullptr);
            if (newButton)
                QTest::mouseClick(frameWindow, Qt::LeftButton, {},
                                  newButton->mapTo(m_frame.get(), newButton->rect().center()));
            QTest::keyClick(frameWindow, Qt::Key_N, Qt::ControlModifier);
            QTest::keyClick(frameWindow, Qt::Key_Insert);
            EXPECT_TRUE(prompts.fileDialogs.empty());
            EXPECT_EQ(m_frame->Charts().size(), 1u) << "only the window being loaded";

            const auto buttons = shown->findChildren<QPushButton*>();
            EXPECT_EQ(buttons.size(), 1);
            if (!buttons.isEmpty()) {
                EXPECT_EQ(buttons[0]->text(), QStringLiteral("Cancel"));
                QTest::mouseClick(buttons[0], Qt::LeftButton);
            }
            return S_OK; // the dialog itself answers the cancel
        },
        true);
    m_frame->OpenChartFile(m_large);
    ASSERT_TRUE(bChecked) << "the dialog never showed";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // The chart has let go of the dialog; the test's sink held the last reference.
    ASSERT_FALSE(dialog.isNull());
    EXPECT_FALSE(dialog->isVisible());
    m_sink->inner = nullptr;
    EXPECT_TRUE(dialog.isNull()) << "releasing the sink deletes the dialog";
    EXPECT_LT(m_sink->calls.back().first, m_sink->calls.back().second);
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(m_frame->Charts().empty());
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.dialogs.empty());
    EXPECT_EQ(prompts.unexpected, 0);
}

TEST_F(LoadProgressTest, SmallFilesShowNoDialog)
{
    // The real dialog with its delay: a sample loads well within it.
    bool bShown = false;
    const auto factory = ScopedLoadProgressFactory([&](QWidget* pOwner, const std::wstring& path) {
        auto sink = platform::MakeCom<HookedSink>();
        sink->inner = CreateLoadProgressDialog(pOwner, path);
        sink->hook = [&](std::uint64_t, std::uint64_t) {
            const auto* dialog = m_frame->findChild<QProgressDialog*>();
            EXPECT_NE(dialog, nullptr);
            bShown = bShown || (dialog && dialog->isVisible());
            return S_OK;
        };
        return LoadProgressSinkPtr(sink);
    });
    ASSERT_NE(OpenAccepted(Sample()), nullptr);
    EXPECT_FALSE(bShown);
    EXPECT_TRUE(m_frame->findChildren<QProgressDialog*>().isEmpty());
    EXPECT_TRUE(prompts.messages.empty());
}
