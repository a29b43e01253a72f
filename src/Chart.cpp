#include "Chart.h"

#include "FileHistory.h"
#include "InputConfigDlg.h"
#include "LoadProgress.h"
#include "Prompts.h"
#include "SliceRemap.h"
#include "ServerChoice.h"
#include "ResourceStrings.h"
#include "diagnostics/snagwise.h"
#include "platform/errorinfo.h"
#include "platform/loader.h"
#include "VersionInfo.h"
#include "ors_provider/IDataMeaning.h"
#include "ors_provider/ILoadReport.h"

#include <QCryptographicHash>
#include <QSettings>

#include <QDateTime>
#include <QTime>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>

using namespace IQX_VantixDataProvider;
using vantix::Prompts;

namespace {

// The palette the adapter receives; it does not read it.
IChartingControl::Palette ChartPalette()
{
    IChartingControl::Palette p{};
    p.bFlag = false;
    p.color1 = 0xFF0000;
    p.color2 = 0x00FF00;
    p.color3 = 0x0000FF;
    return p;
}

} // namespace

CChart::CChart(ITopLevelControl* pTopLevel, IUpdateEvent* pUpdate) : m_pTopLevel(pTopLevel)
{
    SW_TRACE(L"Chart : construct %p", static_cast<void*>(this));
    m_Adapter.SetUpdateEvent(pUpdate);

    IUnknown* pUnk = nullptr;
    HRESULT hr = platform::CoCreateInstance(CLSID_OptimizationResultsDataProvider, nullptr, platform::CLSCTX_ALL,
                                            platform::uuidof<IUnknown>(), reinterpret_cast<void**>(&pUnk));
    if (SUCCEEDED(hr))
        hr = platform::OleRun(pUnk);
    if (SUCCEEDED(hr)) {
        hr = m_spProvider.TryQueryFrom(pUnk);
    }
    if (pUnk)
        pUnk->Release();
    if (FAILED(hr))
        m_spProvider = nullptr;
    SW_ASSERT(SUCCEEDED(hr) && L"Can't create data provider");
}

CChart::~CChart()
{
    for (const auto& item : m_History) {
        if (item.first.m_bTemporary && m_pTopLevel)
            m_pTopLevel->RegisterTemporaryFile(item.first.m_Path.empty() ? nullptr : item.first.m_Path.c_str());
    }
    SW_TRACE(L"Chart : destroy %p", static_cast<void*>(this));
    m_History.clear();
}

bool CChart::Initialize(IUnknown* pControl)
{
    const bool ok = m_Adapter.Initialize(pControl);
    if (!ok)
        SW_TRACE(L"Errors during chart initialization.");
    return ok;
}

