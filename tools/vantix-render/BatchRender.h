#pragma once
// vantix-render: draws one chart of a results file into a PNG without a
// display. The choice of axes, function and held inputs goes through the
// "Data Representation" model, the data through CDataTransformer and
// CChartAdapter into the real chart control, and the picture is the one the
// control's widget paints: the same path as a chart window.
#include "BatchOptions.h"
#include "DataTransformer.h"

#include "ors_provider/IQX_VantixDataProvider.h"

#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class QImage;
class QWidget;
class CChartAdapter;
namespace plot {
struct ChartModel;
struct IPlotControl;
}

namespace batch {

// What a chart window would get from the dialog's OK.
struct BatchChoice {
    std::uint32_t nInputX = 0;
    std::uint32_t nInputY = 1;
    std::uint32_t nFunction = 0;
    std::vector<FixedInput> fixed;
    // For --print-choice: names, and the value of every held input.
    std::wstring xName, yName, functionName;
    std::vector<std::pair<std::wstring, double>> fixedValues;
    // Held inputs whose value is a label (a category, "(none)"): name, label.
    std::vector<std::pair<std::wstring, std::wstring>> fixedLabels;
    // Inputs held over a range: "all" or "LOW:HIGH".
    std::vector<std::pair<std::wstring, std::string>> rangeValues;
    // Records in the slice.
    std::uint64_t nRecords = 0;
};

// Resolves names and --fix values with the dialog's model: the dialog's start
// (the first record's values), axis and function choice, each --fix typed
// into its value editor and then pinned with "Fix". Throws BatchError for
// unknown names and unusable values.
BatchChoice ResolveChoice(IUnknown* pData, const BatchOptions& options);

// The chart: a CDataTransformer configured as the chart document does, handed
// to CChartAdapter::CreateNewSeries on a chart control, painted by the
// control's widget at the requested size. Needs a QApplication.
// One chart as a window holds it: the chart control and the adapter attached
// to it, drawn with the software renderer at a fixed size.
class CBatchChart {
public:
    explicit CBatchChart(QSize size);
    ~CBatchChart();
    CBatchChart(const CBatchChart&) = delete;
    CBatchChart& operator=(const CBatchChart&) = delete;

    // The picture the control's widget paints now.
    QImage Paint();
    // The chart as File > Export Image writes it (.svg, .pdf or .png); false
    // with the reason in *pError.
    bool Write(const std::wstring& path, std::wstring* pError);
    // Adds the chosen slice as a series, applies the view options, paints.
    QImage Show(IUnknown* pData, const BatchChoice& choice, const BatchOptions& options,
                const std::function<void(const char*)>& mark = {});

private:
    QWidget* Widget() const;

    QSize m_Size;
    ComPtr<plot::IPlotControl> m_spControl;
    std::shared_ptr<plot::ChartModel> m_pModel; // what the control draws
    std::unique_ptr<CChartAdapter> m_pAdapter;
};

// mark, when given, is called after each step with its name (for --timings).
QImage RenderChart(IUnknown* pData, const BatchChoice& choice, const BatchOptions& options,
                   const std::function<void(const char*)>& mark = {});

// The tool once its command line is read; returns the exit code. load hands
// over the loaded file; it is called once, on a second thread, while this one
// starts Qt. Messages go to stderr, the choice (with --print-choice) to
// stdout. bExitWhenWritten: end the process as soon as the picture is
// written, without destroying anything (for the launcher). startedMs: how
// long the launcher ran before this (for --timings).
int Run(const BatchOptions& options, const LoadStep& load, bool bExitWhenWritten = false, double startedMs = 0);
// The whole tool in this process: reads argv, loads the file itself.
int Run(int argc, char** argv, bool bExitWhenWritten = false);

// Text for --print-choice.
std::string FormatChoice(const BatchChoice& choice);

} // namespace batch
