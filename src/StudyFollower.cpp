#include "StudyFollower.h"

#include "ors_provider/ILiveStudy.h"
#include "platform/errorinfo.h"
#include "platform/threads.h"

#include <QCoreApplication>

#include <utility>

using namespace IQX_VantixDataProvider;

CStudyFollower::CStudyFollower(IUnknown* pData, Handler onResult, QObject* parent)
    : QObject(parent), m_spData(pData), m_onResult(std::move(onResult))
{
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { RefreshNow(); });
}

CStudyFollower::~CStudyFollower()
{
    if (m_reader.joinable())
        m_reader.join();
}

bool CStudyFollower::CanFollow(IUnknown* pData)
{
    ComPtr<IOptimizationResultsLiveStudy> live;
    live.TryQueryFrom(pData);
    return bool(live);
}

void CStudyFollower::SetFollowing(bool bOn)
{
    if (bOn)
        m_timer.start();
    else
        m_timer.stop();
}

namespace {

// The read itself: on a thread of its own, or on the calling one when the
// system gives none.
CStudyFollower::Result Read(const ComPtr<IUnknown>& data)
{
    CStudyFollower::Result r;
    ComPtr<IOptimizationResultsLiveStudy> live;
    live.TryQueryFrom(data.Get());
    if (!live) {
        r.hr = E_NOINTERFACE;
        return r;
    }
    IUnknown* pNewer = nullptr;
    r.hr = live->Refresh(&pNewer);
    r.newer = ComPtr<IUnknown>::Attach(pNewer);
    if (FAILED(r.hr)) {
        platform::IErrorInfo* info = nullptr;
        if (platform::GetErrorInfo(0, &info) == S_OK && info) {
            info->GetDescription(&r.error);
            info->Release();
        }
    }
    ULONG trials = 0;
    ComPtr<IOptimizationResultsLiveStudy> counted;
    counted.TryQueryFrom(r.newer ? r.newer.Get() : data.Get());
    if (counted && SUCCEEDED(counted->GetTrialCount(&trials)))
        r.trials = trials;
    return r;
}

} // namespace

bool CStudyFollower::RefreshNow()
{
    if (m_bReading || !m_spData)
        return false;
    m_bReading = true;
    const QPointer<CStudyFollower> self(this);
    ComPtr<IUnknown> data = m_spData;
    if (m_reader.joinable())
        m_reader.join(); // finished: its result has arrived
    m_reader = platform::TryStartThread([self, data] {
        Result result = Read(data);
        // Back on the GUI thread; a follower gone by then drops the result.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, result = std::move(result)] {
                if (self)
                    self->Done(result);
            },
            Qt::QueuedConnection);
    });
    if (!m_reader.joinable())
        Done(Read(data)); // no thread to spare: read here
    return true;
}

void CStudyFollower::Done(const Result& result)
{
    m_bReading = false;
    if (m_onResult)
        m_onResult(result);
}