bool CChart::LoadData(const std::wstring& path, bool bUnsaved, bool bTemporary)
{
    SW_TRACE(L"Chart : Load data to chart %p", static_cast<void*>(this));
    IUnknown* pRaw = nullptr;
    HRESULT hr = E_POINTER;
    bool bWithProgress = false;
    if (m_spProvider) {
        hr = LoadWithChoices(path, &pRaw, bWithProgress);
    } else {
        // No provider: report like a failed load rather than letting the empty
        // reference throw through the window code.
        platform::SetErrorDescription(L"The data provider component could not be started.");
    }
    auto spData = ComPtr<IUnknown>::Attach(pRaw);
    if (FAILED(hr)) {
        SW_TRACE(L"Chart : Data provider Load() failed with HRESULT = 0x%x", static_cast<unsigned>(hr));
        // Cancelled in the progress dialog or a question: the user knows, like a cancelled dialog.
        if (hr == E_ABORT && bWithProgress)
            return false;
        if (hr == ORS_E_CHOICE_NEEDED)
            return false;
        std::wstring text =
            m_spProvider ? GetErrorDescription(m_spProvider.Get(), platform::uuidof<IOptimizationResultsDataProvider>())
                         : std::wstring(L"The data provider component could not be started.");
        if (text.empty()) // a provider that left no description: still a sentence, never a bare code
            text = L"The file \"" + DisplayFileName(path) + L"\" could not be opened.";
        Prompts().MessageBox(vantix::ActiveWindow(), text, LoadResourceString(IDS_MESSAGE_CAPTION),
                             vantix::MB_OK | vantix::MB_ICONEXCLAMATION);
        return false;
    }

    ComPtr<IOptimizationResultsDataSource> spSource(spData);
    if (!spSource) {
        Prompts().MessageBox(vantix::ActiveWindow(), LoadResourceString(IDS_UNEXPECTED_FORMAT), LoadResourceString(IDS_MESSAGE_CAPTION),
                             vantix::MB_OK | vantix::MB_ICONEXCLAMATION);
        return false;
    }

    FileInfo info;
    // A study in a database server is kept there: never unsaved.
    info.m_bUnsaved = bUnsaved && !IsStudyUrl(path);
    info.m_bTemporary = bTemporary;
    info.m_Path = path;
    bool bLoaded = false;
    hr = InternalLoadData(spSource.Get(), info, bLoaded);
    if (hr == S_OK) {
        // The series' own data are followed: the slice a server selected, or what was loaded.
        IUnknown* pFollowed = bLoaded ? m_History.back().second.Source() : nullptr;
        if (bLoaded && !m_pFollower && CStudyFollower::CanFollow(pFollowed)) {
            m_pFollower = std::make_unique<CStudyFollower>(
                pFollowed, [this](const CStudyFollower::Result& r) { OnStudyRead(r); });
            m_StudyPath = path;
            // A database is opened to watch it; a storage file waits to be asked.
            m_pFollower->SetFollowing(IsStudyUrl(path));
        }
        if (bLoaded && !bTemporary && m_pTopLevel)
            m_pTopLevel->FileOpened(path);
        if (const std::wstring skipped = SkippedRecordsText(spSource.Get(), path); bLoaded && m_pTopLevel && !skipped.empty())
            m_pTopLevel->ShowStatus(skipped);
        return bLoaded;
    }
    if (hr == S_FALSE) {
        Prompts().MessageBox(vantix::ActiveWindow(), LoadResourceString(IDS_INCOMPATIBLE_DATA), LoadResourceString(IDS_MESSAGE_CAPTION),
                             vantix::MB_OK | vantix::MB_ICONINFORMATION);
        return false;
    }
    Prompts().MessageBox(vantix::ActiveWindow(), CannotChartText(spSource.Get(), path), LoadResourceString(IDS_MESSAGE_CAPTION),
                         vantix::MB_OK | vantix::MB_ICONINFORMATION);
    return false;
}

std::wstring CannotChartText(IUnknown* pData, const std::wstring& path)
{
    // What is missing, in words, for a file the provider read but a chart cannot show.
    ComPtr<IOptimizationResultsDataSource> spSource(pData);
    ULONG nInputs = 0, nFunctions = 0, nRecords = 0;
    if (!spSource || FAILED(spSource->GetInputCount(&nInputs)) || FAILED(spSource->GetFunctionCount(&nFunctions)) ||
        FAILED(spSource->GetRecordCount(&nRecords)))
        return LoadResourceString(IDS_TOO_FEW_PARAMETERS);
    std::wstring missing;
    if (nInputs < 2)
        missing = nInputs == 1 ? L"it has one input, and a chart needs two" : L"it has no inputs, and a chart needs two";
    else if (nFunctions == 0)
        missing = L"it has no function to draw as the height";
    else if (nRecords == 0)
        missing = L"it holds no records";
    else
        return LoadResourceString(IDS_TOO_FEW_PARAMETERS);
    return L"\"" + DisplayFileName(path) + L"\" cannot be charted: " + missing + L".";
}

