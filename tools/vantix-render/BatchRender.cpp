#include "BatchRender.h"

#include "ChartAdapter.h"
#include "InputConfigModel.h"
#include "PngWriter.h"

#include "PlotControl.h"
#include "platform/errorinfo.h"
#include "platform/loader.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QWidget>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

using namespace IQX_VantixDataProvider;

namespace batch {

namespace {

std::wstring Wide(const std::string& text)
{
    return QString::fromLocal8Bit(text).toStdWString();
}

std::string Narrow(const std::wstring& text)
{
    return QString::fromStdWString(text).toLocal8Bit().toStdString();
}

std::string Quoted(const std::wstring& text)
{
    return "\"" + Narrow(text) + "\"";
}

[[noreturn]] void UsageError(const std::string& message)
{
    throw BatchError(message + " (see --help)", kExitUsage);
}

// Command-line numbers are read the same in every locale.
double ParseNumber(const std::string& text, const std::string& what)
{
    double value = 0.0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (text.empty() || ec != std::errc() || end != last || !std::isfinite(value))
        UsageError(what + ": \"" + text + "\" is not a number");
    return value;
}

QSize ParseSize(const std::string& text)
{
    const auto x = text.find('x');
    int w = 0, h = 0;
    const char* first = text.data();
    const char* mid = first + (x == std::string::npos ? text.size() : x);
    const char* last = first + text.size();
    const bool ok = x != std::string::npos && std::from_chars(first, mid, w).ptr == mid &&
                    std::from_chars(mid + 1, last, h).ptr == last && mid != first && mid + 1 != last;
    // The rasterizer's buffers are sized by the picture; keep them reasonable.
    if (!ok || w < 16 || h < 16 || w > 8192 || h > 8192)
        UsageError("--size: \"" + text + "\" is not WIDTHxHEIGHT with each between 16 and 8192");
    return {w, h};
}

// Index in the model of the input a command-line name means: its full name
// ("signal:name") exactly, else the input name after the signal when exactly
// one input has it.
std::size_t FindInput(const CInputConfigModel& model, const std::wstring& name, const char* option)
{
    const auto& inputs = model.m_Inputs;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (inputs[i].name == name)
            return i;
    std::vector<std::size_t> hits;
    const std::wstring suffix = L":" + name;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::wstring& full = inputs[i].name;
        if (full.size() > suffix.size() && full.compare(full.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            full.find(L':') == full.size() - suffix.size())
            hits.push_back(i);
    }
    if (hits.size() == 1)
        return hits.front();
    std::string list;
    for (std::size_t i = 0; i < (hits.empty() ? inputs.size() : hits.size()); ++i)
        list += (i ? ", " : "") + Quoted(inputs[hits.empty() ? i : hits[i]].name);
    if (hits.empty())
        throw BatchError(std::string(option) + ": unknown input " + Quoted(name) + "; the inputs are " + list);
    throw BatchError(std::string(option) + ": the input name " + Quoted(name) + " is ambiguous (" + list +
                     "); give the full name");
}

std::string ErrorDescription(IUnknown* pObject, REFIID iid)
{
    ComPtr<platform::ISupportErrorInfo> spSupport;
    if (FAILED(spSupport.TryQueryFrom(pObject)) || !spSupport || spSupport->InterfaceSupportsErrorInfo(iid) != S_OK)
        return {};
    platform::IErrorInfo* pInfo = nullptr;
    if (platform::GetErrorInfo(0, &pInfo) != S_OK || !pInfo)
        return {};
    auto spInfo = ComPtr<platform::IErrorInfo>::Attach(pInfo);
    std::wstring text;
    spInfo->GetDescription(&text);
    return Narrow(text);
}

std::string Hex(HRESULT hr)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

class StageClock {
public:
    explicit StageClock(bool enabled) : m_bEnabled(enabled) {}
    void Mark(const char* stage)
    {
        if (!m_bEnabled)
            return;
        const auto now = std::chrono::steady_clock::now();
        m_Text += std::string(m_Text.empty() ? "" : ", ") + stage + " " +
                  std::to_string(std::chrono::duration<double, std::milli>(now - m_Last).count()).substr(0, 6) + " ms";
        m_Last = now;
    }
    // A stage timed elsewhere (on the loading thread).
    void Note(const char* stage, double ms)
    {
        if (m_bEnabled)
            m_Text += std::string(m_Text.empty() ? "" : ", ") + "[" + stage + " " + std::to_string(ms).substr(0, 6) + " ms]";
    }
    ~StageClock() { Print(); }
    void Print()
    {
        if (m_bEnabled && !m_Text.empty())
            std::fprintf(stderr, "vantix-render: stages: %s\n", m_Text.c_str());
        m_Text.clear();
    }

private:
    bool m_bEnabled;
    std::string m_Text;
    std::chrono::steady_clock::time_point m_Last = std::chrono::steady_clock::now();
};

} // namespace

const char* UsageText()
{
    return "usage: vantix-render --render OUT.png [options] FILE\n"
           "Draws the chart a Vantix window shows for one choice of axes, function and\n"
           "held inputs into a PNG file, without a display.\n"
           "\n"
           "  --render OUT.png     the picture to write\n"
           "  --x NAME             input on the X axis (default: the first input)\n"
           "  --y NAME             input on the Y axis (default: the second input)\n"
           "  --function NAME      function giving the height (default: the first)\n"
           "  --fix NAME=VALUE     hold an input at the evaluated value nearest VALUE\n"
           "                       (repeatable; other inputs keep the first record's values)\n"
           "  --size WxH           picture size in pixels (default 1280x800)\n"
           "  --water LEVEL        show the water plane at the step nearest LEVEL\n"
           "                       (function units; steps are twentieths of the height range)\n"
           "  --wireframe          draw the surface as a wireframe\n"
           "  --azimuth DEG        camera angle about the vertical axis (default 38)\n"
           "  --elevation DEG      camera angle above the horizon (default 26)\n"
           "  --print-choice       print the resolved axes, function and held values\n"
           "  --timings            print the time of each stage to stderr\n"
           "  -h, --help           this text\n"
           "\n"
           "NAME is an input's full name (signal:name), or its name alone when no other\n"
           "input has that name. Exit codes: 0 written, 1 a file, name or value could\n"
           "not be used, 2 bad arguments.\n";
}

BatchOptions ParseArguments(const std::vector<std::string>& args)
{
    BatchOptions o;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg.resize(eq);
                hasValue = true;
            }
        }
        const auto next = [&]() -> std::string {
            if (hasValue)
                return value;
            if (i + 1 >= args.size())
                UsageError(arg + " needs a value");
            return args[++i];
        };
        const auto flag = [&]() {
            if (hasValue)
                UsageError(arg + " takes no value");
        };
        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "--render") {
            o.output = Wide(next());
            if (o.output.empty())
                UsageError("--render needs a file name");
        } else if (arg == "--x") {
            o.inputX = Wide(next());
        } else if (arg == "--y") {
            o.inputY = Wide(next());
        } else if (arg == "--function") {
            o.function = Wide(next());
        } else if (arg == "--fix") {
            const std::string fix = next();
            // The value follows the last '=': names may contain one.
            const auto eq = fix.rfind('=');
            if (eq == std::string::npos || eq == 0)
                UsageError("--fix: \"" + fix + "\" is not NAME=VALUE");
            o.fixes.push_back({Wide(fix.substr(0, eq)), ParseNumber(fix.substr(eq + 1), "--fix " + fix.substr(0, eq))});
        } else if (arg == "--size") {
            o.size = ParseSize(next());
        } else if (arg == "--water") {
            o.water = ParseNumber(next(), "--water");
        } else if (arg == "--wireframe") {
            flag();
            o.wireframe = true;
        } else if (arg == "--azimuth") {
            o.azimuth = ParseNumber(next(), "--azimuth");
        } else if (arg == "--elevation") {
            o.elevation = ParseNumber(next(), "--elevation");
            if (std::fabs(*o.elevation) > 90.0)
                UsageError("--elevation must lie between -90 and 90 degrees");
        } else if (arg == "--print-choice") {
            flag();
            o.printChoice = true;
        } else if (arg == "--timings") {
            flag();
            o.timings = true;
        } else if (arg == "--") {
            files.insert(files.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            UsageError("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (o.help)
        return o;
    if (files.size() != 1)
        UsageError(files.empty() ? "no results file given" : "more than one results file given");
    o.file = Wide(files.front());
    if (o.output.empty() && !o.printChoice)
        UsageError("--render OUT.png is missing");
    return o;
}

ComPtr<IUnknown> LoadResults(const std::wstring& path)
{
    ComPtr<IOptimizationResultsDataProvider> spProvider;
    HRESULT hr = platform::CreateInstance(CLSID_OptimizationResultsDataProvider, &spProvider);
    if (FAILED(hr) || !spProvider)
        throw BatchError("the data provider component could not be started (" + Hex(hr) +
                         "); is vantix-components.conf beside the program?");
    IUnknown* pData = nullptr;
    hr = spProvider->Load(path, &pData);
    auto spData = ComPtr<IUnknown>::Attach(pData);
    if (FAILED(hr) || !spData) {
        std::string text = ErrorDescription(spProvider.Get(), platform::uuidof<IOptimizationResultsDataProvider>());
        if (text.empty())
            text = "The file " + Quoted(path) + " could not be loaded (" + Hex(hr) + ").";
        throw BatchError(text);
    }
    return spData;
}

BatchChoice ResolveChoice(IUnknown* pData, const BatchOptions& options)
{
    ComPtr<IOptimizationResultsDataSource> spSource(pData);
    if (!spSource)
        throw BatchError("the loaded data offer no records");
    CInputConfigModel model;
    const HRESULT hr = model.Initialize(spSource.Get(), nullptr);
    if (hr != S_OK)
        throw BatchError("the file " + Quoted(options.file) +
                         " cannot be charted: it needs records, two inputs and a function (" + Hex(hr) + ")");
    // The dialog opens on the first record.
    model.SelectRecord(0, false);

    std::optional<std::size_t> x, y;
    if (options.inputX)
        x = FindInput(model, *options.inputX, "--x");
    if (options.inputY)
        y = FindInput(model, *options.inputY, "--y");
    if (x && y && *x == *y)
        throw BatchError("--x and --y name the same input " + Quoted(model.m_Inputs[*x].name));
    // As the axis boxes do: the other axis gives way when they collide.
    if (x)
        model.SetAxisInput(true, model.m_Inputs[*x].name);
    if (y)
        model.SetAxisInput(false, model.m_Inputs[*y].name);
    model.ReleaseAxisInputs();
    model.SelectRecord(model.m_nCurRecord, false);

    if (options.function) {
        const auto& names = model.m_FuncNames;
        const auto it = std::find(names.begin(), names.end(), *options.function);
        if (it == names.end()) {
            std::string list;
            for (std::size_t f = 0; f < names.size(); ++f)
                list += (f ? ", " : "") + Quoted(names[f]);
            throw BatchError("--function: unknown function " + Quoted(*options.function) + "; the functions are " +
                             list);
        }
        model.m_nFunction = static_cast<unsigned>(it - names.begin());
    }

    // Each --fix as a number typed into the input's value editor, then "Fix"
    // ticked, so later values are chosen among combinations that occur.
    std::vector<bool> held(model.m_Inputs.size(), false);
    for (const FixRequest& fix : options.fixes) {
        const std::size_t i = FindInput(model, fix.name, "--fix");
        const std::wstring& full = model.m_Inputs[i].name;
        if (i == model.m_nInputX || i == model.m_nInputY)
            throw BatchError("--fix " + Narrow(fix.name) + ": " + Quoted(full) + " is on the " +
                             (i == model.m_nInputX ? "X" : "Y") + " axis; only the other inputs are held");
        if (held[i])
            throw BatchError("--fix " + Quoted(full) + " is given twice");
        held[i] = true;
        double value = fix.value;
        if (!model.ChangeValue(static_cast<int>(i), CInputConfigModel::kTypedNumber, &value))
            throw BatchError("--fix " + Narrow(fix.name) + ": the value cannot be set");
        model.SetFixed(static_cast<int>(i), true);
    }

    BatchChoice choice;
    choice.nInputX = model.m_nInputX;
    choice.nInputY = model.m_nInputY;
    choice.nFunction = model.m_nFunction;
    choice.xName = model.m_Inputs[model.m_nInputX].name;
    choice.yName = model.m_Inputs[model.m_nInputY].name;
    choice.functionName = model.m_FuncNames[model.m_nFunction];
    // As the chart document reads the dialog on OK: one held input per row.
    const std::size_t inputs = model.GetInputCount();
    for (std::size_t row = 0; row + 2 < inputs; ++row) {
        FixedInput fixed{};
        if (!model.GetFixedInput(static_cast<unsigned>(row), fixed.nInput, fixed.nValue))
            continue;
        choice.fixed.push_back(fixed);
        const InputInfo& in = model.m_Inputs[fixed.nInput];
        choice.fixedValues.emplace_back(in.name, in.values[in.current].second.value);
    }
    return choice;
}

std::string FormatChoice(const BatchChoice& choice)
{
    std::string text = "x: " + Narrow(choice.xName) + "\n" + "y: " + Narrow(choice.yName) + "\n" +
                       "function: " + Narrow(choice.functionName) + "\n";
    for (const auto& [name, value] : choice.fixedValues) {
        char number[32];
        const auto end = std::to_chars(number, number + sizeof number, value).ptr;
        text += "fixed: " + Narrow(name) + " = " + std::string(number, end) + "\n";
    }
    return text;
}

CBatchChart::CBatchChart(QSize size) : m_Size(size)
{
    // Pictures are always drawn by the software renderer: the stored renderer
    // choice of the desktop program is not read (an OpenGL probe would only
    // cost time without a display).
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/nonexistent/vantix-render"));
    m_spControl = platform::MakeCom<plot::CPlotControl>();
    m_pAdapter = std::make_unique<CChartAdapter>();
    if (!m_pAdapter->Initialize(static_cast<plot::IPlotControl*>(m_spControl.Get())))
        throw BatchError("the chart control could not be started");
    if (m_pAdapter->GetVideoMode() != plot::kRendererSoftware)
        m_pAdapter->SetVideoMode(plot::kRendererSoftware);
    QWidget* pWidget = m_spControl->GetWidget();
    if (!pWidget)
        throw BatchError("the chart control has no picture");
    pWidget->resize(m_Size);
}

CBatchChart::~CBatchChart()
{
    // The adapter lets go of the control first.
    m_pAdapter.reset();
}

QImage CBatchChart::Paint()
{
    QImage image(m_Size, QImage::Format_RGB32);
    m_spControl->GetWidget()->render(&image);
    return image;
}

QImage CBatchChart::Show(IUnknown* pData, const BatchChoice& choice, const BatchOptions& options,
                         const std::function<void(const char*)>& mark)
{
    // Configured as the chart document configures it from the dialog.
    CDataTransformer transformer(pData);
    transformer.m_nFunction = choice.nFunction;
    transformer.m_nInputX = choice.nInputX;
    transformer.m_nInputY = choice.nInputY;
    transformer.m_Fixed = choice.fixed;
    m_pAdapter->CreateNewSeries(&transformer, IChartingControl::Palette{});
    if (mark)
        mark("series");

    // The view's commands, as the window's menu gives them.
    if (options.wireframe)
        m_pAdapter->EnableWireFrame(true);
    plot::ChartModel& model = m_spControl->Model();
    if (options.water) {
        m_pAdapter->EnableWaterLevel(true);
        model.scene.Prepare();
        const auto& bounds = model.scene.Bounds();
        const double range = bounds.max[1] - bounds.min[1];
        int target = model.scene.WaterLevelStep();
        if (range > 0)
            target = static_cast<int>(std::lround((*options.water - bounds.min[1]) / range * plot::Scene::kWaterSteps));
        target = std::clamp(target, 0, plot::Scene::kWaterSteps);
        // Move Up / Move Down, one step at a time.
        while (model.scene.WaterLevelStep() < target)
            m_pAdapter->MoveWaterLevel(0);
        while (model.scene.WaterLevelStep() > target)
            m_pAdapter->MoveWaterLevel(1);
    }
    if (options.azimuth || options.elevation)
        model.camera.SetOrientation(options.azimuth.value_or(model.camera.Yaw()),
                                    options.elevation.value_or(model.camera.Pitch()));

    // What the chart window shows at this size: the control's widget painting itself.
    QImage image = Paint();
    if (mark)
        mark("paint");
    return image;
}

QImage RenderChart(IUnknown* pData, const BatchChoice& choice, const BatchOptions& options,
                   const std::function<void(const char*)>& mark)
{
    CBatchChart chart(options.size);
    return chart.Show(pData, choice, options, mark);
}

namespace {

// Qt's own notes (missing runtime folder, unsupported window hints of the
// offscreen platform) are noise in a batch job; its errors still show.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vantix-render: Qt: %s\n", qPrintable(text));
}

// Loads the fonts of the axis labels and titles and rasterizes a few glyphs,
// so that this start-up cost overlaps the loading of the data. (Painting the
// empty chart instead costs more than it saves: the picture buffers are
// cleared on every paint anyway.)
void WarmUpText()
{
    QImage scratch(64, 32, QImage::Format_RGB32);
    QPainter painter(&scratch);
    for (const auto& [size, weight] : {std::pair{12, QFont::Normal}, std::pair{14, QFont::DemiBold}}) {
        QFont font;
        font.setPixelSize(size);
        font.setWeight(weight);
        painter.setFont(font);
        painter.drawText(QPointF(1, 20), QStringLiteral("-0.123456789:xyz"));
    }
}

} // namespace

int Run(int argc, char** argv, bool bExitWhenWritten)
{
    try {
        const BatchOptions options = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(UsageText(), stdout);
            return 0;
        }
        StageClock clock(options.timings);

        // The data are loaded and the choice made on a second thread while
        // this one starts Qt; the chart itself is built on this (the GUI) thread.
        ComPtr<IUnknown> spData;
        BatchChoice choice;
        std::exception_ptr failure;
        double loadMs = 0, choiceMs = 0;
        std::thread worker([&] {
            try {
                const auto t0 = std::chrono::steady_clock::now();
                spData = LoadResults(options.file);
                const auto t1 = std::chrono::steady_clock::now();
                choice = ResolveChoice(spData.Get(), options);
                loadMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
                choiceMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t1).count();
            } catch (...) {
                failure = std::current_exception();
            }
        });
        std::optional<QApplication> app;
        std::optional<CBatchChart> chart;
        if (!options.output.empty()) {
            // No display is used or needed.
            qputenv("QT_QPA_PLATFORM", "offscreen");
            qInstallMessageHandler(QuietMessages);
            static int qtArgc = 1;
            static char* qtArgv[] = {argv[0], nullptr};
            app.emplace(qtArgc, qtArgv);
            clock.Mark("qt");
            chart.emplace(options.size);
            WarmUpText();
            clock.Mark("control, fonts");
        }
        worker.join();
        if (failure)
            std::rethrow_exception(failure);
        clock.Note("load", loadMs);
        clock.Note("choice", choiceMs);
        clock.Mark("wait");
        if (options.printChoice) {
            std::fputs(FormatChoice(choice).c_str(), stdout);
            std::fflush(stdout);
        }
        if (options.output.empty())
            return 0;

        const QImage image = chart->Show(spData.Get(), choice, options, [&clock](const char* stage) { clock.Mark(stage); });
        QString error;
        if (!WritePng(image, QString::fromStdWString(options.output), &error))
            throw BatchError("could not write " + Quoted(options.output) + ": " + error.toLocal8Bit().toStdString());
        clock.Mark("png");
        if (bExitWhenWritten) {
            clock.Print();
            // Everything is written; tearing down the chart, Qt and the loaded
            // data would only cost time (milliseconds for a large file).
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(0);
        }
        return 0;
    } catch (const BatchError& e) {
        std::fprintf(stderr, "vantix-render: %s\n", e.what());
        return e.Code();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vantix-render: out of memory\n");
        return 1;
    } catch (const platform::ComError& e) {
        std::fprintf(stderr, "vantix-render: a component failed (%s)\n", Hex(e.Error()).c_str());
        return 1;
    }
}

} // namespace batch
