// Charts of a running study: opened from a database URL, read again while
// trials arrive, the slice and the camera kept, credentials kept out of
// every place the program writes.
#include "AppTestSupport.h"
#include "Chart.h"
#include "PlotControl.h"
#include "support/DbServer.h"
#include "support/OptunaSchema.h"
#include "platform/loader.h"
#include "ors_provider/IQX_VantixDataProvider.h"

#include <gmock/gmock.h>

#include <QDirIterator>
#include <QFile>

#include <sqlite3.h>

using namespace vantix;
using namespace vantix::test;
using namespace IQX_VantixDataProvider;

namespace {

class LiveStudyTest : public AppTest {
protected:
    // The chart controls made here, to look at their scenes and cameras.
    std::vector<plot::CPlotControl*> controls;
    platform::FactoryRegistration reg{plot::CLSID_PlotControl, [this](REFIID iid, void** ppv) {
                                          const HRESULT hr = plot::CreatePlotControl(iid, ppv);
                                          if (SUCCEEDED(hr))
                                              controls.push_back(static_cast<plot::CPlotControl*>(
                                                  static_cast<plot::IPlotControl*>(*ppv)));
                                          return hr;
                                      }};

    // Trial n on a grid: inputs x, y and a held input c; the value from all three.
    static std::string Trial(::test::SqlDialect d, int n, double x, double y, double c, bool finish = true)
    {
        const std::string real = R"({"name": "FloatDistribution", "attributes": {"low": 0, "high": 100, "log": false}})";
        const auto t = ::test::OptunaTrial(d, n, {{"x", x, real}, {"y", y, real}, {"c", c, real}}, {x + 10 * y + 100 * c});
        return t.start + (finish ? t.finish : std::string());
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

// A storage file named by a sqlite:/// URL: new trials that renumber the held
// input's values (a lower c arrives) keep the slice at the same c; the
// surface gains the new cells; the camera stays; the chart is never unsaved
// and Save Data writes a snapshot.
TEST_F(LiveStudyTest, NewTrialsJoinTheSliceKeptByValue)
{
    const std::string path = ScratchFile(QStringLiteral("live.db")).toStdString();
    const auto d = ::test::SqlDialect::Sqlite;
    std::string sql = ::test::OptunaSchemaSql(d);
    int n = 0;
    for (double c : {5.0, 7.0})
        for (double y : {1.0, 2.0})
            for (double x : {1.0, 2.0, 3.0})
                sql += Trial(d, n++, x, y, c);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const auto exec = [&](const std::string& text) { return sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr); };
    ASSERT_EQ(exec(sql), SQLITE_OK);

    CChildFrame* frame = OpenAccepted(L"sqlite:///" + std::wstring(path.begin(), path.end()));
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

    ReadAgain(chart); // nothing new
    EXPECT_THAT(StatusText().toStdString(), ::testing::HasSubstr("12 trials"));

    std::string more;
    for (double x : {1.0, 2.0, 3.0})
        more += Trial(d, n++, x, 1.0, 3.0); // a lower c: the held value's index moves
    for (const auto& [x, y, done] : {std::tuple{4.0, 1.0, true}, {4.0, 2.0, true}, {5.0, 1.0, true}, {5.0, 2.0, false}})
        more += Trial(d, n++, x, y, 5.0, done);
    ASSERT_EQ(exec(more), SQLITE_OK);
    ReadAgain(chart);
    EXPECT_EQ(HeldC(chart), 5.0);
    EXPECT_EQ(model.scene.Surfaces()[0]->Vertices().size(), 9u); // x = 4 joined, and x = 5 without its running trial
    EXPECT_EQ(model.camera.Yaw(), yaw);
    EXPECT_THAT(StatusText().toStdString(), ::testing::HasSubstr("19 trials"));
    EXPECT_FALSE(chart.HasUnsavedData());
    EXPECT_TRUE(chart.CanSaveData());

    // The running trial finishes: read again from the lowest unfinished one.
    ASSERT_EQ(exec("UPDATE trials SET state = 'COMPLETE' WHERE number = " + std::to_string(n - 1) +
                   "; INSERT INTO trial_values (trial_id, objective, value, value_type) SELECT trial_id, 0, 1.0, "
                   "'FINITE' FROM trials WHERE number = " + std::to_string(n - 1)),
              SQLITE_OK);
    ReadAgain(chart);
    EXPECT_EQ(model.scene.Surfaces()[0]->Vertices().size(), 10u); // the cell of x = 4 to 5 closes
    sqlite3_close(db);
}

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
    const std::string url = server->Url(false);
    CChildFrame* frame = OpenAccepted(std::wstring(url.begin(), url.end()));
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(prompts.passwordRequests.size(), 1u);
    EXPECT_THAT(prompts.passwordRequests[0], ::testing::HasSubstr(L"password"));
    CChart& chart = frame->View()->Chart();
    chart.SetFollowing(false);

    const auto holds = [&](const QString& text) { return text.contains(QString::fromStdString(password)); };
    EXPECT_FALSE(holds(frame->windowTitle()));
    m_frame->OnIdle();
    QSettings().sync();
    for (QDirIterator it(m_settings.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile f(it.next());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        EXPECT_FALSE(bytes.contains(QByteArray::fromStdString(password))) << f.fileName().toStdString();
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

// A function the study maximises shows the highest of the records sharing a
// cell; one it minimises the lowest.
TEST_F(LiveStudyTest, SharedCellsShowTheBestForTheStudysDirection)
{
    for (const char* direction : {"MINIMIZE", "MAXIMIZE"}) {
        SCOPED_TRACE(direction);
        const std::string path = ScratchFile(QString::fromLatin1(direction) + ".db").toStdString();
        const auto d = ::test::SqlDialect::Sqlite;
        std::string sql = ::test::OptunaSchemaSql(d) + "UPDATE study_directions SET direction = '" + direction + "';";
        int n = 0;
        for (double x : {1.0, 2.0})
            for (double y : {1.0, 2.0})
                sql += Trial(d, n++, x, y, 5.0);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        CChildFrame* frame = OpenAccepted(std::wstring(path.begin(), path.end()));
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->View()->Chart().Adapter().GetAggregate(), std::string(direction) == "MAXIMIZE"
                                                                      ? CChartAdapter::Aggregate::Max
                                                                      : CChartAdapter::Aggregate::Min);
        EXPECT_FALSE(frame->View()->Chart().IsFollowing()); // a storage file waits to be asked
    }
}

// Data loaded from a temporary file keep it until the program ends, then it
// goes; the file a chart was opened from stays.
TEST_F(LiveStudyTest, TemporaryFilesGoWithTheProgram)
{
    const QString temporary = ScratchFile(QStringLiteral("temporary.ors"));
    ASSERT_TRUE(QFile::copy(QString::fromStdWString(Sample()), temporary));
    CChildFrame* frame = OpenAccepted(Sample());
    ASSERT_NE(frame, nullptr);
    prompts.dialogAnswers.push_back(AcceptDialog);
    ASSERT_TRUE(frame->View()->Chart().LoadData(temporary.toStdWString(), false, true));
    prompts.messageAnswers.push_back(IDNO); // the sample's data are not saved
    m_frame->close();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(QFile::exists(temporary)); // the chart is gone, the program is not
    m_frame.reset();
    EXPECT_FALSE(QFile::exists(temporary));
    EXPECT_TRUE(QFile::exists(QString::fromStdWString(Sample())));
    m_frame = std::make_unique<CMainFrame>(); // for the fixture's tear-down
    m_frame->OnCreate();
}