std::wstring SkippedRecordsText(IUnknown* pData, const std::wstring& path)
{
    ComPtr<IOptimizationResultsLoadReport> spReport;
    spReport.TryQueryFrom(pData);
    ULONG n = 0;
    if (!spReport || FAILED(spReport->GetSkippedRecordCount(&n)) || n == 0)
        return {};
    return DisplayFileName(path) + L": " + std::to_wstring(n) + (n == 1 ? L" failed row was" : L" failed rows were") +
           L" left out (a function value of nan, inf or \"fail\").";
}

namespace {

// Remembered column roles live under the file's path and its header's hash:
// the next run of the same study writes a file that opens without asking.
QString RolesKey(const std::wstring& path, const std::wstring& headerHash)
{
    const QByteArray id = QCryptographicHash::hash(QString::fromStdWString(path).toUtf8(), QCryptographicHash::Sha1);
    return QString::fromLatin1(id.toHex()) + QLatin1Char('-') + QString::fromStdWString(headerHash);
}

std::unique_ptr<QSettings> RolesSettings()
{
    return OpenProgramSettings(L"\\ColumnRoles");
}

} // namespace

std::optional<std::vector<int>> ReadRememberedRoles(const std::wstring& path, const std::wstring& headerHash)
{
    const auto settings = RolesSettings();
    if (!settings || headerHash.empty())
        return std::nullopt;
    const QVariant v = settings->value(RolesKey(path, headerHash));
    if (!v.isValid())
        return std::nullopt;
    std::vector<int> roles;
    for (const QString& r : v.toStringList())
        roles.push_back(r.toInt());
    return roles;
}

void RememberRoles(const std::wstring& path, const std::wstring& headerHash, const std::vector<int>& roles)
{
    const auto settings = RolesSettings();
    if (!settings || headerHash.empty())
        return;
    QStringList list;
    for (int r : roles)
        list << QString::number(r);
    settings->setValue(RolesKey(path, headerHash), list);
}

HRESULT CChart::LoadWithChoices(const std::wstring& path, IUnknown** ppData, bool& bWithProgress)
{
    ComPtr<IOptimizationResultsLoadOptions> spOptions;
    spOptions.TryQueryFrom(m_spProvider.Get());
    if (!spOptions)
        return LoadWithProgress(path, ppData, bWithProgress);
    // Options hold for every later load: each file starts from none.
    spOptions->SetStudy(std::wstring());
    spOptions->SetColumnRoles({}, {});
    spOptions->SetAcceptGuess(FALSE);
    ApplyStudyBudget(m_spProvider.Get());
    bool bTriedRemembered = false;
    for (;;) {
        const HRESULT hr = LoadWithProgress(path, ppData, bWithProgress);
        LoadChoice choice;
        if (hr != ORS_E_CHOICE_NEEDED || FAILED(spOptions->GetPendingChoice(&choice)))
            return hr;
        vantix::LoadChoiceRequest request;
        request.file = DisplayFileName(path);
        if (choice.kind == kChoiceStudy) {
            request.studies = choice.studies;
            request.trials.assign(choice.trialCounts.begin(), choice.trialCounts.end());
            const auto study = Prompts().ChooseStudy(vantix::ActiveWindow(), request);
            if (!study || *study >= choice.studies.size())
                return hr;
            spOptions->SetStudy(choice.studies[*study]);
            continue;
        }
        if (choice.kind == kChoicePassword) {
            // Asked, used for this provider's loads, and never stored.
            const std::wstring why = GetErrorDescription(m_spProvider.Get(), platform::uuidof<IOptimizationResultsDataProvider>());
            const auto password = Prompts().AskPassword(vantix::ActiveWindow(), why);
            if (!password)
                return hr;
            spOptions->SetPassword(*password);
            continue;
        }
        if (choice.kind != kChoiceRoles)
            return hr;
        std::optional<std::vector<int>> roles;
        if (!bTriedRemembered) {
            bTriedRemembered = true;
            roles = ReadRememberedRoles(path, choice.headerHash);
        }
        if (!roles || roles->size() != choice.columns.size()) {
            request.columns = choice.columns;
            request.roles.assign(choice.guessedRoles.begin(), choice.guessedRoles.end());
            roles = Prompts().ChooseColumnRoles(vantix::ActiveWindow(), request);
            if (!roles || roles->size() != choice.columns.size())
                return hr;
            RememberRoles(path, choice.headerHash, *roles);
        }
        std::vector<std::wstring> inputs, functions;
        for (std::size_t c = 0; c < choice.columns.size(); ++c) {
            if ((*roles)[c] == vantix::kColumnInput)
                inputs.push_back(choice.columns[c]);
            else if ((*roles)[c] == vantix::kColumnFunction)
                functions.push_back(choice.columns[c]);
        }
        spOptions->SetColumnRoles(inputs, functions);
    }
}

