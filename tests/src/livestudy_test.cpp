// Charts of a running study: opened from a database URL, read again while
// trials arrive, the slice and the camera kept, credentials kept out of
// every place the program writes.
#include "AppTestSupport.h"
#include "ControlSpy.h"
#include "Chart.h"
#include "InputConfigDlg.h"
#include "ServerChoice.h"
#include "PlotControl.h"
#include "support/DbServer.h"
#include "support/OptunaSchema.h"
#include "platform/loader.h"
#include "ors_provider/IQX_VantixDataProvider.h"

#include <gmock/gmock.h>

#include <QDirIterator>
#include <QFile>

using namespace vantix;
using namespace vantix::test;
using namespace IQX_VantixDataProvider;

namespace {

class LiveStudyTest : public AppTest {
protected:
    ControlSpy spy;
    std::vector<plot::CPlotControl*>& controls = spy.controls;

    // Trial n on a grid: inputs x, y and a held input c; the value from all three.
    static std::string Trial(::test::SqlDialect d, int n, double x, double y, double c)
    {
        const std::string real = R"({"name": "FloatDistribution", "attributes": {"low": 0, "high": 100, "log": false}})";
        const auto t = ::test::OptunaTrial(d, n, {{"x", x, real}, {"y", y, real}, {"c", c, real}}, {x + 10 * y + 100 * c});
        return t.start + t.finish;
    }
    // Reads the study again and waits for the answer, as the timer would.
    void ReadAgain(CChart& chart)
    {
        ASSERT_TRUE(chart.RefreshStudy());
        QTRY_VERIFY_WITH_TIMEOUT(!chart.IsReadingStudy(), 20000);
        QApplication::processEvents();
    }
    // The value of the held input c in slice k of the chart.
    static double HeldC(const CChart& chart)
    {
        const CDataTransformer& slice = chart.HistorySlice(0);
        EXPECT_EQ(slice.m_Fixed.size(), 1u);
        ComPtr<IOptimizationResultsDataSourceEx> ex;
        ex.TryQueryFrom(slice.Source());
        double v = -1;
        EXPECT_EQ(slice.m_Fixed[0].nSpan, 0u);
        ex->GetInputValueByIndex(slice.m_Fixed[0].nValue, slice.m_Fixed[0].nInput, &v);
        return v;
    }
};

} // namespace

class LiveStudyHomeTest : public LiveStudyTest, public ::testing::WithParamInterface<::test::StudyHome::Kind> {
protected:
    void SetUp() override
    {
        LiveStudyTest::SetUp();
        std::string why;
        if (!home.Start(GetParam(), ScratchFile(QStringLiteral("live.db")).toStdString(), &why))
            GTEST_SKIP() << why;
    }
    ::test::StudyHome home;
};

// On every kind of home: new trials that renumber the held input's values (a
// lower c arrives) keep the slice at the same c; the surface gains the new
// cells; the camera stays; the chart is never unsaved and Save Data writes a
// snapshot.
TEST_P(LiveStudyHomeTest, NewTrialsJoinTheSliceKeptByValue)
{
    const auto d = home.dialect;
    std::string sql, why;
    int n = 0;
    for (double c : {5.0, 7.0})
        for (double y : {1.0, 2.0})
            for (double x : {1.0, 2.0, 3.0})
                sql += Trial(d, n++, x, y, c);
    ASSERT_TRUE(home.Exec(sql, &why)) << why;

    CChildFrame* frame = OpenAccepted(QString::fromStdString(home.Url()).toStdWString());
    ASSERT_NE(frame, nullptr);
    CChart& chart = frame->View()->Chart();
    ASSERT_TRUE(chart.CanFollow());
    EXPECT_TRUE(chart.IsFollowing()); // a database is opened to watch it
    chart.SetFollowing(false);        // the test triggers the reads
    EXPECT_EQ(HeldC(chart), 5.0);
    plot::ChartModel& model = controls.back()->Model();
    EXPECT_EQ(model.scene.Surfaces()[0]->Vertices().size(), 6u);
    model.camera.SetOrientation(model.camera.Yaw() + 33, 21);
    const double yaw = model.camera.Yaw();

    std::string more;
    for (double x : {1.0, 2.0, 3.0})
        more += Trial(d, n++, x, 1.0, 3.0); // a lower c: the held value's index moves
    for (const auto& [x, y] : {std::pair{4.0, 1.0}, {4.0, 2.0}, {5.0, 1.0}})
        more += Trial(d, n++, x, y, 5.0);
    ASSERT_TRUE(home.Exec(more, &why)) << why;
    ReadAgain(chart);
    EXPECT_EQ(HeldC(chart), 5.0);
    EXPECT_EQ(model.scene.Surfaces()[0]->Vertices().size(), 9u); // x = 4 and (5, 1) joined
    EXPECT_EQ(model.camera.Yaw(), yaw);
    EXPECT_THAT(StatusText().toStdString(), ::testing::HasSubstr("18 trials"));
    EXPECT_FALSE(chart.HasUnsavedData());
    EXPECT_TRUE(chart.CanSaveData());
}

