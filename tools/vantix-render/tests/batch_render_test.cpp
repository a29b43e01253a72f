// vantix-render: argument parsing, the choice made through the dialog's model
// (names, --fix snapping among the combinations that occur), and the tool as a
// process: the picture it writes and its failures.
#include "BatchRender.h"

#include "OrsFormat.h"
#include "PngWriter.h"
#include "platform/threads.h"

#include <QFile>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
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

std::string Sample(const char* name)
{
    return SourceDir() + "/samples/" + name;
}

BatchOptions Parse(std::vector<std::string> args)
{
    return ParseArguments(args);
}

// The exit code and the message of a parse that must fail.
std::pair<int, std::string> ParseFailure(std::vector<std::string> args)
{
    try {
        ParseArguments(args);
    } catch (const BatchError& e) {
        return {e.Code(), e.what()};
    }
    return {0, {}};
}

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ProcessResult RunTool(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(VANTIX_RENDER_EXE), args);
    process.waitForFinished(120000);
    ProcessResult r;
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = process.readAllStandardOutput().toStdString();
    r.err = process.readAllStandardError().toStdString();
    return r;
}

// A small file whose combinations of the held inputs p and q are all present
// except (p = 20, q = 1); the first record has p = 10, q = 2.
class SnapFile {
public:
    explicit SnapFile(const QTemporaryDir& dir) : m_path(dir.filePath("snap.ors").toStdWString())
    {
        ors::OrsHeader h;
        h.creator = "test";
        h.inputs = {{"Grid", "x"}, {"Grid", "y"}, {"Held", "p"}, {"Held", "q"}};
        h.functions = {"f", "g"};
        std::vector<double> x, y, p, q, f, g;
        const auto add = [&](double pv, double qv) {
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) {
                    x.push_back(i);
                    y.push_back(j * 0.5);
                    p.push_back(pv);
                    q.push_back(qv);
                    f.push_back(i + j + pv + qv);
                    g.push_back(-i);
                }
        };
        add(10, 2);
        for (double pv : {0.0, 10.0, 20.0})
            for (double qv : {0.0, 1.0, 2.0})
                if (!(pv == 20 && qv == 1) && !(pv == 10 && qv == 2))
                    add(pv, qv);
        h.recordCount = static_cast<std::uint32_t>(x.size());
        const double* in[] = {x.data(), y.data(), p.data(), q.data()};
        const double* fn[] = {f.data(), g.data()};
        ors::WriteOrsFile(m_path, h, in, fn);
    }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

BatchChoice Choose(const std::wstring& path, std::vector<std::string> extra)
{
    extra.push_back("--print-choice");
    extra.push_back(QString::fromStdWString(path).toStdString());
    const BatchOptions options = ParseArguments(extra);
    const ComPtr<IUnknown> data = LoadResults(options);
    return ResolveChoice(data.Get(), options);
}

double HeldValue(const BatchChoice& choice, const std::wstring& name)
{
    for (const auto& [n, v] : choice.fixedValues)
        if (n == name)
            return v;
    ADD_FAILURE() << "no held value for " << QString::fromStdWString(name).toStdString();
    return -1;
}

} // namespace

