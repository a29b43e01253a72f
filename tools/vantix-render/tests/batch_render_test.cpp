// vantix-render: argument parsing, the choice made through the dialog's model
// (names, --fix snapping among the combinations that occur), and the tool as a
// process: the picture it writes and its failures.
#include "BatchRender.h"

#include "OrsFormat.h"
#include "PngWriter.h"
#include "platform/threads.h"
#include "support/ImageDifference.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

using ::testing::HasSubstr;
using namespace batch;

namespace {

std::string SourceDir()
{
    const char* dir = std::getenv("VANTIX_SOURCE_DIR");
    return dir ? dir : ".";
}

QString Sample(const char* name)
{
    return QString::fromStdString(SourceDir() + "/samples/" + name);
}

// The exit code and the message of something that must fail.
template <class F>
std::pair<int, std::string> Failure(F&& f)
{
    try {
        f();
    } catch (const BatchError& e) {
        return {e.Code(), e.what()};
    }
    return {0, "(no error)"};
}

struct ProcessResult {
    int exitCode = -1;
    std::string out, err;
};

ProcessResult RunTool(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(VANTIX_RENDER_EXE), args);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

// A small file whose combinations of the held inputs p and q are all present
// except (p = 20, q = 1); the first record has p = 10, q = 2.
std::wstring WriteSnapFile(const QTemporaryDir& dir)
{
    ors::OrsHeader h;
    h.creator = "test";
    h.inputs = {{"Grid", "x"}, {"Grid", "y"}, {"Held", "p"}, {"Held", "q"}};
    h.functions = {"f", "g"};
    std::vector<double> x, y, p, q, f, g;
    for (const auto& [pv, qv] : {std::pair{10.0, 2.0}, {0.0, 0.0}, {0.0, 1.0}, {0.0, 2.0}, {10.0, 0.0}, {10.0, 1.0},
                                 {20.0, 0.0}, {20.0, 2.0}})
        for (int k = 0; k < 9; ++k) {
            x.push_back(k / 3);
            y.push_back(k % 3 * 0.5);
            p.push_back(pv);
            q.push_back(qv);
            f.push_back(k / 3 + k % 3 + pv + qv);
            g.push_back(-(k / 3));
        }
    h.recordCount = static_cast<std::uint32_t>(x.size());
    const double* in[] = {x.data(), y.data(), p.data(), q.data()};
    const double* fn[] = {f.data(), g.data()};
    const std::wstring path = dir.filePath("snap.ors").toStdWString();
    ors::WriteOrsFile(path, h, in, fn);
    return path;
}

BatchChoice Choose(const std::wstring& path, std::vector<std::string> args)
{
    args.insert(args.end(), {"--print-choice", QString::fromStdWString(path).toStdString()});
    const BatchOptions options = ParseArguments(args);
    const ComPtr<IUnknown> data = LoadResults(options);
    return ResolveChoice(data.Get(), options);
}

double HeldValue(const BatchChoice& choice, const std::wstring& name)
{
    for (const auto& [n, v] : choice.fixedValues)
        if (n == name)
            return v;
    return -1;
}

QString WriteText(const QTemporaryDir& dir, const char* name, const char* text)
{
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
}

} // namespace

