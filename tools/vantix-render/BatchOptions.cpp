#include "BatchOptions.h"

#include "ors_provider/IDataMeaning.h"
#include "ors_provider/ILoadReport.h"
#include "platform/errorinfo.h"
#include "platform/loader.h"
#include "platform/utf8.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

using namespace IQX_VantixDataProvider;

namespace batch {

std::wstring Wide(const std::string& text)
{
    return platform::FromUtf8(text);
}

std::string Narrow(const std::wstring& text)
{
    return platform::ToUtf8(text);
}

std::string Quoted(const std::wstring& text)
{
    // A database URL is shown without its password.
    std::string s = Narrow(text);
    if (const auto scheme = s.find("://"); scheme != std::string::npos) {
        const auto start = scheme + 3;
        const auto end = s.find_first_of("/?", start);
        const auto at = s.rfind('@', end == std::string::npos ? std::string::npos : end);
        const auto colon = s.find(':', start);
        if (at != std::string::npos && at >= start && colon != std::string::npos && colon < at)
            s.erase(colon, at - colon);
    }
    return "\"" + s + "\"";
}

std::string Hex(HRESULT hr)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

namespace {

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

PictureSize ParseSize(const std::string& text)
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

} // namespace

const char* UsageText()
{
    return "usage: vantix-render --render OUT.png [options] FILE\n"
           "Draws the chart a Vantix window shows for one choice of axes, function and\n"
           "held inputs into a PNG file (or SVG or PDF, with the axes, labels, colour\n"
           "bar and legend as vectors over the picture), without a display.\n"
           "\n"
           "  --render OUT.png     the picture to write (.png, .svg or .pdf)\n"
           "  --x NAME             input on the X axis (default: the first input)\n"
           "  --y NAME             input on the Y axis (default: the second input)\n"
           "  --function NAME      function giving the height (default: the first)\n"
           "  --fix NAME=VALUE     hold an input at the evaluated value nearest VALUE, or\n"
           "                       at the label VALUE names (a categorical input's label,\n"
           "                       \"(none)\"; the label itself or its unique beginning,\n"
           "                       any case) (repeatable; other inputs keep the first\n"
           "                       record's values, or every value for scattered results)\n"
           "  --all NAME           hold an input at every value: the slice projects over it\n"
           "  --range NAME=LOW:HIGH  hold an input at its values from LOW to HIGH\n"
           "  --aggregate min|max|mean  height of a cell several records share (default min)\n"
           "  --surface-from-points  scattered results: also draw a surface through the points\n"
           "  --size WxH           picture size in pixels (default 1280x800)\n"
           "  --water LEVEL        show the water plane at the step nearest LEVEL\n"
           "                       (function units; steps are twentieths of the height range)\n"
           "  --wireframe          draw the surface as a wireframe\n"
           "  --colour-by roughness|value  colour grid surfaces by roughness (default) or value\n"
           "  --no-legend          leave out the colour bar and the series legend\n"
           "  --azimuth DEG        camera angle about the vertical axis (default 38)\n"
           "  --elevation DEG      camera angle above the horizon (default 26)\n"
           "  --log-x, --log-y, --log-z  draw the X, Y or function axis on a log scale (the\n"
           "                       default where the data say so; every value must be above 0)\n"
           "  --study NAME         the study to draw from an Optuna storage of several\n"
           "  --inputs A,B,...     the table columns that are inputs\n"
           "  --functions C,...    the table columns that are functions (columns named in\n"
           "                       neither are left out; without both, a table that does\n"
           "                       not say is split by the best guess, printed to stderr)\n"
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
            // A number, else a label (letters name a labelled input's value).
            // ("nan" and "inf" are numbers a fix cannot take, not labels).
            const std::string text = fix.substr(eq + 1);
            double number = 0.0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
            const bool bNumber = !text.empty() && ec == std::errc() && end == text.data() + text.size();
            if (!bNumber && !text.empty() &&
                (std::isalpha(static_cast<unsigned char>(text[0])) || text[0] == '(' ||
                 static_cast<unsigned char>(text[0]) >= 0x80))
                o.fixes.push_back({Wide(fix.substr(0, eq)), 0.0, Wide(text)});
            else
                o.fixes.push_back({Wide(fix.substr(0, eq)), ParseNumber(text, "--fix " + fix.substr(0, eq)), std::nullopt});
        } else if (arg == "--log-x" || arg == "--log-y" || arg == "--log-z") {
            flag();
            o.logAxes[std::size_t(arg.back() - 'x')] = true;
        } else if (arg == "--study") {
            o.study = Wide(next());
        } else if (arg == "--inputs" || arg == "--functions") {
            std::vector<std::wstring>& list = arg == "--inputs" ? o.inputs : o.functions;
            const std::string names = next();
            for (std::size_t from = 0; from <= names.size();) {
                const std::size_t comma = std::min(names.find(',', from), names.size());
                if (comma > from)
                    list.push_back(Wide(names.substr(from, comma - from)));
                from = comma + 1;
            }
            if (list.empty())
                UsageError(arg + " needs column names");
        } else if (arg == "--all") {
            o.all.push_back(Wide(next()));
        } else if (arg == "--range") {
            const std::string range = next();
            // The bounds follow the last '=', split at the last ':' (names may hold either).
            const auto eq = range.rfind('=');
            const auto colon = range.rfind(':');
            if (eq == std::string::npos || eq == 0 || colon == std::string::npos || colon < eq)
                UsageError("--range: \"" + range + "\" is not NAME=LOW:HIGH");
            const std::string name = range.substr(0, eq);
            RangeRequest r{Wide(name), ParseNumber(range.substr(eq + 1, colon - eq - 1), "--range " + name),
                           ParseNumber(range.substr(colon + 1), "--range " + name)};
            if (r.low > r.high)
                UsageError("--range " + name + ": LOW is above HIGH");
            o.ranges.push_back(std::move(r));
        } else if (arg == "--aggregate") {
            const std::string how = next();
            if (how == "min")
                o.aggregate = AggregateChoice::Min;
            else if (how == "max")
                o.aggregate = AggregateChoice::Max;
            else if (how == "mean")
                o.aggregate = AggregateChoice::Mean;
            else
                UsageError("--aggregate: \"" + how + "\" is not min, max or mean");
        } else if (arg == "--surface-from-points") {
            flag();
            o.surfaceFromPoints = true;
        } else if (arg == "--size") {
            o.size = ParseSize(next());
        } else if (arg == "--water") {
            o.water = ParseNumber(next(), "--water");
        } else if (arg == "--wireframe") {
            flag();
            o.wireframe = true;
        } else if (arg == "--colour-by" || arg == "--color-by") {
            const std::string by = next();
            if (by != "roughness" && by != "value")
                UsageError(arg + ": \"" + by + "\" is not roughness or value");
            o.colorByValue = by == "value";
        } else if (arg == "--no-legend") {
            flag();
            o.legend = false;
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

ComPtr<IOptimizationResultsDataProvider> StartProvider()
{
    ComPtr<IOptimizationResultsDataProvider> spProvider;
    const HRESULT hr = platform::CreateInstance(CLSID_OptimizationResultsDataProvider, &spProvider);
    if (FAILED(hr) || !spProvider)
        throw BatchError("the data provider component could not be started (" + Hex(hr) +
                         "); is vantix-components.conf beside the program?");
    return spProvider;
}

ComPtr<IUnknown> LoadResults(IOptimizationResultsDataProvider* pProvider, const std::wstring& path)
{
    IUnknown* pData = nullptr;
    const HRESULT hr = pProvider->Load(path, &pData);
    auto spData = ComPtr<IUnknown>::Attach(pData);
    if (FAILED(hr) || !spData) {
        std::string text = ErrorDescription(pProvider, platform::uuidof<IOptimizationResultsDataProvider>());
        if (text.empty())
            text = "The file " + Quoted(path) + " could not be loaded (" + Hex(hr) + ").";
        throw BatchError(text);
    }
    return spData;
}

ComPtr<IUnknown> LoadResults(const std::wstring& path)
{
    return LoadResults(StartProvider().Get(), path);
}

ComPtr<IUnknown> LoadResults(IOptimizationResultsDataProvider* pProvider, const BatchOptions& options)
{
    ComPtr<IOptimizationResultsLoadOptions> spOptions;
    spOptions.TryQueryFrom(pProvider);
    const bool bGuess = options.inputs.empty() && options.functions.empty();
    if (spOptions) {
        spOptions->SetStudy(options.study.value_or(std::wstring()));
        spOptions->SetColumnRoles(options.inputs, options.functions);
        spOptions->SetAcceptGuess(bGuess ? TRUE : FALSE);
    } else if (options.study || !bGuess) {
        throw BatchError("the data provider takes no --study, --inputs or --functions");
    }
    ComPtr<IUnknown> data;
    try {
        data = LoadResults(pProvider, options.file);
    } catch (const BatchError& e) {
        LoadChoice pending;
        if (spOptions && SUCCEEDED(spOptions->GetPendingChoice(&pending)) && pending.kind == kChoiceStudy)
            throw BatchError(std::string(e.what()) + " Give it with --study NAME.", e.Code());
        throw;
    }
    LoadChoice guess;
    if (spOptions && bGuess && SUCCEEDED(spOptions->GetPendingChoice(&guess)) && guess.kind == kChoiceRoles) {
        // Say what was guessed, as the options that would have said it.
        std::string lists[3];
        for (std::size_t c = 0; c < guess.columns.size() && c < guess.guessedRoles.size(); ++c) {
            std::string& list = lists[std::clamp<LONG>(guess.guessedRoles[c], kRoleInput, kRoleIgnore)];
            list += (list.empty() ? "" : ",") + Narrow(guess.columns[c]);
        }
        std::fprintf(stderr,
                     "vantix-render: the file does not say which columns are inputs and which are functions; "
                     "guessed\n  --inputs %s --functions %s",
                     lists[0].c_str(), lists[1].c_str());
        if (!lists[2].empty())
            std::fprintf(stderr, "  (ignored: %s)", lists[2].c_str());
        std::fputc('\n', stderr);
    }
    ComPtr<IOptimizationResultsLoadReport> spReport;
    spReport.TryQueryFrom(data.Get());
    ULONG skipped = 0;
    if (spReport && SUCCEEDED(spReport->GetSkippedRecordCount(&skipped)) && skipped > 0)
        std::fprintf(stderr, "vantix-render: skipped %lu failed %s\n", static_cast<unsigned long>(skipped),
                     skipped == 1 ? "row" : "rows");
    return data;
}

ComPtr<IUnknown> LoadResults(const BatchOptions& options)
{
    return LoadResults(StartProvider().Get(), options);
}

LoadOutcome LoadOutcomeOf(const std::function<ComPtr<IUnknown>()>& load)
{
    LoadOutcome outcome;
    try {
        outcome.data = load();
    } catch (const BatchError& e) {
        outcome.error = e.what();
        outcome.code = e.Code();
    } catch (const std::bad_alloc&) {
        outcome.error = "out of memory";
    } catch (const platform::ComError& e) {
        outcome.error = "a component failed (" + Hex(e.Error()) + ")";
    }
    return outcome;
}

} // namespace batch