TEST(BatchArguments, OptionsAndTheirValues)
{
    const BatchOptions o = Parse({"--render", "out.png", "--x=Grid:x", "--y", "y", "--function", "f", "--fix",
                                  "a=b=0.25", "--fix", "q=-1e3", "--size", "640x400", "--water", "0.5",
                                  "--wireframe", "--no-legend", "--azimuth", "120", "--elevation=-10", "data.ors"});
    EXPECT_EQ(o.output, L"out.png");
    EXPECT_EQ(o.file, L"data.ors");
    EXPECT_EQ(o.inputX, L"Grid:x");
    EXPECT_EQ(o.inputY, L"y");
    EXPECT_EQ(o.function, L"f");
    ASSERT_EQ(o.fixes.size(), 2u);
    // The value follows the last '='.
    EXPECT_EQ(o.fixes[0].name, L"a=b");
    EXPECT_EQ(o.fixes[0].value, 0.25);
    EXPECT_EQ(o.fixes[1].value, -1000.0);
    EXPECT_EQ(o.size, (PictureSize{640, 400}));
    EXPECT_EQ(o.water, 0.5);
    EXPECT_TRUE(o.wireframe);
    EXPECT_FALSE(o.legend);
    EXPECT_TRUE(Parse({"--render", "o.png", "f.ors"}).legend);
    EXPECT_EQ(o.azimuth, 120.0);
    EXPECT_EQ(o.elevation, -10.0);

    const BatchOptions d = Parse({"--render", "o.png", "f.ors"});
    EXPECT_EQ(d.size, (PictureSize{1280, 800}));
    EXPECT_FALSE(d.inputX || d.inputY || d.function || d.water || d.azimuth || d.elevation);
    EXPECT_TRUE(Parse({"--print-choice", "f.ors"}).output.empty());
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
    };
    for (const auto& [args, message] : cases) {
        const auto [code, text] = ParseFailure(args);
        EXPECT_EQ(code, kExitUsage) << message;
        EXPECT_THAT(text, HasSubstr(message));
    }
}

TEST(BatchChoice, StartsLikeTheDialogOnTheFirstRecord)
{
    QTemporaryDir dir;
    const SnapFile file(dir);
    const BatchChoice c = Choose(file.Path(), {});
    EXPECT_EQ(c.nInputX, 0u);
    EXPECT_EQ(c.nInputY, 1u);
    EXPECT_EQ(c.nFunction, 0u);
    // Held inputs not named keep the first record's values: p = 10, q = 2.
    ASSERT_EQ(c.fixed.size(), 2u);
    EXPECT_EQ(HeldValue(c, L"Held:p"), 10.0);
    EXPECT_EQ(HeldValue(c, L"Held:q"), 2.0);
    EXPECT_EQ(c.fixed[0].nInput, 2u);
    EXPECT_EQ(c.fixed[0].nValue, 1u); // the index of 10 among 0, 10, 20
    EXPECT_EQ(c.fixed[1].nValue, 2u);
    EXPECT_EQ(FormatChoice(c), "x: Grid:x\ny: Grid:y\nfunction: f\nfixed: Held:p = 10\nfixed: Held:q = 2\n");
}

// Without a thread to be had, the load is done on the calling thread.
TEST(BatchRun, LoadsOnTheCallingThreadWhenNoThreadStarts)
{
    QTemporaryDir dir;
    const SnapFile file(dir);
    const BatchOptions options = ParseArguments({"--print-choice", QString::fromStdWString(file.Path()).toStdString()});
    std::thread::id loadedOn;
    const platform::ScopedThreadStartFailure noThreads;
    EXPECT_EQ(batch::Run(options, [&] {
                  loadedOn = std::this_thread::get_id();
                  return LoadOutcomeOf([&] { return LoadResults(options.file); });
              }),
              0);
    EXPECT_EQ(loadedOn, std::this_thread::get_id());
}

TEST(BatchChoice, FixSnapsToTheNearestEvaluatedValueThatOccursWithTheOthers)
{
    QTemporaryDir dir;
    const SnapFile file(dir);
    // Nearest, a tie going to the higher value, and values beyond either end.
    EXPECT_EQ(HeldValue(Choose(file.Path(), {"--fix", "p=13"}), L"Held:p"), 10.0);
    EXPECT_EQ(HeldValue(Choose(file.Path(), {"--fix", "p=15"}), L"Held:p"), 20.0);
    EXPECT_EQ(HeldValue(Choose(file.Path(), {"--fix", "p=-100"}), L"Held:p"), 0.0);
    EXPECT_EQ(HeldValue(Choose(file.Path(), {"--fix", "Held:p=1e9"}), L"Held:p"), 20.0);

    // p = 20 never occurs with q = 1: the q nearest 1.2 that does is 2.
    const BatchChoice c = Choose(file.Path(), {"--fix", "p=19", "--fix", "q=1.2"});
    EXPECT_EQ(HeldValue(c, L"Held:p"), 20.0);
    EXPECT_EQ(HeldValue(c, L"Held:q"), 2.0);
    EXPECT_EQ(c.fixed[1].nValue, 2u);
    // In the other order q = 1 is held first and p = 20 is out of reach.
    const BatchChoice d = Choose(file.Path(), {"--fix", "q=1.2", "--fix", "p=19"});
    EXPECT_EQ(HeldValue(d, L"Held:q"), 1.0);
    EXPECT_EQ(HeldValue(d, L"Held:p"), 10.0);

    // An input not named follows the record the dialog moved to: the first
    // record with p = 0 has q = 0.
    EXPECT_EQ(HeldValue(Choose(file.Path(), {"--fix", "p=0"}), L"Held:q"), 0.0);
}