TEST(BatchArguments, OptionsAndTheirValues)
{
    const BatchOptions o = ParseArguments({"--render", "out.png", "--x=Grid:x", "--y", "y", "--function", "f", "--fix",
                                           "a=b=0.25", "--fix", "q=-1e3", "--fix", "kernel=rbf", "--size", "640x400",
                                           "--water", "0.5", "--wireframe", "--no-legend", "--azimuth", "120",
                                           "--elevation=-10", "--log-x", "--log-z", "--study", "svm", "--inputs", "a,b",
                                           "--functions=c", "--aggregate", "mean", "--colour-by", "value", "data.ors"});
    EXPECT_EQ(std::tie(o.output, o.file, *o.inputX, *o.inputY, *o.function, o.study),
              std::tie(L"out.png", L"data.ors", L"Grid:x", L"y", L"f", L"svm"));
    ASSERT_EQ(o.fixes.size(), 3u); // the value follows the last '='
    EXPECT_EQ(std::tie(o.fixes[0].name, o.fixes[0].value, o.fixes[1].value, o.fixes[1].label, o.fixes[2].label),
              std::make_tuple(std::wstring(L"a=b"), 0.25, -1000.0, std::optional<std::wstring>(), std::optional<std::wstring>(L"rbf")));
    EXPECT_EQ(std::tie(*o.water, *o.azimuth, *o.elevation), std::make_tuple(0.5, 120.0, -10.0));
    EXPECT_EQ(std::tie(o.size, o.wireframe, o.legend, o.logAxes, o.aggregate, o.colorByValue),
              std::make_tuple(PictureSize{640, 400}, true, false, std::array<bool, 3>{true, false, true}, AggregateChoice::Mean, true));
    EXPECT_EQ(std::tie(o.inputs, o.functions), std::make_tuple(std::vector<std::wstring>{L"a", L"b"}, std::vector<std::wstring>{L"c"}));

    const BatchOptions d = ParseArguments({"--render", "o.png", "f.ors"});
    EXPECT_EQ(std::tie(d.size, d.legend), std::make_tuple(PictureSize{1280, 800}, true));
    EXPECT_FALSE(d.inputX || d.inputY || d.function || d.water || d.azimuth || d.elevation || d.colorByValue);
    EXPECT_TRUE(ParseArguments({"--print-choice", "f.ors"}).output.empty());
}

TEST(BatchArguments, MistakesAreUsageErrors)
{
    const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
        {{"f.ors"}, "--render OUT.png is missing"},
        {{"--render", "o.png"}, "no results file given"},
        {{"--render", "o.png", "a.ors", "b.ors"}, "more than one results file"},
        {{"--render", "o.png", "--fix", "x3", "f.ors"}, "\"x3\" is not NAME=VALUE"},
        {{"--render", "o.png", "--fix", "x3=1.5.2", "f.ors"}, "--fix x3: \"1.5.2\" is not a number"},
        {{"--render", "o.png", "--fix", "x3=nan", "f.ors"}, "\"nan\" is not a number"},
        {{"--render", "o.png", "--size", "1280", "f.ors"}, "--size: \"1280\" is not WIDTHxHEIGHT"},
        {{"--render", "o.png", "--size", "8x8", "f.ors"}, "between 16 and 8192"},
        {{"--render", "o.png", "--elevation", "91", "f.ors"}, "between -90 and 90"},
        {{"--render", "o.png", "--wireframe=1", "f.ors"}, "--wireframe takes no value"},
        {{"--render", "o.png", "--colour", "red", "f.ors"}, "unknown option --colour"},
        {{"--render", "o.png", "f.ors", "--x"}, "--x needs a value"},
        {{"--render", "o.png", "--aggregate", "median", "f.ors"}, "is not min, max or mean"},
        {{"--render", "o.png", "--colour-by", "height", "f.ors"}, ""},
        {{"--render", "o.png", "--log-y=1", "f"}, ""},
        {{"--render", "o.png", "--inputs", ",", "f"}, ""},
    };
    for (const auto& [args, message] : cases) {
        const auto [code, text] = Failure([&] { ParseArguments(args); });
        EXPECT_EQ(code, kExitUsage) << text;
        EXPECT_THAT(text, HasSubstr(message));
    }
}