HRESULT CChart::LoadWithProgress(const std::wstring& path, IUnknown** ppData, bool& bWithProgress)
{
    ComPtr<IOptimizationResultsLoadProgress> spProgress;
    spProgress.TryQueryFrom(m_spProvider.Get());
    const auto spSink = spProgress ? vantix::CreateLoadProgress(vantix::ActiveWindow(), path) : nullptr;
    bWithProgress = static_cast<bool>(spSink);
    if (!bWithProgress)
        return m_spProvider->Load(path, ppData);
    spProgress->SetProgressSink(spSink.Get());
    const HRESULT hr = m_spProvider->Load(path, ppData);
    spProgress->SetProgressSink(nullptr);
    // spSink goes here: the dialog is closed before any message box or the input dialog.
    return hr;
}

HRESULT CChart::InternalLoadData(IUnknown* pData, const FileInfo& info, bool& bLoaded)
{
    SW_TRACE(L"Chart : Try LoadData");
    bLoaded = false;
    ComPtr<IOptimizationResultsDataSource> spSource(pData);

    CInputConfigDlg dlg;
    const IDataTransfer* pReference = m_History.empty() ? nullptr : &m_History.front().second;
    const HRESULT hr = dlg.Initialize(spSource.Get(), const_cast<IDataTransfer*>(pReference));
    if (hr != S_OK)
        return hr;
    if (dlg.DoModal(vantix::ActiveWindow()) != vantix::IDOK)
        return S_OK;
    SW_TRACE(L"Chart : User have made choice");

    CDataTransformer transformer(spSource.Get());
    transformer.m_nFunction = dlg.Function();
    transformer.m_nInputX = dlg.InputX();
    transformer.m_nInputY = dlg.InputY();
    transformer.m_Fixed.clear();
    const long inputs = static_cast<long>(dlg.GetInputCount());
    for (long i = 0; i + 2 < inputs; ++i) {
        FixedInput fixed{};
        if (dlg.GetHeldInput(static_cast<unsigned>(i), fixed))
            transformer.m_Fixed.push_back(fixed);
    }
    // A study that stays on its server: the slice comes from there.
    if (std::wstring why; !SliceOnServer(transformer, &why)) {
        Prompts().MessageBox(vantix::ActiveWindow(), why, LoadResourceString(IDS_MESSAGE_CAPTION),
                             vantix::MB_OK | vantix::MB_ICONEXCLAMATION);
        return S_OK;
    }
    // Records sharing a cell show the best of them: the highest for a
    // function the study maximises. A choice made in the View menu stays.
    if (m_History.empty() && m_Adapter.GetAggregate() == CChartAdapter::Aggregate::Min) {
        ComPtr<IOptimizationResultsDataMeaning> spMeaning;
        spMeaning.TryQueryFrom(pData);
        LONG direction = kDirectionMinimize;
        if (spMeaning && SUCCEEDED(spMeaning->GetFunctionDirection(dlg.Function(), &direction)) &&
            direction == kDirectionMaximize)
            m_Adapter.SetAggregate(CChartAdapter::Aggregate::Max);
    }
    m_Adapter.CreateNewSeries(&transformer, ChartPalette());
    bLoaded = true;
    m_History.emplace_back(info, transformer);
    m_Adapter.SetSeriesName(m_History.size() - 1, LegendName(m_History.size() - 1));
    // A log axis that this slice's values at or below zero rule out.
    RefillStaleAxes();
    return S_OK;
}

