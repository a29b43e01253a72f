#pragma once
// vantix-render's command line and the loading of the results file: the part
// of the tool that needs no Qt, so that the launcher can start the load while
// the chart code (and with it Qt) is still being loaded.
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"

#include <array>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace batch {

// A failure in words for the user; code is the process exit code.
class BatchError : public std::runtime_error {
public:
    BatchError(const std::string& message, int code = 1) : std::runtime_error(message), m_nCode(code) {}
    int Code() const { return m_nCode; }

private:
    int m_nCode;
};

inline constexpr int kExitUsage = 2;

struct FixRequest {
    std::wstring name;
    double value = 0.0;
    std::optional<std::wstring> label; // NAME=label: a label of a labelled input, or "(none)"
};

// --range NAME=LOW:HIGH
struct RangeRequest {
    std::wstring name;
    double low = 0.0;
    double high = 0.0;
};

// Height of a cell that several records share.
enum class AggregateChoice { Min, Max, Mean };

struct PictureSize {
    int width = 1280;
    int height = 800;
    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

struct BatchOptions {
    std::wstring file;
    std::wstring output;
    std::optional<std::wstring> inputX;
    std::optional<std::wstring> inputY;
    std::optional<std::wstring> function;
    std::vector<FixRequest> fixes; // in the order given
    std::vector<std::wstring> all; // --all NAME
    std::vector<RangeRequest> ranges;
    AggregateChoice aggregate = AggregateChoice::Min;
    bool surfaceFromPoints = false;
    PictureSize size;
    std::optional<double> water;   // height in function units
    bool wireframe = false;
    bool legend = true; // the colour bar and the series legend
    bool colorByValue = false; // grid surfaces coloured by value, not roughness
    std::optional<double> azimuth; // degrees about the vertical axis
    std::optional<double> elevation;
    std::array<bool, 3> logAxes{}; // --log-x, --log-y, --log-z
    std::optional<std::wstring> study;
    std::vector<std::wstring> inputs, functions; // the columns' roles of a table
    bool printChoice = false;
    bool timings = false;
    bool help = false;
};

// Parses the arguments after the program name; throws BatchError (code 2).
BatchOptions ParseArguments(const std::vector<std::string>& args);
const char* UsageText();

// The data provider component; throws BatchError when it cannot be created.
ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataProvider> StartProvider();
// Loads the file through the data provider; throws BatchError with the
// provider's own description of the fault.
ComPtr<IUnknown> LoadResults(IQX_VantixDataProvider::IOptimizationResultsDataProvider* pProvider,
                             const std::wstring& path);
ComPtr<IUnknown> LoadResults(const std::wstring& path);
// With the options' study and column roles; a table whose roles are
// uncertain and not given is split by the best guess, printed to stderr.
ComPtr<IUnknown> LoadResults(IQX_VantixDataProvider::IOptimizationResultsDataProvider* pProvider,
                             const BatchOptions& options);
ComPtr<IUnknown> LoadResults(const BatchOptions& options);

// A load as one thread hands it to another: the data object, or the failure
// in words with its exit code.
struct LoadOutcome {
    ComPtr<IUnknown> data;
    std::string error;
    int code = 1;
    double loadMs = -1; // how long the load took, where it was timed
};
using LoadStep = std::function<LoadOutcome()>;
// What load() gives or throws, as a LoadOutcome.
LoadOutcome LoadOutcomeOf(const std::function<ComPtr<IUnknown>()>& load);

// The chart half of the tool, in the module the launcher loads from beside
// the platform library: Run() of BatchRender.h, ending the process once the
// picture is written.
inline constexpr const char* kChartModule = "libvantix-render-chart.so";
inline constexpr const char* kChartEntry = "VantixRenderChart";
using ChartEntry = int (*)(const BatchOptions& options, const LoadStep& load, double startedMs);

// Command-line text (UTF-8) and names.
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);
std::string Quoted(const std::wstring& text);
std::string Hex(HRESULT hr);

} // namespace batch