// The dialog's start (the first record: p = 10, q = 2), --fix snapping to the
// nearest value that occurs with those held before, ranges and axes.
TEST(BatchChoice, ChosenAsTheDialogChooses)
{
    QTemporaryDir dir;
    const std::wstring file = WriteSnapFile(dir);
    const BatchChoice c = Choose(file, {});
    EXPECT_EQ(std::tie(c.nInputX, c.nInputY, c.nFunction), std::make_tuple(0u, 1u, 0u));
    ASSERT_EQ(c.fixed.size(), 2u);
    EXPECT_EQ(std::tie(c.fixed[0].nInput, c.fixed[0].nValue, c.fixed[1].nValue), std::make_tuple(2u, 1u, 2u));
    EXPECT_EQ(c.nRecords, 9u);
    EXPECT_EQ(FormatChoice(c), "x: Grid:x\ny: Grid:y\nfunction: f\nfixed: Held:p = 10\nfixed: Held:q = 2\n");

    const struct {
        std::vector<std::string> args;
        double p, q;
    } snaps[] = {
        {{"--fix", "p=13"}, 10, NAN},        // nearest
        {{"--fix", "p=15"}, 20, NAN},        // a tie goes to the higher value
        {{"--fix", "p=-100"}, 0, NAN},       // beyond either end
        {{"--fix", "Held:p=1e9"}, 20, NAN},
        {{"--fix", "p=19", "--fix", "q=1.2"}, 20, 2}, // (20, 1) never occurs: q = 2
        {{"--fix", "q=1.2", "--fix", "p=19"}, 10, 1}, // q = 1 first: p = 20 out of reach
        {{"--fix", "p=0"}, 0, 0},            // q follows the record the dialog moved to
    };
    for (const auto& s : snaps) {
        const BatchChoice choice = Choose(file, s.args);
        EXPECT_EQ(HeldValue(choice, L"Held:p"), s.p) << s.args[1];
        if (!std::isnan(s.q)) {
            EXPECT_EQ(HeldValue(choice, L"Held:q"), s.q) << s.args[1];
        }
    }
    const BatchChoice axes = Choose(file, {"--x", "p", "--y", "Grid:x", "--function", "g", "--fix", "y=0.4"});
    EXPECT_EQ(std::tie(axes.nInputX, axes.nInputY, axes.nFunction), std::make_tuple(2u, 0u, 1u));
    EXPECT_EQ(HeldValue(axes, L"Grid:y"), 0.5);
    for (const auto& [args, records, held] : {std::tuple{std::vector<std::string>{"--all", "p"}, 27u, "held: Held:p = all\n"},
                                              {{"--range", "p=0:10", "--all", "Held:q"}, 54u,
                                               "held: Held:p = 0:10\nheld: Held:q = all\n"}}) {
        const BatchChoice choice = Choose(file, args);
        EXPECT_EQ(choice.nRecords, records);
        EXPECT_THAT(FormatChoice(choice), HasSubstr(held));
    }
}

TEST(BatchChoice, MistakesSayWhatIsWrong)
{
    QTemporaryDir dir;
    const std::wstring file = WriteSnapFile(dir);
    const std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
        {{"--x", "z"}, "--x: unknown input \"z\"; the inputs are \"Grid:x\", \"Grid:y\", \"Held:p\", \"Held:q\""},
        {{"--function", "h"}, "unknown function \"h\"; the functions are \"f\", \"g\""},
        {{"--x", "p", "--y", "Held:p"}, "--x and --y name the same input \"Held:p\""},
        {{"--fix", "x=1"}, "\"Grid:x\" is on the X axis"},
        {{"--fix", "q=1", "--fix", "Held:q=2"}, "\"Held:q\" is given twice"},
        {{"--fix", "q=1", "--range", "p=20:20"}, "the chosen slice holds no records"},
        {{"--range", "p=11:19"}, "no evaluated value lies between"},
        {{"--all", "x"}, "\"Grid:x\" is on the X axis"},
        {{"--all", "p", "--range", "p=0:1"}, "held twice"},
    };
    for (const auto& [args, message] : cases) {
        const auto [code, text] = Failure([&] { Choose(file, args); });
        EXPECT_EQ(code, 1) << message;
        EXPECT_THAT(text, HasSubstr(message));
    }
    const QString one = WriteText(dir, "one.csv", "in:a,out:f\n1,2\n3,4\n");
    EXPECT_THAT(Failure([&] { Choose(one.toStdWString(), {}); }).second,
                HasSubstr("cannot be charted: it has one input, and a chart needs two"));
}