TEST(BatchChoice, AxesFunctionAndNameMistakes)
{
    QTemporaryDir dir;
    const SnapFile file(dir);
    const BatchChoice c = Choose(file.Path(), {"--x", "p", "--y", "Grid:x", "--function", "g", "--fix", "y=0.4"});
    EXPECT_EQ(c.nInputX, 2u);
    EXPECT_EQ(c.nInputY, 0u);
    EXPECT_EQ(c.nFunction, 1u);
    EXPECT_EQ(HeldValue(c, L"Grid:y"), 0.5);

    const auto failure = [&](std::vector<std::string> args) -> std::string {
        try {
            Choose(file.Path(), std::move(args));
        } catch (const BatchError& e) {
            EXPECT_EQ(e.Code(), 1);
            return e.what();
        }
        return "(no error)";
    };
    EXPECT_THAT(failure({"--x", "z"}), HasSubstr("--x: unknown input \"z\"; the inputs are \"Grid:x\", \"Grid:y\", "
                                                 "\"Held:p\", \"Held:q\""));
    EXPECT_THAT(failure({"--function", "h"}), HasSubstr("unknown function \"h\"; the functions are \"f\", \"g\""));
    EXPECT_THAT(failure({"--x", "p", "--y", "Held:p"}), HasSubstr("--x and --y name the same input \"Held:p\""));
    EXPECT_THAT(failure({"--fix", "x=1"}), HasSubstr("\"Grid:x\" is on the X axis"));
    EXPECT_THAT(failure({"--fix", "q=1", "--fix", "Held:q=2"}), HasSubstr("\"Held:q\" is given twice"));
}

TEST(BatchChoice, HoldsOverRangesAndEmptySlices)
{
    QTemporaryDir dir;
    const SnapFile file(dir);
    const struct {
        std::vector<std::string> args;
        std::uint64_t records;
        const char* held;
    } cases[] = {
        {{}, 9, ""},                                                        // p = 10, q = 2
        {{"--all", "p"}, 27, "held: Held:p = all\n"},                       // q = 2
        {{"--range", "p=0:10", "--all", "Held:q"}, 54, "held: Held:p = 0:10\nheld: Held:q = all\n"},
    };
    for (const auto& c : cases) {
        const BatchChoice choice = Choose(file.Path(), c.args);
        EXPECT_EQ(choice.nRecords, c.records);
        EXPECT_THAT(FormatChoice(choice), HasSubstr(c.held));
    }
    const auto failure = [&](std::vector<std::string> args) -> std::string {
        try {
            Choose(file.Path(), std::move(args));
        } catch (const BatchError& e) {
            return e.what();
        }
        return "(no error)";
    };
    // q pinned at 1, p over 20..20: (20, 1) was never evaluated.
    EXPECT_THAT(failure({"--fix", "q=1", "--range", "p=20:20"}), HasSubstr("the chosen slice holds no records"));
    EXPECT_THAT(failure({"--range", "p=11:19"}), HasSubstr("no evaluated value lies between"));
    EXPECT_THAT(failure({"--all", "x"}), HasSubstr("\"Grid:x\" is on the X axis"));
    EXPECT_THAT(failure({"--all", "p", "--range", "p=0:1"}), HasSubstr("held twice"));

    const ProcessResult r = RunTool({"--render", dir.filePath("never.png"), "--fix", "q=1", "--range", "p=20:20",
                                     QString::fromStdWString(file.Path())});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("the chosen slice holds no records"));
    const auto [code, text] = ParseFailure({"--render", "o.png", "--aggregate", "median", "f.ors"});
    EXPECT_EQ(code, kExitUsage);
    EXPECT_THAT(text, HasSubstr("is not min, max or mean"));
    EXPECT_EQ(Parse({"--render", "o.png", "--aggregate", "mean", "--surface-from-points", "f.ors"}).aggregate,
              AggregateChoice::Mean);
    EXPECT_TRUE(Parse({"--render", "o.png", "--colour-by", "value", "f.ors"}).colorByValue);
    EXPECT_FALSE(Parse({"--render", "o.png", "--colour-by", "roughness", "f.ors"}).colorByValue);
    EXPECT_EQ(ParseFailure({"--render", "o.png", "--colour-by", "height", "f.ors"}).first, kExitUsage);
}

