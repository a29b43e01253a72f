#pragma once
// The only code that drives the chart control: attaches to it, turns one data
// description into one control series (a coloured, triangulated surface or a
// point cloud), keeps the axis titles and the last picked point, and forwards
// the view's display commands.
#include "AxisPositions.h"
#include "EventReceiver.h"
#include "IChartingControl.h"
#include "IReceive.h"
#include "SurfaceGrid.h"

#include "platform/comptr.h"
#include "plot_control/IPlotControl.h"

#include <QImage>
#include <QPoint>
#include <QSize>

#include <array>
#include <cfloat>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CChartAdapter : public IChartingControl, public IReceive {
public:
    CChartAdapter();
    CChartAdapter(const CChartAdapter&) = delete;
    CChartAdapter& operator=(const CChartAdapter&) = delete;
    virtual ~CChartAdapter();

    // IChartingControl
    bool Initialize(IUnknown* pControl) override;
    const wchar_t* GetControlClassId() const override;
    bool SetUpdateEvent(IUpdateEvent* pUpdate) override;
    bool Unused3(int) override { return true; }
    bool Unused4(int) override { return true; }
    bool Unused5(int) override { return true; }
    bool ZoomStep(int) override { return true; }
    bool Unused7(int) override { return true; }
    bool MoveWaterLevel(int direction) override;
    bool EnableWaterLevel(bool bOn) override;
    bool IsWaterLevel() const override;
    bool Unused11(int) override { return true; }
    bool Unused12(int) override { return true; }
    bool Unused13(int) override { return true; }
    std::uint32_t Unused14() override { return 0x00FFFFFF; }
    bool Unused15() override { return false; }
    bool Unused16() override { return false; }
    bool Unused17() override { return false; }
    unsigned CreateNewSeries(IDataTransfer* pDataSource, const Palette& palette) override;
    bool Unused19(int) override { return true; }
    bool Unused20(int, int) override { return true; }
    bool Unused21(int) override { return true; }
    bool Unused22(int, int) override { return false; }
    bool GetSelectedPoint(double* x, double* y, double* z) const override;
    bool IsPointSelected() const override;
    std::wstring GetXAxisTitle() const override;
    std::wstring GetYAxisTitle() const override;
    std::wstring GetFunctionTitle() const override;
    bool EnableWireFrame(bool bOn) override;
    bool IsWireFramed() const override;
    HRESULT SetVideoMode(int renderer) override;
    int GetVideoMode() override;

    // IReceive
    void OnSelectPoint(double* pX, double* pY, double* pZ) override;
    void OnClearPoint() override;

    // Point picking (collision detection): 1 on with the events subscribed,
    // anything else off.
    void SetSelection(int mode);
    int GetSelection() const;

    // Colour of a vertex from its roughness r within [rMin, rMax]: green for
    // the smoothest through yellow, red and magenta to blue for the roughest.
    static std::uint32_t RoughnessColor(double r, double rMin, double rMax);

    // How a surface's grid is held while it is built: as an array over the
    // whole grid, or by its records alone when that array would be mostly
    // empty (Automatic). Both give the same vertices and triangles; the
    // others are for tests.
    enum class GridStorage { Automatic, Dense, Sparse };
    void SetGridStorage(GridStorage storage) { m_GridStorage = storage; }

    // The height of a surface cell that several records share (a slice held
    // over a range or "All"): their minimum, maximum or mean.
    using Aggregate = SurfaceAggregate;
    void SetAggregate(Aggregate aggregate) { m_Aggregate = aggregate; }
    Aggregate GetAggregate() const { return m_Aggregate; }
    // Scattered slices also get a surface through their points (a Delaunay
    // triangulation in X-Y, coloured by value), drawn under the points.
    void SetSurfaceFromPoints(bool bOn) { m_bSurfaceFromPoints = bOn; }
    bool IsSurfaceFromPoints() const { return m_bSurfaceFromPoints; }
    // Builds series k (in the order of CreateNewSeries) again from its data
    // with the current aggregate and surface choice; false when there is no
    // such series.
    bool RefillSeries(std::size_t k, IDataTransfer* pDataSource);
    std::size_t SeriesCount() const { return m_Series.size(); }
    // Shows or hides series k with every part of it.
    bool ShowSeries(std::size_t k, bool bVisible);
    bool IsSeriesVisible(std::size_t k) const { return k < m_Series.size() && m_Series[k].bVisible; }
    // Series k's name in the chart's legend (the control lists the named
    // series while two or more have names).
    void SetSeriesName(std::size_t k, const std::wstring& name);
    // Off: no legend and no colour bar (names are kept for turning it back on).
    void SetLegend(bool bOn);
    bool IsLegend() const { return m_bLegend; }
    // Grid surfaces coloured by their roughness (the default) or by function
    // value over the range the chart's series share.
    void SetColorByValue(bool bOn);
    bool IsColorByValue() const { return m_bColorByValue; }
    // The control's camera preset (plot::kViewTop ...).
    bool SetViewPreset(long preset);

    // The chart as it is now, drawn by the control offscreen with the software
    // renderer whatever the window uses: as an image (null on failure), or
    // written to a .png, .svg or .pdf file (false, with the reason in *pError).
    QImage Picture(QSize size);
    bool WritePicture(const std::wstring& path, QSize size, std::wstring* pError);
    // The series (in the order of CreateNewSeries) whose legend line is at pos
    // in the control's widget; nothing off the legend.
    std::optional<std::size_t> SeriesAtLegend(QPoint pos) const;
    // Axis 0 (X), 1 (Y) or 2 (the function) on a log scale: as the first
    // series' data say until set, and only while every value the axis holds
    // is above zero and its input is not labelled. Series filled before a
    // change keep their positions until they are filled again.
    void SetAxisLog(int axis, bool bLog);
    bool IsAxisLog(int axis) const;
    bool CanAxisLog(int axis) const;
    // How series k placed its values (nothing when there is no such series).
    const SliceAxes* SeriesAxes(std::size_t k) const;
    // The status-bar text of a chart position on axis 0 (X), 1 (Y) or 2 (the
    // function): the label of a labelled value or "(none)", else the value
    // itself (also on a log axis), six significant digits.
    std::wstring AxisText(int axis, double position) const;

    // Diameter of scattered points on screen, in device-independent pixels:
    // smaller as clouds grow, never below 3.
    static double PointPixels(std::size_t nPoints);