// Without a thread to be had, the load is done on the calling thread.
TEST(BatchRun, LoadsOnTheCallingThreadWhenNoThreadStarts)
{
    QTemporaryDir dir;
    const BatchOptions options = ParseArguments({"--print-choice", QString::fromStdWString(WriteSnapFile(dir)).toStdString()});
    std::thread::id loadedOn;
    const platform::ScopedThreadStartFailure noThreads;
    EXPECT_EQ(batch::Run(options, [&] {
                  loadedOn = std::this_thread::get_id();
                  return LoadOutcomeOf([&] { return LoadResults(options.file); });
              }),
              0);
    EXPECT_EQ(loadedOn, std::this_thread::get_id());
}

// The sample's tuning surface drawn by the tool at a size ("640x400"); a null
// picture (and a failure) when the tool fails or says anything.
QImage RenderSample(const char* size)
{
    QTemporaryDir dir;
    const QString png = dir.filePath("chart.png");
    const ProcessResult r = RunTool({"--render", png, "--size", size, "--x", "LowPass:CutoffHz", "--y",
                                     "Notch:CenterHz", "--function", "RmsError", "--fix", "Damping=0.6",
                                     Sample("filter-tuning.ors")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return QImage(png).convertToFormat(QImage::Format_RGB32);
}

// The whole chart against a stored control picture of it: a change that
// alters what both renderers draw alike shows here. Small differences (a
// font's hinting, a rounding) pass; on failure a picture of the differences
// is written and named.
TEST(BatchTool, ChartMatchesItsControlPicture)
{
    const QImage got = RenderSample("480x320");
    const QImage control =
        QImage(QString::fromStdString(SourceDir() + "/tools/vantix-render/tests/control/filter-tuning.png"))
            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(got.size(), control.size());
    int far = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            far += vantix::test::ChannelDifference(got.pixel(x, y), control.pixel(x, y)) > 48;
    const double mean = vantix::test::MeanDifference(got, control), farShare = double(far) / (got.width() * got.height());
    if (mean >= 1.5 || farShare >= 0.005) {
        const QString out = QDir::temp().filePath(QStringLiteral("vantix-control-diff.png"));
        vantix::test::DifferenceImage(got, control).save(out);
        got.save(QDir::temp().filePath(QStringLiteral("vantix-control-got.png")));
        ADD_FAILURE() << "mean difference " << mean << ", " << farShare * 100 << " % of pixels far off; see "
                      << out.toStdString();
    }
}

TEST(BatchTool, FailuresExitNonZeroWithTheirMessage)
{
    QTemporaryDir dir;
    const QString png = dir.filePath("never.png"), sample = Sample("filter-tuning.ors");
    const struct {
        QStringList args;
        const char* message;
    } cases[] = {
        {{dir.filePath("missing.ors")}, "missing.ors\" could not be read: No such file or directory."},
        {{"--x", "Kp", Sample("point-cloud.ors")},
         "the input name \"Kp\" is ambiguous (\"SpeedLoop:Kp\", \"CurrentLoop:Kp\")"},
        {{"--fix", "Q=many", sample}, "--fix Q: \"many\" is not a number, and \"Notch:Q\" has no labels"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = RunTool(QStringList{"--render", png} + c.args);
        EXPECT_EQ(r.exitCode, 1) << c.message;
        EXPECT_THAT(r.err, HasSubstr("vantix-render: "));
        EXPECT_THAT(r.err, HasSubstr(c.message));
    }
    const ProcessResult unwritable = RunTool({"--render", dir.filePath("no/such/folder/x.png"), sample});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_THAT(unwritable.err, HasSubstr("could not write"));
    EXPECT_FALSE(QFile::exists(png));

    const ProcessResult r = RunTool({"--print-choice", "--fix", "Q=7", sample});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("x: LowPass:CutoffHz\ny: Notch:CenterHz\nfunction: RmsError\nfixed: "));
    EXPECT_THAT(r.out, HasSubstr("fixed: Notch:Q = "));
}

TEST(BatchPng, RoundTripsExactlyInOneOrTwoParts)
{
    QTemporaryDir dir;
    std::mt19937 rng(7);
    for (const QSize size : {QSize(1, 1), QSize(67, 31), QSize(131, 200), QSize(640, 401)}) {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) // noise in one band, flat runs elsewhere: both kinds of rows
            for (int x = 0; x < size.width(); ++x)
                image.setPixel(x, y, (y / 7) % 2 ? 0xFF000000u | (rng() & 0xFFFFFF) : 0xFF20A0F0u);
        const QString path = dir.filePath("two.png"), alone = dir.filePath("alone.png");
        QString error;
        ASSERT_TRUE(WritePng(image, path, &error)) << error.toStdString();
        EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_RGB32), image) << size.width() << "x" << size.height();
        const platform::ScopedThreadStartFailure noThreads; // the same file from this thread alone
        ASSERT_TRUE(WritePng(image, alone, &error));
        QFile a(path), b(alone);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        EXPECT_EQ(a.readAll(), b.readAll());
    }
    QString error;
    EXPECT_FALSE(WritePng(QImage(8, 8, QImage::Format_RGB32), dir.filePath("no/such/dir/x.png"), &error));
    EXPECT_EQ(error, "No such file or directory");
}

