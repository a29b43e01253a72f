#pragma once
// Reads a running study again, off the GUI thread, and hands each newer data
// object back on the GUI thread. A timer triggers reads while following is
// on; RefreshNow is the same trigger for the menu command and tests.
#include "platform/comptr.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <thread>
#include <string>

class CStudyFollower : public QObject {
public:
    struct Result {
        HRESULT hr = E_FAIL;       // S_OK: newer data; S_FALSE: nothing new
        ComPtr<IUnknown> newer;    // the newer data object (S_OK)
        std::wstring error;        // why the read failed
        unsigned long trials = 0;  // trials of the study seen, any state
    };
    using Handler = std::function<void(const Result&)>;

    // pData: a data object that answers IOptimizationResultsLiveStudy.
    CStudyFollower(IUnknown* pData, Handler onResult, QObject* parent = nullptr);
    ~CStudyFollower() override;

    static bool CanFollow(IUnknown* pData);

    // The data object the next read starts from (the newest one shown).
    void SetData(IUnknown* pData) { m_spData = pData; }
    IUnknown* Data() const { return m_spData.Get(); }

    void SetFollowing(bool bOn);
    bool IsFollowing() const { return m_timer.isActive(); }
    // Starts a read unless one is running; false when one is.
    bool RefreshNow();
    bool IsReading() const { return m_bReading; }

    static constexpr int kIntervalMs = 5000;

private:
    void Done(const Result& result);

    ComPtr<IUnknown> m_spData;
    Handler m_onResult;
    QTimer m_timer;
    bool m_bReading = false;
    // Joined before the next read and on destruction: a read never outlives
    // the data provider it calls into.
    std::thread m_reader;
};