private:
    // The control series one data slice became.
    struct SeriesParts {
        ComPtr<plot::ISurfaceSeries> spSurface;      // grid data
        ComPtr<plot::IPointSeries> spPoints;         // scattered data
        ComPtr<plot::ISurfaceSeries> spPointSurface; // the surface through the points, made on demand
        bool bVisible = true;
        std::wstring name;
        std::optional<std::array<double, 2>> roughness; // of a grid surface: the range its colours span
        std::size_t order = 0; // of the named part among the control's series, for the legend
        SliceAxes axes; // how its values became positions
    };
    // How a slice's values become positions under the current scales.
    SliceAxes MakeAxes(IDataTransfer* pDataSource);
    // Notes placed X and Y values (value indices i, j) for the axes' lowest.
    void NoteValues(const SliceAxes& axes, double x, std::uint64_t i, double y, std::uint64_t j);
    // Tells the control the axes' scales and labelled ticks (the first series' own).
    void UpdateAxes();
    void FillSeries(SeriesParts& parts, IDataTransfer* pDataSource);
    // Returns the roughness range the surface's colours span; nothing for an empty slice.
    std::optional<std::array<double, 2>> FillSurfaceSeries(plot::ISurfaceSeries* pSeries, IDataTransfer* pDataSource,
                                                           const SliceAxes& axes);
    void FillPoint3dSeries(plot::IPointSeries* pSeries, IDataTransfer* pDataSource, const SliceAxes& axes);
    // The Delaunay surface of a scattered slice; empty data when off.
    void FillPointSurface(SeriesParts& parts, IDataTransfer* pDataSource);
    void NameSeries(SeriesParts& parts);
    // Tells the control what its colour bar shows.
    void UpdateColorScale();
    void HookPicking();
    void UnhookPicking();

    ComPtr<plot::IPlotControl> m_spControl;
    CEventReceiver m_EventReceiver;
    IUpdateEvent* m_pUpdate = nullptr; // not owned
    GridStorage m_GridStorage = GridStorage::Automatic;
    Aggregate m_Aggregate = Aggregate::Min;
    bool m_bSurfaceFromPoints = false;
    bool m_bLegend = true;
    bool m_bColorByValue = false;
    std::vector<SeriesParts> m_Series;
    std::size_t m_nCreated = 0; // control series made, the legend's numbering
    std::array<std::optional<bool>, 3> m_AxisLog; // chosen by the user
    std::array<bool, 3> m_DataLog{};              // as the first series' data say
    // Lowest value each axis holds over every series (labelled inputs: 0).
    std::array<double, 3> m_AxisMin{DBL_MAX, DBL_MAX, DBL_MAX};
    double m_dPickedX = 0.0;
    double m_dPickedY = 0.0;
    double m_dPickedZ = 0.0;
    bool m_bPointSelected = false;
    std::wstring m_XAxisTitle;
    std::wstring m_YAxisTitle;
    std::wstring m_FunctionTitle;
};