TEST(BatchChoice, AFileWithOneInputSaysSoInWords)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("one.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("in:a,out:f\n1,2\n3,4\n");
    file.close();
    try {
        Choose(file.fileName().toStdWString(), {});
        ADD_FAILURE() << "no error";
    } catch (const BatchError& e) {
        EXPECT_THAT(e.what(), HasSubstr("cannot be charted: it has one input, and a chart needs two"));
    }
}

// The sample's tuning surface drawn by the tool at a size ("640x400"); a null
// picture (and a failure) when the tool fails or says anything.
QImage RenderSample(const char* size)
{
    QTemporaryDir dir;
    const QString png = dir.filePath("chart.png");
    const ProcessResult r = RunTool({"--render", png, "--size", size, "--x", "LowPass:CutoffHz", "--y",
                                     "Notch:CenterHz", "--function", "RmsError", "--fix", "Damping=0.6",
                                     QString::fromStdString(Sample("filter-tuning.ors"))});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return QImage(png);
}

TEST(BatchTool, DrawsTheSampleSurfaceInItsRoughnessColours)
{
    const QImage image = RenderSample("640x400");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(640, 400));
    // The ramp runs green, yellow, red, magenta, blue; lit and antialiased
    // pixels keep their hue. Count the strongly coloured pixels of each kind.
    int green = 0, red = 0, blue = 0, white = 0;
    for (int yy = 0; yy < image.height(); ++yy)
        for (int xx = 0; xx < image.width(); ++xx) {
            const QColor c = image.pixelColor(xx, yy);
            const int r8 = c.red(), g8 = c.green(), b8 = c.blue();
            if (r8 > 250 && g8 > 250 && b8 > 250)
                ++white;
            else if (g8 > r8 + 60 && g8 > b8 + 60)
                ++green;
            else if (r8 > g8 + 60 && r8 > b8 + 60)
                ++red;
            else if (b8 > r8 + 60 && b8 > g8 + 60)
                ++blue;
        }
    const int total = image.width() * image.height();
    EXPECT_GT(white, total / 4);      // background around the chart
    EXPECT_GT(green, total / 50);     // smooth regions dominate a tuning surface
    EXPECT_GT(red + blue, total / 1000); // rough ones stand out
}

// The whole chart against a stored control picture of it: a change that
// alters what both renderers draw alike shows here. Small differences (a
// font's hinting, a rounding) pass; on failure a picture of the differences
// is written and named.
TEST(BatchTool, ChartMatchesItsControlPicture)
{
    const QImage got = RenderSample("480x320").convertToFormat(QImage::Format_RGB32);
    const QImage control =
        QImage(QString::fromStdString(SourceDir() + "/tools/vantix-render/tests/control/filter-tuning.png"))
            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(got.size(), control.size());
    QImage diff(got.size(), QImage::Format_RGB32);
    double sum = 0;
    int far = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const QRgb a = got.pixel(x, y), b = control.pixel(x, y);
            const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                    std::abs(qBlue(a) - qBlue(b))});
            sum += d;
            far += d > 48;
            diff.setPixel(x, y, qRgb(std::min(255, d * 4), 0, 0));
        }
    const double mean = sum / (got.width() * got.height());
    const double farShare = double(far) / (got.width() * got.height());
    if (mean >= 1.5 || farShare >= 0.005) {
        const QString out = QDir::temp().filePath(QStringLiteral("vantix-control-diff.png"));
        diff.save(out);
        got.save(QDir::temp().filePath(QStringLiteral("vantix-control-got.png")));
        ADD_FAILURE() << "mean difference " << mean << ", " << farShare * 100 << " % of pixels far off; see "
                      << out.toStdString();
    }
}

