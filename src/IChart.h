#pragma once
#include "platform/unknown.h"

#include <string>


// One chart document as the view, the child frame and the main frame see it.
class IChart {
public:
    struct FileInfo;

    virtual bool LoadData(const std::wstring& path, bool bUnsaved, bool bTemporary) = 0;
    virtual bool OpenAndLoad() = 0;
    virtual bool HasUnsavedData() const = 0;
    virtual void SaveData() = 0;
    virtual bool IsWaterLevel() const = 0;
    virtual bool EnableWaterLevel(bool bEnable) = 0;
    virtual bool WaterLevelUp() = 0;
    virtual bool WaterLevelDown() = 0;
    virtual bool IsWireFramed() const = 0;
    virtual bool EnableWireFrame(bool bEnable) = 0;
    virtual HRESULT SetVideoMode(int renderer) = 0;
    virtual HRESULT InternalLoadData(IUnknown* pData, const FileInfo& info, bool& bLoaded) = 0;

protected:
    ~IChart() = default;
};

// One loaded data item.
struct IChart::FileInfo {
    bool m_bUnsaved = false;
    bool m_bTemporary = false;
    std::wstring m_Path;
};