// --fix by label on a trials table with a text choice; a table whose
// responses have names split by --inputs/--functions, or by the printed
// guess; log axes refused where values lie at or below zero.
TEST(BatchChoice, FixByLabelColumnRolesAndLogAxes)
{
    QTemporaryDir dir;
    const QString trials = WriteText(dir, "trials.csv", "number,value,params_c,params_g,params_kernel,state\n"
                                                        "0,0.5,1,1,rbf,COMPLETE\n1,0.6,2,1,rbf,COMPLETE\n"
                                                        "2,0.7,1,2,linear,COMPLETE\n3,0.8,2,2,linear,COMPLETE\n");
    for (const auto& [fix, label] : {std::pair{"kernel=RB", L"rbf"}, {"kernel=linear", L"linear"}}) {
        const BatchChoice choice = Choose(trials.toStdWString(), {"--fix", fix});
        ASSERT_EQ(choice.fixedLabels.size(), 1u);
        EXPECT_EQ(choice.fixedLabels[0].second, label);
        EXPECT_THAT(FormatChoice(choice), HasSubstr(" = " + QString::fromWCharArray(label).toStdString()));
    }
    EXPECT_THAT(Failure([&] { Choose(trials.toStdWString(), {"--fix", "kernel=poly"}); }).second,
                HasSubstr("names none of the labels \"linear\", \"rbf\""));

    const QString named = WriteText(dir, "named.dat", "%eval_id interface x1 x2 mass stress\n1 NO_ID 0.1 1 10 100\n"
                                                      "2 NO_ID 0.2 1 11 nan\n3 NO_ID 0.1 2 12 102\n4 NO_ID 0.2 2 13 103\n");
    EXPECT_EQ(Choose(named.toStdWString(), {"--inputs", "x1,x2", "--functions", "stress"}).functionName, L"stress");
    const ProcessResult r = RunTool({"--print-choice", "--function", "stress", named});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("guessed\n  --inputs x1,x2 --functions mass,stress  (ignored: eval_id,interface)"));
    EXPECT_THAT(r.err, HasSubstr("skipped 1 failed row"));
    const QString negative = WriteText(dir, "neg.csv", "in:a,in:b,out:f\n-1,1,2\n1,2,3\n-1,2,4\n1,1,5\n");
    for (const auto& [axis, file, error] : {std::tuple{"--log-x", named, ""}, {"--log-z", trials, ""},
                                            {"--log-x", negative, "--log-x: the X axis holds values at or below zero"}}) {
        const ProcessResult log = RunTool({"--render", dir.filePath("x.png"), axis, file});
        EXPECT_EQ(log.exitCode, *error ? 1 : 0) << axis << " " << log.err;
        EXPECT_THAT(log.err, HasSubstr(error));
    }
}