TEST(BatchTool, PointDataAndViewOptions)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain.png"), styled = dir.filePath("styled.png");
    const QString file = QString::fromStdString(Sample("filter-tuning.ors"));
    ASSERT_EQ(RunTool({"--render", plain, "--size", "320x240", file}).exitCode, 0);
    const ProcessResult r = RunTool({"--render", styled, "--size", "320x240", "--water", "0.2", "--wireframe",
                                     "--azimuth", "200", "--elevation", "60", file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(QImage(plain), QImage(styled));

    const QString points = dir.filePath("points.png");
    const ProcessResult p = RunTool({"--render", points, "--size", "320x240", "--x", "SpeedLoop:Kp", "--y",
                                     "CurrentLoop:Kp", QString::fromStdString(Sample("point-cloud.ors"))});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    EXPECT_EQ(QImage(points).size(), QSize(320, 240));

    // Vector formats carry the labels as text over the embedded picture.
    for (const char* name : {"chart.svg", "chart.pdf"}) {
        const QString out = dir.filePath(QString::fromLatin1(name));
        ASSERT_EQ(RunTool({"--render", out, "--size", "320x240", file}).exitCode, 0) << name;
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        const QByteArray bytes = f.readAll();
        EXPECT_TRUE(bytes.contains(out.endsWith(".svg") ? "<text" : "/FontFile")) << name;
    }
}

TEST(BatchTool, FailuresExitNonZeroWithTheirMessage)
{
    QTemporaryDir dir;
    const QString png = dir.filePath("never.png");
    const QString sample = QString::fromStdString(Sample("filter-tuning.ors"));

    ProcessResult r = RunTool({"--render", png, dir.filePath("missing.ors")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("vantix-render: The file \""));
    EXPECT_THAT(r.err, HasSubstr("missing.ors\" could not be read: No such file or directory."));

    r = RunTool({"--render", png, "--x", "Cutoff", sample});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("--x: unknown input \"Cutoff\"; the inputs are \"LowPass:CutoffHz\""));

    r = RunTool({"--render", png, "--function", "Overshoot", sample});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("unknown function \"Overshoot\"; the functions are \"RmsError\", \"PhaseLagDeg\""));

    r = RunTool({"--render", png, "--x", "Kp", QString::fromStdString(Sample("point-cloud.ors"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("the input name \"Kp\" is ambiguous (\"SpeedLoop:Kp\", \"CurrentLoop:Kp\")"));

    r = RunTool({"--render", png, "--fix", "Q=many", sample});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("--fix Q: \"many\" is not a number, and \"Notch:Q\" has no labels"));

    r = RunTool({"--render", dir.filePath("no/such/folder/x.png"), sample});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("could not write"));
    EXPECT_FALSE(QFile::exists(png));

    r = RunTool({"--print-choice", "--fix", "Q=7", sample});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("x: LowPass:CutoffHz\ny: Notch:CenterHz\nfunction: RmsError\n"));
    EXPECT_THAT(r.out, HasSubstr("fixed: Notch:Q = "));
}