void CChart::SetAggregate(CChartAdapter::Aggregate aggregate)
{
    if (aggregate == m_Adapter.GetAggregate())
        return;
    m_Adapter.SetAggregate(aggregate);
    for (std::size_t k = 0; k < m_History.size(); ++k)
        m_Adapter.RefillSeries(k, &m_History[k].second);
}

void CChart::SetSurfaceFromPoints(bool bOn)
{
    if (bOn == m_Adapter.IsSurfaceFromPoints())
        return;
    m_Adapter.SetSurfaceFromPoints(bOn);
    for (std::size_t k = 0; k < m_History.size(); ++k)
        if (m_History[k].second.GetDataStyle() == IDataTransfer::STYLE_POINT3D)
            m_Adapter.RefillSeries(k, &m_History[k].second);
}

std::optional<PickedRecord> CChart::FindPickedRecord(double x, double y, double z)
{
    for (std::size_t k = 0; k < m_History.size(); ++k)
        if (auto picked = ::FindPickedRecord(m_History[k].second, x, y, z, m_Adapter.SeriesAxes(k)))
            return picked;
    return std::nullopt;
}

void CChart::SetAxisLog(int axis, bool bLog)
{
    m_Adapter.SetAxisLog(axis, bLog);
    RefillStaleAxes();
}

void CChart::RefillStaleAxes()
{
    // Series placed under another scale than the axes' current one are placed again.
    bool bStale = false;
    for (std::size_t k = 0; k < m_History.size(); ++k)
        if (const SliceAxes* axes = m_Adapter.SeriesAxes(k))
            for (int a = 0; a < 3; ++a)
                bStale = bStale || (*axes)[std::size_t(a)].bLog != m_Adapter.IsAxisLog(a);
    if (bStale)
        for (std::size_t k = 0; k < m_History.size(); ++k)
            m_Adapter.RefillSeries(k, &m_History[k].second);
}

bool CChart::OpenAndLoad()
{
    vantix::FileDialogRequest request;
    request.mode = vantix::FileDialogRequest::Mode::Open;
    request.folder = ReadDialogFolder();
    const auto path = Prompts().FileDialog(vantix::ActiveWindow(), request);
    if (!path)
        return false;
    RememberDialogFolder(*path);
    return LoadData(*path, true, false);
}

bool IsStudyUrl(const std::wstring& path)
{
    const QString scheme = QUrl(QString::fromStdWString(path)).scheme().toLower().section(QLatin1Char('+'), 0, 0);
    return path.find(L"://") != std::wstring::npos &&
           (scheme == QLatin1String("postgresql") || scheme == QLatin1String("postgres") ||
            scheme == QLatin1String("mysql") || scheme == QLatin1String("mariadb") || scheme == QLatin1String("sqlite"));
}

void CChart::SetFollowing(bool bOn)
{
    if (m_pFollower)
        m_pFollower->SetFollowing(bOn);
}

bool CChart::RefreshStudy()
{
    return m_pFollower && m_pFollower->RefreshNow();
}

bool CChart::IsFollowedItem(std::size_t k) const
{
    if (!m_pFollower)
        return false;
    // One object, whichever interface each pointer came through.
    ComPtr<IUnknown> a, b;
    a.TryQueryFrom(m_History[k].second.Source());
    b.TryQueryFrom(m_pFollower->Data());
    return a && a.Get() == b.Get();
}