// A study above the memory budget: the dialog's reachability and the slice
// count come from the server, the chart's slice is the server's, and both
// equal what a full load shows.
TEST_P(LiveStudyHomeTest, AStudyAboveTheBudgetIsSlicedByItsServer)
{
    std::string sql, why;
    int n = 0;
    for (double c : {5.0, 7.0})
        for (double y : {1.0, 2.0})
            for (double x : {1.0, 2.0, 3.0})
                if (c == 5.0 || x < 3.0) // x = 3 is not reachable at c = 7
                    sql += Trial(home.dialect, n++, x, y, c);
    ASSERT_TRUE(home.Exec(sql, &why)) << why;
    struct Seen {
        std::vector<bool> reachableX;
        std::uint64_t count = 0;
        bool server = false;
    } full, sliced;
    const auto open = [&](std::uint64_t budget, auto& seen) {
        SetStudyBudget(budget);
        CChildFrame* frame = OpenAccepted(QString::fromStdString(home.Url()).toStdWString(), [&seen](QDialog& dialog) {
            auto& dlg = dynamic_cast<CInputConfigDlg&>(dialog);
            double c = 7;
            EXPECT_TRUE(dlg.ChangeValue(2, CInputConfigModel::kTypedNumber, &c));
            dlg.SetFixed(2, true);
            for (std::size_t pos = 0; pos < dlg.Input(0).values.size(); ++pos)
                seen.reachableX.push_back(dlg.IsReachable(0, pos));
            dlg.SetFixed(2, false);
            seen.count = dlg.CountSliceRecords();
            seen.server = dlg.AsksServer();
            return IDOK;
        });
        EXPECT_NE(frame, nullptr);
        frame->View()->Chart().SetFollowing(false);
        return frame;
    };
    CChildFrame* fullFrame = open(0, full);
    CChildFrame* serverFrame = open(1, sliced);
    ASSERT_TRUE(fullFrame && serverFrame);
    EXPECT_TRUE(sliced.server && !full.server);
    EXPECT_EQ(std::tie(sliced.reachableX, sliced.count), std::tie(full.reachableX, full.count));
    EXPECT_EQ(std::tie(full.reachableX, full.count), std::tuple(std::vector<bool>{true, true, false}, 4u));
    CChart& chart = serverFrame->View()->Chart();
    EXPECT_EQ(HeldC(chart), 7.0);
    ULONG records = 0;
    ComPtr<IOptimizationResultsDataSource>(chart.HistorySlice(0).Source())->GetRecordCount(&records);
    EXPECT_EQ(records, 4u); // only the slice came over
    EXPECT_EQ(controls[1]->Model().scene.Surfaces()[0]->Vertices().size(),
              controls[0]->Model().scene.Surfaces()[0]->Vertices().size());
}

INSTANTIATE_TEST_SUITE_P(Homes, LiveStudyHomeTest,
                         ::testing::Values(::test::StudyHome::Postgres, ::test::StudyHome::MariaDb,
                                           ::test::StudyHome::Sqlite),
                         [](const auto& info) { return std::string(::test::StudyHome::kNames[info.param]); });

// A server that wants a password: asked once, used, and found nowhere the
// program writes (settings, recent files, window title, traces). The server
// going away is said in the status bar with the chart kept; it comes back.
TEST_F(LiveStudyTest, PasswordAskedNeverStoredAndTheServerMayGoAway)
{
    std::string why;
    const auto server = ::test::DbServer::Start(::test::DbServer::Kind::Postgres, &why);
    if (!server)
        GTEST_SKIP() << why;
    const auto d = ::test::SqlDialect::Postgres;
    std::string sql = ::test::OptunaSchemaSql(d);
    int n = 0;
    for (double y : {1.0, 2.0})
        for (double x : {1.0, 2.0})
            sql += Trial(d, n++, x, y, 5.0);
    ASSERT_TRUE(server->Exec(sql, &why)) << why;
    const std::string password = ::test::DbServer::kPassword;
    prompts.passwordAnswers.push_back(std::wstring(password.begin(), password.end()));
    CChildFrame* frame = OpenAccepted(QString::fromStdString(server->Url(false)).toStdWString());
    ASSERT_NE(frame, nullptr);
    EXPECT_THAT(prompts.passwordRequests, ::testing::ElementsAre(::testing::HasSubstr(L"password")));
    CChart& chart = frame->View()->Chart();
    chart.SetFollowing(false);

    const auto holds = [&](const QString& text) { return text.contains(QString::fromStdString(password)); };
    EXPECT_FALSE(holds(frame->windowTitle()));
    m_frame->OnIdle();
    QSettings().sync();
    for (QDirIterator it(m_settings.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile f(it.next());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_FALSE(f.readAll().contains(QByteArray::fromStdString(password))) << f.fileName().toStdString();
    }
    for (const auto& record : snag.Records())
        for (const auto& key : record.Keys())
            EXPECT_FALSE(holds(QString::fromStdWString(record.String(key))));

    ASSERT_TRUE(server->Stop());
    ReadAgain(chart);
    EXPECT_THAT(StatusText().toStdString(), ::testing::HasSubstr("cannot be read now"));
    EXPECT_FALSE(holds(StatusText()));
    EXPECT_EQ(controls.back()->Model().scene.Surfaces()[0]->Vertices().size(), 4u); // what it showed stays
    ASSERT_TRUE(server->Resume());
    const std::string later = Trial(d, n, 3.0, 1.0, 5.0) + Trial(d, n + 1, 3.0, 2.0, 5.0);
    ASSERT_TRUE(server->Exec(later, &why)) << why;
    ReadAgain(chart);
    EXPECT_THAT(StatusText().toStdString(), ::testing::HasSubstr("6 trials"));
    EXPECT_EQ(controls.back()->Model().scene.Surfaces()[0]->Vertices().size(), 6u);
}