TEST(BatchPng, RoundTripsExactlyInOneOrTwoParts)
{
    QTemporaryDir dir;
    std::mt19937 rng(7);
    for (const QSize size : {QSize(1, 1), QSize(67, 31), QSize(131, 200), QSize(640, 401)}) {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                // Noise in one band, flat runs elsewhere: both kinds of rows.
                image.setPixel(x, y, (y / 7) % 2 ? 0xFF000000u | (rng() & 0xFFFFFF) : 0xFF20A0F0u);
        const QString path = dir.filePath(QStringLiteral("t%1.png").arg(size.width()));
        QString error;
        ASSERT_TRUE(WritePng(image, path, &error)) << error.toStdString();
        const QImage back = QImage(path).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(back, image) << size.width() << "x" << size.height();
        // Without a thread to be had, the same file from this thread alone.
        const platform::ScopedThreadStartFailure noThreads;
        const QString alone = dir.filePath(QStringLiteral("alone%1.png").arg(size.width()));
        ASSERT_TRUE(WritePng(image, alone, &error));
        QFile a(path), b(alone);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        EXPECT_EQ(a.readAll(), b.readAll());
    }
    QString error;
    EXPECT_FALSE(WritePng(QImage(8, 8, QImage::Format_RGB32), dir.filePath("no/such/dir/x.png"), &error));
    EXPECT_EQ(error, "No such file or directory");
}

// Large files build the inputs' value indices on two threads (inputs taken in
// turns); every input must come out as a single-threaded build makes it, and a
// bad value must be reported for the first input that holds one.
TEST(BatchLoad, LargeFileIndicesAndTheFirstBadInput)
{
    QTemporaryDir dir;
    constexpr std::uint32_t n = 250000;
    ors::OrsHeader h;
    h.creator = "test";
    h.inputs = {{"S", "a"}, {"S", "b"}, {"S", "c"}, {"S", "d"}, {"S", "e"}};
    h.functions = {"f"};
    h.recordCount = n;
    std::vector<std::vector<double>> in(5, std::vector<double>(n));
    std::vector<double> f(n);
    for (std::uint32_t r = 0; r < n; ++r) {
        for (std::size_t k = 0; k < 5; ++k)
            in[k][r] = double((r * (2 * k + 3) + k) % (50 + 97 * k)) * 0.25 - 3.0;
        f[r] = r;
    }
    const auto write = [&](const QString& name) {
        const std::vector<const double*> cols = {in[0].data(), in[1].data(), in[2].data(), in[3].data(), in[4].data()};
        const double* fn[] = {f.data()};
        const std::wstring path = dir.filePath(name).toStdWString();
        ors::WriteOrsFile(path, h, cols, fn);
        return path;
    };

    const ComPtr<IUnknown> data = LoadResults(write("good.ors"));
    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataSourceEx> ex(data);
    ASSERT_TRUE(ex);
    for (ULONG k = 0; k < 5; ++k) {
        std::vector<double> distinct = in[k];
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        for (std::uint32_t r = 0; r < n; r += 997) {
            std::uint64_t index = 0;
            ASSERT_EQ(ex->GetInputValueIndex(r, k, &index), S_OK);
            const auto expected = std::lower_bound(distinct.begin(), distinct.end(), in[k][r]) - distinct.begin();
            ASSERT_EQ(index, std::uint64_t(expected)) << "input " << k << " record " << r;
        }
        double last = 0;
        EXPECT_EQ(ex->GetInputValueByIndex(distinct.size() - 1, k, &last), S_OK);
        EXPECT_EQ(last, distinct.back());
    }

    in[3][123456] = std::nan("");
    try {
        LoadResults(write("bad3.ors"));
        ADD_FAILURE() << "loaded";
    } catch (const BatchError& e) {
        EXPECT_THAT(e.what(), HasSubstr("input \"S:d\" holds a value that is not a finite number (record 123456)"));
    }
    in[2][200000] = INFINITY;
    try {
        LoadResults(write("bad23.ors"));
        ADD_FAILURE() << "loaded";
    } catch (const BatchError& e) {
        EXPECT_THAT(e.what(), HasSubstr("input \"S:c\" holds a value that is not a finite number (record 200000)"));
    }
}

