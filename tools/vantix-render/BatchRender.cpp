#include "BatchRender.h"

#include "plot_control/ChartPicture.h"
#include "plot_control/SoftwarePlotControl.h"

#include "ChartAdapter.h"
#include "InputConfigModel.h"
#include "PngWriter.h"

#include "platform/errorinfo.h"
#include "platform/loader.h"
#include "platform/threads.h"

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

// Shortest text that reads back as the same double.
std::string Number(double value)
{
    char number[32];
    const auto end = std::to_chars(number, number + sizeof number, value).ptr;
    return std::string(number, end);
}

} // namespace

namespace {

// Index in the model of the input a command-line name means: its full name
// ("signal:name") exactly, else the input name after the signal when exactly
// one input has it.
std::size_t FindInput(const CInputConfigModel& model, const std::wstring& name, const char* option)
{
    const auto& inputs = model.Inputs();
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
    // A stage timed elsewhere: before this clock started, or (bracketed) on
    // the loading thread.
    void Note(const char* stage, double ms, bool bLoading = true)
    {
        if (m_bEnabled)
            m_Text += std::string(m_Text.empty() ? "" : ", ") + (bLoading ? "[" : "") + stage + " " +
                      std::to_string(ms).substr(0, 6) + " ms" + (bLoading ? "]" : "");
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

BatchChoice ResolveChoice(IUnknown* pData, const BatchOptions& options)
{
    ComPtr<IOptimizationResultsDataSource> spSource(pData);
    if (!spSource)
        throw BatchError("the loaded data offer no records");
    CInputConfigModel model;
    const HRESULT hr = model.Initialize(spSource.Get(), nullptr);
    if (hr != S_OK) {
        // Say what is missing, in words.
        ULONG nInputs = 0, nFunctions = 0, nRecords = 0;
        spSource->GetInputCount(&nInputs);
        spSource->GetFunctionCount(&nFunctions);
        spSource->GetRecordCount(&nRecords);
        std::string missing;
        if (nInputs < 2)
            missing = nInputs == 1 ? "it has one input, and a chart needs two" : "it has no inputs, and a chart needs two";
        else if (nFunctions == 0)
            missing = "it has no function to draw as the height";
        else if (nRecords == 0)
            missing = "it holds no records";
        else
            missing = "its inputs could not be read (" + Hex(hr) + ")";
        throw BatchError("the file " + Quoted(options.file) + " cannot be charted: " + missing);
    }
    // The dialog opens on the first record.
    model.SelectRecord(0, false);

    std::optional<std::size_t> x, y;
    if (options.inputX)
        x = FindInput(model, *options.inputX, "--x");
    if (options.inputY)
        y = FindInput(model, *options.inputY, "--y");
    if (x && y && *x == *y)
        throw BatchError("--x and --y name the same input " + Quoted(model.Inputs()[*x].name));
    // As the axis boxes do: the other axis gives way when they collide.
    if (x)
        model.SetAxisInput(true, model.Inputs()[*x].name);
    if (y)
        model.SetAxisInput(false, model.Inputs()[*y].name);
    model.ReleaseAxisInputs();
    model.SelectRecord(model.CurrentRecord(), false);

    if (options.function) {
        const auto& names = model.FunctionNames();
        const auto it = std::find(names.begin(), names.end(), *options.function);
        if (it == names.end()) {
            std::string list;
            for (std::size_t f = 0; f < names.size(); ++f)
                list += (f ? ", " : "") + Quoted(names[f]);
            throw BatchError("--function: unknown function " + Quoted(*options.function) + "; the functions are " +
                             list);
        }
        model.SetFunction(static_cast<unsigned>(it - names.begin()));
    }

    // Each --fix as a number typed into the input's value editor, then "Fix"
    // ticked, so later values are chosen among combinations that occur.
    std::vector<bool> held(model.Inputs().size(), false);
    for (const FixRequest& fix : options.fixes) {
        const std::size_t i = FindInput(model, fix.name, "--fix");
        const std::wstring& full = model.Inputs()[i].name;
        if (i == model.InputX() || i == model.InputY())
            throw BatchError("--fix " + Narrow(fix.name) + ": " + Quoted(full) + " is on the " +
                             (i == model.InputX() ? "X" : "Y") + " axis; only the other inputs are held");
        if (held[i])
            throw BatchError("--fix " + Quoted(full) + " is given twice");
        held[i] = true;
        double value = fix.value;
        if (fix.label) {
            // As typed into the value editor: the label named, ignoring case.
            if (!model.ChangeToLabel(static_cast<int>(i), *fix.label)) {
                const InputInfo& in = model.Inputs()[i];
                std::string labels;
                for (std::size_t pos = 0; pos < in.values.size(); ++pos)
                    if (const std::wstring label = in.Label(pos); !label.empty())
                        labels += (labels.empty() ? "" : ", ") + Quoted(label);
                throw BatchError("--fix " + Narrow(fix.name) + ": " + Quoted(*fix.label) +
                                 (labels.empty() ? " is not a number, and " + Quoted(full) + " has no labels"
                                                 : " names none of the labels " + labels + " (or several)"));
            }
        } else if (!model.ChangeValue(static_cast<int>(i), CInputConfigModel::kTypedNumber, &value))
            throw BatchError("--fix " + Narrow(fix.name) + ": the value cannot be set");
        model.SetFixed(static_cast<int>(i), true);
    }
    // --all and --range as typed into the value editor; not pinned, so
    // nothing else is narrowed by them.
    const auto holdable = [&](const std::wstring& name, const char* option) {
        const std::size_t i = FindInput(model, name, option);
        const std::wstring& full = model.Inputs()[i].name;
        if (i == model.InputX() || i == model.InputY())
            throw BatchError(std::string(option) + " " + Narrow(name) + ": " + Quoted(full) + " is on the " +
                             (i == model.InputX() ? "X" : "Y") + " axis; only the other inputs are held");
        if (held[i])
            throw BatchError(std::string(option) + " " + Quoted(full) + ": the input is held twice");
        held[i] = true;
        return i;
    };
    for (const std::wstring& name : options.all)
        model.HoldAll(holdable(name, "--all"));
    for (const RangeRequest& range : options.ranges) {
        const std::size_t i = holdable(range.name, "--range");
        if (!model.HoldRange(i, range.low, range.high))
            throw BatchError("--range " + Quoted(model.Inputs()[i].name) + ": no evaluated value lies between " +
                             Number(range.low) + " and " + Number(range.high));
    }

    BatchChoice choice;
    choice.nInputX = model.InputX();
    choice.nInputY = model.InputY();
    choice.nFunction = model.Function();
    choice.xName = model.Inputs()[model.InputX()].name;
    choice.yName = model.Inputs()[model.InputY()].name;
    choice.functionName = model.FunctionNames()[model.Function()];
    // As the chart document reads the dialog on OK: one held input per row.
    const std::size_t inputs = model.GetInputCount();
    for (std::size_t row = 0; row + 2 < inputs; ++row) {
        FixedInput fixed{};
        if (!model.GetHeldInput(static_cast<unsigned>(row), fixed))
            continue;
        choice.fixed.push_back(fixed);
        const InputInfo& in = model.Inputs()[fixed.nInput];
        if (!in.IsHeldOverRange() && !in.Label(in.current).empty())
            choice.fixedLabels.emplace_back(in.name, in.Label(in.current));
        else if (!in.IsHeldOverRange())
            choice.fixedValues.emplace_back(in.name, in.values[in.current].second.value);
        else if (in.IsHeldAtAll())
            choice.rangeValues.emplace_back(in.name, "all");
        else
            choice.rangeValues.emplace_back(in.name, Number(in.values[in.holdFirst].second.value) + ":" +
                                                         Number(in.values[in.holdLast].second.value));
    }
    choice.nRecords = model.CountSliceRecords();
    if (choice.nRecords == 0)
        throw BatchError("the chosen slice holds no records: no record has every held value (hold inputs with "
                         "--all or --range to widen it)");
    return choice;
}

std::string FormatChoice(const BatchChoice& choice)
{
    std::string text = "x: " + Narrow(choice.xName) + "\n" + "y: " + Narrow(choice.yName) + "\n" +
                       "function: " + Narrow(choice.functionName) + "\n";
    for (const auto& [name, value] : choice.fixedValues)
        text += "fixed: " + Narrow(name) + " = " + Number(value) + "\n";
    for (const auto& [name, label] : choice.fixedLabels)
        text += "fixed: " + Narrow(name) + " = " + Narrow(label) + "\n";
    for (const auto& [name, range] : choice.rangeValues)
        text += "held: " + Narrow(name) + " = " + range + "\n";
    return text;
}

CBatchChart::CBatchChart(QSize size) : m_Size(size)
{
    // Pictures are always drawn by the software renderer: the stored renderer
    // choice of the desktop program is not read (an OpenGL probe would only
    // cost time without a display).
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/nonexistent/vantix-render"));
    if (FAILED(plot::CreateSoftwarePlotControl(&m_spControl, &m_pModel)))
        throw BatchError("the chart control could not be started");
    m_pAdapter = std::make_unique<CChartAdapter>();
    if (!m_pAdapter->Initialize(m_spControl.Get()))
        throw BatchError("the chart control could not be started");
    constexpr auto software = LONG(plot::RendererCode::Software);
    if (m_pAdapter->GetVideoMode() != software)
        m_pAdapter->SetVideoMode(software);
    QWidget* pWidget = Widget();
    if (!pWidget)
        throw BatchError("the chart control has no picture");
    pWidget->resize(m_Size);
}

QWidget* CBatchChart::Widget() const
{
    ComPtr<plot::IQWidgetHost> spHost;
    return SUCCEEDED(m_spControl.QueryInterface(&spHost)) ? spHost->GetWidget() : nullptr;
}

CBatchChart::~CBatchChart()
{
    // The adapter lets go of the control first.
    m_pAdapter.reset();
}

QImage CBatchChart::Paint()
{
    QImage image(m_Size, QImage::Format_RGB32);
    Widget()->render(&image);
    return image;
}

bool CBatchChart::Write(const std::wstring& path, std::wstring* pError)
{
    return m_pAdapter->WritePicture(path, m_Size, pError);
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
    switch (options.aggregate) {
    case AggregateChoice::Min:
        m_pAdapter->SetAggregate(CChartAdapter::Aggregate::Min);
        break;
    case AggregateChoice::Max:
        m_pAdapter->SetAggregate(CChartAdapter::Aggregate::Max);
        break;
    case AggregateChoice::Mean:
        m_pAdapter->SetAggregate(CChartAdapter::Aggregate::Mean);
        break;
    }
    m_pAdapter->SetSurfaceFromPoints(options.surfaceFromPoints);
    m_pAdapter->SetLegend(options.legend);
    m_pAdapter->SetColorByValue(options.colorByValue);
    for (int axis = 0; axis < 3; ++axis)
        if (options.logAxes[std::size_t(axis)])
            m_pAdapter->SetAxisLog(axis, true);
    m_pAdapter->CreateNewSeries(&transformer, IChartingControl::Palette{});
    for (int axis = 0; axis < 3; ++axis)
        if (options.logAxes[std::size_t(axis)] && !m_pAdapter->CanAxisLog(axis))
            throw BatchError(std::string("--log-") + char('x' + axis) + ": the " +
                             (axis == 0 ? "X" : axis == 1 ? "Y" : "function") +
                             " axis holds values at or below zero, which a log scale cannot show");
    if (mark)
        mark("series");

    // The view's commands, as the window's menu gives them.
    if (options.wireframe)
        m_pAdapter->EnableWireFrame(true);
    plot::ChartModel& model = *m_pModel;
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
    CBatchChart chart(QSize(options.size.width, options.size.height));
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

namespace {

int Report(const BatchError& e)
{
    std::fprintf(stderr, "vantix-render: %s\n", e.what());
    return e.Code();
}

} // namespace

int Run(const BatchOptions& options, const LoadStep& load, bool bExitWhenWritten, double startedMs)
{
    try {
        StageClock clock(options.timings);
        if (startedMs > 0)
            clock.Note("launch, module", startedMs, false);

        // The data are loaded and the choice made on a second thread while
        // this one starts Qt; the chart itself is built on this (the GUI) thread.
        ComPtr<IUnknown> spData;
        BatchChoice choice;
        std::exception_ptr failure;
        double loadMs = 0, choiceMs = 0;
        platform::ThreadOrHere worker([&] {
            try {
                const auto t0 = std::chrono::steady_clock::now();
                LoadOutcome loaded = load();
                if (!loaded.data)
                    throw BatchError(loaded.error, loaded.code);
                spData = std::move(loaded.data);
                const auto t1 = std::chrono::steady_clock::now();
                choice = ResolveChoice(spData.Get(), options);
                // The whole load when another thread timed it, else the part seen here.
                loadMs = loaded.loadMs >= 0 ? loaded.loadMs : std::chrono::duration<double, std::milli>(t1 - t0).count();
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
            static char qtName[] = "vantix-render";
            static char* qtArgv[] = {qtName, nullptr};
            app.emplace(qtArgc, qtArgv);
            clock.Mark("qt");
            chart.emplace(QSize(options.size.width, options.size.height));
            WarmUpText();
            clock.Mark("control, fonts");
        }
        worker.Join();
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
        const auto format = plot::PictureFormatOf(QString::fromStdWString(options.output));
        if (format && *format != plot::PictureFormat::Png) {
            // Vector decorations over the embedded picture, as File > Export Image writes them.
            std::wstring why;
            if (!chart->Write(options.output, &why))
                throw BatchError("could not write " + Quoted(options.output) + ": " +
                                 QString::fromStdWString(why).toLocal8Bit().toStdString());
        } else if (!WritePng(image, QString::fromStdWString(options.output), &error)) {
            throw BatchError("could not write " + Quoted(options.output) + ": " + error.toLocal8Bit().toStdString());
        }
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
        return Report(e);
    } catch (const std::bad_alloc&) {
        return Report(BatchError("out of memory"));
    } catch (const platform::ComError& e) {
        return Report(BatchError("a component failed (" + Hex(e.Error()) + ")"));
    }
}

int Run(int argc, char** argv, bool bExitWhenWritten)
{
    BatchOptions options;
    try {
        options = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const BatchError& e) {
        return Report(e);
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }
    return Run(
        options, [&options] { return LoadOutcomeOf([&options] { return LoadResults(options); }); },
        bExitWhenWritten);
}

} // namespace batch