void CChart::OnStudyRead(const CStudyFollower::Result& result)
{
    const std::wstring name = DisplayFileName(m_StudyPath);
    if (FAILED(result.hr)) {
        // The chart keeps what it shows; the timer tries again.
        SW_TRACE(L"Chart : the study could not be read again (0x%x)", static_cast<unsigned>(result.hr));
        if (m_pTopLevel)
            m_pTopLevel->ShowStatus(name + L": the study cannot be read now (" + result.error +
                                    L"). The chart keeps what it shows and reads again.");
        return;
    }
    if (result.hr == S_OK && result.newer) {
        for (std::size_t k = 0; k < m_History.size(); ++k) {
            if (!IsFollowedItem(k))
                continue;
            auto moved = RemapSlice(m_History[k].second, result.newer.Get());
            if (!moved)
                continue;
            m_History[k].second = std::move(*moved);
            m_Adapter.RefillSeries(k, &m_History[k].second);
            m_Adapter.SetSeriesName(k, LegendName(k));
        }
        m_pFollower->SetData(result.newer.Get());
        RefillStaleAxes();
    }
    if (m_pTopLevel)
        m_pTopLevel->ShowStatus(name + L": " + std::to_wstring(result.trials) +
                                (result.trials == 1 ? L" trial" : L" trials") + L", read at " +
                                QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdWString());
}

bool CChart::CanSaveData() const
{
    if (HasUnsavedData())
        return true;
    for (std::size_t k = 0; k < m_History.size(); ++k)
        if (IsFollowedItem(k))
            return true;
    return false;
}

bool CChart::HasUnsavedData() const
{
    for (const auto& item : m_History)
        if (item.first.m_bUnsaved)
            return true;
    return false;
}

std::wstring FileCreationStamp(const std::wstring& path)
{
    const QFileInfo fi(QString::fromStdWString(path));
    if (!fi.exists())
        return {};
    QDateTime t = fi.birthTime();
    if (!t.isValid())
        return {};
    t = t.toLocalTime();
    const QDate d = t.date();
    const QTime tm = t.time();
    wchar_t buf[256];
    std::swprintf(buf, 256, L"%02d.%02d.%02d_%02d.%02d.%02d", tm.hour(), tm.minute(), tm.second(), d.month(), d.day(),
                  d.year() % 100);
    return buf;
}

std::wstring CChart::DefaultFileName(std::size_t item) const
{
    std::wstring p = m_History[item].second.GetProximalName();
    std::wstring name;
    for (wchar_t c : p) {
        if (c == L':')
            name += L"Colon";
        else
            name += c;
    }
    std::wstring stamp = FileCreationStamp(m_History[item].first.m_Path);
    if (stamp.empty())
        stamp = L"unnamed";
    return name + L"_" + stamp;
}

std::wstring DisplayFileName(const std::wstring& path)
{
    const QString text = QString::fromStdWString(path);
    const QUrl url(text);
    // A one-letter scheme is a drive, not a URL.
    if (url.isValid() && url.scheme().size() > 1 && !url.isLocalFile())
        return url.toString(QUrl::RemovePassword).toStdWString();
    return QFileInfo(text).fileName().toStdWString();
}

std::wstring CChart::SeriesTitle(std::size_t item) const
{
    const CDataTransformer& t = m_History[item].second;
    std::wstring x, y, f;
    t.GetInputXFullName(&x);
    t.GetInputYFullName(&y);
    t.GetFunctionName(&f);
    return DisplayFileName(m_History[item].first.m_Path) + L" - " + x + L" / " + y + L" - " + f;
}

std::wstring CChart::LegendName(std::size_t item) const
{
    // Slices of one file differ in their held values, and a legend says which.
    const std::wstring name = DisplayFileName(m_History[item].first.m_Path);
    const std::wstring held = m_History[item].second.DescribeHeldInputs();
    return held.empty() ? name : name + L": " + held;
}