// Labels, log axes, studies and the columns' roles on the command line.
TEST(BatchArguments, LabelsScalesStudiesAndRoles)
{
    const BatchOptions o = Parse({"--render", "o.png", "--log-x", "--log-z", "--study", "svm", "--inputs", "a,b",
                                  "--functions=c", "--fix", "kernel=rbf", "--fix", "k=(none)", "--fix", "c=2", "f"});
    EXPECT_EQ(o.logAxes, (std::array<bool, 3>{true, false, true}));
    EXPECT_EQ(o.study, L"svm");
    EXPECT_EQ(o.inputs, (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(o.functions, (std::vector<std::wstring>{L"c"}));
    ASSERT_EQ(o.fixes.size(), 3u);
    EXPECT_EQ(o.fixes[0].label, L"rbf");
    EXPECT_EQ(o.fixes[1].label, L"(none)");
    EXPECT_FALSE(o.fixes[2].label);
    EXPECT_EQ(o.fixes[2].value, 2.0);
    EXPECT_EQ(ParseFailure({"--render", "o.png", "--log-y=1", "f"}).first, kExitUsage);
    EXPECT_EQ(ParseFailure({"--render", "o.png", "--inputs", ",", "f"}).first, kExitUsage);
}

// --fix by label on a trials table with a text choice; a Dakota table whose
// responses have names split by --inputs/--functions, or by the printed guess.
TEST(BatchChoice, FixByLabelAndColumnRoles)
{
    QTemporaryDir dir;
    const auto write = [&](const char* name, const char* text) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    };
    const QString trials = write("trials.csv", "number,value,params_c,params_g,params_kernel,state\n"
                                               "0,0.5,1,1,rbf,COMPLETE\n1,0.6,2,1,rbf,COMPLETE\n"
                                               "2,0.7,1,2,linear,COMPLETE\n3,0.8,2,2,linear,COMPLETE\n");
    const struct {
        const char* fix;
        const wchar_t* label; // nullptr: refused
    } cases[] = {{"kernel=RB", L"rbf"}, {"kernel=linear", L"linear"}, {"kernel=poly", nullptr}};
    for (const auto& c : cases) {
        try {
            const BatchChoice choice = Choose(trials.toStdWString(), {"--fix", c.fix});
            ASSERT_TRUE(c.label) << c.fix;
            ASSERT_EQ(choice.fixedLabels.size(), 1u);
            EXPECT_EQ(choice.fixedLabels[0].second, c.label);
            EXPECT_THAT(FormatChoice(choice), HasSubstr(" = " + QString::fromWCharArray(c.label).toStdString()));
        } catch (const BatchError& e) {
            EXPECT_FALSE(c.label) << e.what();
            EXPECT_THAT(e.what(), HasSubstr("names none of the labels \"linear\", \"rbf\""));
        }
    }

    const QString named = write("named.dat", "%eval_id interface x1 x2 mass stress\n1 NO_ID 0.1 1 10 100\n"
                                             "2 NO_ID 0.2 1 11 nan\n3 NO_ID 0.1 2 12 102\n4 NO_ID 0.2 2 13 103\n");
    EXPECT_EQ(Choose(named.toStdWString(), {"--inputs", "x1,x2", "--functions", "stress"}).functionName, L"stress");
    const ProcessResult r = RunTool({"--print-choice", "--function", "stress", named});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("guessed\n  --inputs x1,x2 --functions mass,stress  (ignored: eval_id,interface)"));
    EXPECT_THAT(r.err, HasSubstr("skipped 1 failed row"));
    const ProcessResult log = RunTool({"--render", dir.filePath("x.png"), "--log-x", named});
    EXPECT_EQ(log.exitCode, 0) << log.err;
    const ProcessResult positive = RunTool({"--render", dir.filePath("x.png"), "--log-z", trials});
    EXPECT_EQ(positive.exitCode, 0) << positive.err; // every value above zero
    const QString negative = write("neg.csv", "in:a,in:b,out:f\n-1,1,2\n1,2,3\n-1,2,4\n1,1,5\n");
    const ProcessResult refused = RunTool({"--render", dir.filePath("x.png"), "--log-x", negative});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr("--log-x: the X axis holds values at or below zero"));
}
