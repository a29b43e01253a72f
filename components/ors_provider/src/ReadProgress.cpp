#include "ReadProgress.h"

#include "platform/parallel.h"

#include <algorithm>

namespace ors {

ReadProgress::ReadProgress(IQX_VantixDataProvider::ILoadProgressSink* pSink)
    : m_pSink(pSink), m_caller(std::this_thread::get_id())
{
}

void ReadProgress::BeginStage(unsigned endPercent, std::uint64_t units)
{
    if (!m_pSink)
        return;
    // A stage starts where the last one ended, so the position never goes back.
    m_stageBegin = std::max(m_stageEnd, m_stageBegin);
    m_stageEnd = std::max(m_stageBegin, kTotal * std::min(endPercent, 100u) / 100);
    m_units = units;
    m_done.store(0, std::memory_order_relaxed);
    report(false);
}

void ReadProgress::Finish()
{
    if (m_pSink)
        report(true);
}

void ReadProgress::report(bool bFinal)
{
    if (Cancelled())
        throw LoadCancelled{};
    std::uint64_t position = kTotal;
    if (!bFinal) {
        const std::uint64_t done = std::min(m_done.load(std::memory_order_relaxed), m_units);
        const std::uint64_t span = m_stageEnd - m_stageBegin;
        // span <= kTotal and done <= units: the product of the two fits easily
        // unless units is huge, so scale units down first in that case.
        std::uint64_t part = 0;
        if (m_units > 0) {
            const std::uint64_t shift = m_units > (std::uint64_t(1) << 40) ? 24 : 0;
            part = span * (done >> shift) / std::max<std::uint64_t>(1, m_units >> shift);
        }
        position = std::max(m_lastPosition, std::min(m_stageBegin + part, m_stageEnd));
        const auto now = Clock::now();
        const bool bDue = !m_bStarted || position >= m_lastPosition + kTotal / 100 || now - m_lastCall >= kInterval;
        if (!bDue)
            return;
    }
    call(position);
}

void ReadProgress::call(std::uint64_t position)
{
    m_bStarted = true;
    m_lastPosition = position;
    const HRESULT hr = m_pSink->OnProgress(position, kTotal);
    m_lastCall = Clock::now();
    if (FAILED(hr)) {
        m_bCancelled.store(true, std::memory_order_relaxed);
        throw LoadCancelled{};
    }
}

void ParallelLoad(ReadProgress& progress, int parts, const std::function<void(int, int)>& job)
{
    if (progress.Active())
        platform::ParallelFor(parts, job, [&progress] { progress.Report(); });
    else
        platform::ParallelFor(parts, job);
}

} // namespace ors