void CChart::SaveData()
{
    SW_TRACE(L"Chart : SaveData");
    for (std::size_t i = 0; i < m_History.size(); ++i) {
        auto& [info, transformer] = m_History[i];
        if (!info.m_bUnsaved && !IsFollowedItem(i))
            continue;
        vantix::FileDialogRequest request;
        request.mode = vantix::FileDialogRequest::Mode::Save;
        request.defaultExtension = L"ors";
        request.initialName = DefaultFileName(i);
        request.overwritePrompt = true;
        request.folder = ReadDialogFolder();
        // Several dialogs may follow each other: each says whose data it saves.
        request.title = L"Save Data As: " + SeriesTitle(i);
        const auto chosen = Prompts().FileDialog(vantix::ActiveWindow(), request);
        if (!chosen)
            continue;
        RememberDialogFolder(*chosen);

        IUnknown* pRaw = nullptr;
        transformer.GetDataSaver(&pRaw);
        auto spSaverUnk = ComPtr<IUnknown>::Attach(pRaw);
        ComPtr<IOptimizationResultsDataSaver> pSaver;
        if (spSaverUnk)
            pSaver.TryQueryFrom(spSaverUnk.Get());
        SW_ASSERT_OR(pSaver && L"can't cast to IOptimizationResultsDataSaver pointer", continue);
        std::wstring path = *chosen;
        if (path.size() < 4 || path.compare(path.size() - 4, 4, L".ors") != 0)
            path += L".ors";
        // A large source takes seconds to write: say so while the window waits.
        if (m_pTopLevel)
            m_pTopLevel->ShowProgress(L"Saving " + DisplayFileName(path) + L"...");
        const HRESULT hr = pSaver->Save(path);
        if (m_pTopLevel)
            m_pTopLevel->ShowProgress({});
        if (hr == S_OK) {
            SW_TRACE(L"Chart : data saved succesfully");
            info.m_bUnsaved = false;
        } else {
            SW_TRACE(L"Chart : data save failed");
            std::wstring text = GetErrorDescription(pSaver.Get(), platform::uuidof<IOptimizationResultsDataSaver>());
            if (text.empty())
                text = L"The file \"" + path + L"\" could not be written.";
            Prompts().MessageBox(vantix::ActiveWindow(), text, LoadResourceString(IDS_MESSAGE_CAPTION),
                                 vantix::MB_OK | vantix::MB_ICONEXCLAMATION);
        }
    }
}

bool CChart::IsWaterLevel() const
{
    return m_Adapter.IsWaterLevel();
}

bool CChart::EnableWaterLevel(bool bEnable)
{
    return m_Adapter.EnableWaterLevel(bEnable);
}

bool CChart::WaterLevelUp()
{
    return m_Adapter.MoveWaterLevel(0);
}

bool CChart::WaterLevelDown()
{
    return m_Adapter.MoveWaterLevel(1);
}

bool CChart::IsWireFramed() const
{
    return m_Adapter.IsWireFramed();
}

bool CChart::EnableWireFrame(bool bEnable)
{
    return m_Adapter.EnableWireFrame(bEnable);
}

HRESULT CChart::SetVideoMode(int renderer)
{
    return m_Adapter.SetVideoMode(renderer);
}

std::wstring CChart::GetXAxisTitle() const
{
    return m_Adapter.GetXAxisTitle();
}

std::wstring CChart::GetYAxisTitle() const
{
    return m_Adapter.GetYAxisTitle();
}

std::wstring CChart::GetFunctionTitle() const
{
    return m_Adapter.GetFunctionTitle();
}

std::wstring CChart::GetErrorDescription(IUnknown* p, const GUID& iid)
{
    SW_CHECK_POINTER(p);
    std::wstring result;
    ComPtr<platform::ISupportErrorInfo> spSupport;
    if (SUCCEEDED(spSupport.TryQueryFrom(p)) && spSupport && SUCCEEDED(spSupport->InterfaceSupportsErrorInfo(iid))) {
        platform::IErrorInfo* pInfo = nullptr;
        if (platform::GetErrorInfo(0, &pInfo) == S_OK && pInfo) {
            auto spInfo = ComPtr<platform::IErrorInfo>::Attach(pInfo);
            spInfo->GetDescription(&result);
        }
    }
    return result;
}
