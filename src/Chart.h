#pragma once
// One chart document: loads results files through the data provider, runs the
// "Data Representation" dialog, hands each choice to the adapter as a new
// series, and saves what the user has not saved yet.
#include "ChartAdapter.h"
#include "DataTransformer.h"
#include "IChart.h"
#include "SelectionText.h"
#include "StudyFollower.h"
#include "ITopLevelControl.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class IUpdateEvent;

class CChart : public IChart {
public:
    using FileInfo = IChart::FileInfo;

    CChart(ITopLevelControl* pTopLevel, IUpdateEvent* pUpdate);
    CChart(const CChart&) = delete;
    CChart& operator=(const CChart&) = delete;
    virtual ~CChart();

    bool LoadData(const std::wstring& path, bool bUnsaved, bool bTemporary) override;
    bool OpenAndLoad() override;
    bool HasUnsavedData() const override;
    void SaveData() override;
    bool IsWaterLevel() const override;
    bool EnableWaterLevel(bool bEnable) override;
    bool WaterLevelUp() override;
    bool WaterLevelDown() override;
    bool IsWireFramed() const override;
    bool EnableWireFrame(bool bEnable) override;
    HRESULT SetVideoMode(int renderer) override;
    HRESULT InternalLoadData(IUnknown* pData, const FileInfo& info, bool& bLoaded) override;

    bool Initialize(IUnknown* pControl);
    static std::wstring GetErrorDescription(IUnknown* p, const GUID& iid);
    std::wstring GetXAxisTitle() const;
    std::wstring GetYAxisTitle() const;
    std::wstring GetFunctionTitle() const;

    // The view and the child frame reach the adapter directly for picking,
    // field of view and renderer queries.
    CChartAdapter& Adapter() { return m_Adapter; }
    const CChartAdapter& Adapter() const { return m_Adapter; }
    std::size_t HistorySize() const { return m_History.size(); }
    const FileInfo& HistoryInfo(std::size_t i) const { return m_History[i].first; }
    const CDataTransformer& HistorySlice(std::size_t i) const { return m_History[i].second; }

    // View choices that build every series again from its slice.
    void SetAggregate(CChartAdapter::Aggregate aggregate);
    void SetSurfaceFromPoints(bool bOn);
    // Axis 0 (X), 1 (Y) or 2 (the function) on a log scale or not; every
    // series is placed again.
    void SetAxisLog(int axis, bool bLog);
    // The record behind a picked point, looked up in the series' slices.
    std::optional<PickedRecord> FindPickedRecord(double x, double y, double z);

    // A chart of a running study (a database URL or a study storage file)
    // can follow it: its first such series is read again while following is
    // on, the slices kept by value.
    bool CanFollow() const { return bool(m_pFollower); }
    bool IsFollowing() const { return m_pFollower && m_pFollower->IsFollowing(); }
    void SetFollowing(bool bOn);
    // Reads the study again now (the menu command, and tests' trigger);
    // false while a read runs or nothing can be followed.
    bool RefreshStudy();
    bool IsReadingStudy() const { return m_pFollower && m_pFollower->IsReading(); }
    // Save Data applies to data not saved yet and, as a snapshot, to a
    // followed study (whose data live in its database, so it is never unsaved).
    bool CanSaveData() const;

    // Default save name of a history item: proximal name, "_", creation stamp.
    std::wstring DefaultFileName(std::size_t item) const;
    // What a history item shows: "file - X / Y - function".
    std::wstring SeriesTitle(std::size_t item) const;
    // The legend's name of a history item: its file and held values.
    std::wstring LegendName(std::size_t item) const;

private:
    // The provider's Load, shown in a progress dialog when the provider
    // reports progress (bWithProgress).
    HRESULT LoadWithProgress(const std::wstring& path, IUnknown** ppData, bool& bWithProgress);
    // The load, with the questions it needs asked (a study, the columns'
    // roles) and asked again with the answers; ORS_E_CHOICE_NEEDED when the
    // user cancelled a question.
    HRESULT LoadWithChoices(const std::wstring& path, IUnknown** ppData, bool& bWithProgress);
    // Fills again the series placed under other scales than the axes have now.
    void RefillStaleAxes();

    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataProvider> m_spProvider;
    CChartAdapter m_Adapter;
    std::vector<std::pair<FileInfo, CDataTransformer>> m_History;
    ITopLevelControl* m_pTopLevel;
    // Last: gone first, with its reader joined, while the history still exists.
    std::unique_ptr<CStudyFollower> m_pFollower;
    std::wstring m_StudyPath;

    void OnStudyRead(const CStudyFollower::Result& result);
    bool IsFollowedItem(std::size_t k) const;
};

// Whether a path names a study database (postgresql://, mysql://, sqlite:///...).
bool IsStudyUrl(const std::wstring& path);

// Creation time of a file as "%02d.%02d.%02d_%02d.%02d.%02d" (hour, minute,
// second, month, day, year mod 100) in local time; nothing when unknown.
// One function so tests can reason about the stamp.
std::wstring FileCreationStamp(const std::wstring& path);

// Why data the provider read cannot be charted, in a sentence.
std::wstring CannotChartText(IUnknown* pData, const std::wstring& path);
// The status-bar note of the failed rows a load left out; empty for none.
std::wstring SkippedRecordsText(IUnknown* pData, const std::wstring& path);
// Column roles (vantix::kColumnInput ...) answered for a file of this path
// and header, kept in the settings.
std::optional<std::vector<int>> ReadRememberedRoles(const std::wstring& path, const std::wstring& headerHash);
void RememberRoles(const std::wstring& path, const std::wstring& headerHash, const std::vector<int>& roles);

// The name a file or data source goes by on screen: a file's name, or a URL
// without its password.
std::wstring DisplayFileName(const std::wstring& path);
