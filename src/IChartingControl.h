#pragma once
// The program's own interface to a chart: series from data descriptions,
// display commands and the picked point. Slots marked "unused" keep the table
// stable for implementations that give them a meaning.
#include "IDataTransfer.h"
#include "IUpdateEvent.h"

#include "platform/hresult.h"
#include "platform/unknown.h"

#include <cstdint>
#include <string>

class IChartingControl {
public:
    // Passed along with every new series; the adapter does not read it.
    struct Palette {
        bool bFlag = false;
        std::uint32_t color1 = 0;
        std::uint32_t color2 = 0;
        std::uint32_t color3 = 0;
    };

    virtual bool Initialize(IUnknown* pControl) = 0;                 // 0
    virtual const wchar_t* GetControlClassId() const = 0;            // 1
    virtual bool SetUpdateEvent(IUpdateEvent* pUpdate) = 0;          // 2
    virtual bool Unused3(int) = 0;                                   // 3
    virtual bool Unused4(int) = 0;                                   // 4
    virtual bool Unused5(int) = 0;                                   // 5
    virtual bool ZoomStep(int direction) = 0;                        // 6
    virtual bool Unused7(int) = 0;                                   // 7
    virtual bool MoveWaterLevel(int direction) = 0;                  // 8: 0 up, 1 down
    virtual bool EnableWaterLevel(bool bOn) = 0;                     // 9
    virtual bool IsWaterLevel() const = 0;                           // 10
    virtual bool Unused11(int) = 0;                                  // 11
    virtual bool Unused12(int) = 0;                                  // 12
    virtual bool Unused13(int) = 0;                                  // 13
    virtual std::uint32_t Unused14() = 0;                            // 14
    virtual bool Unused15() = 0;                                     // 15
    virtual bool Unused16() = 0;                                     // 16
    virtual bool Unused17() = 0;                                     // 17
    virtual unsigned CreateNewSeries(IDataTransfer* pDataSource, const Palette& palette) = 0; // 18
    virtual bool Unused19(int) = 0;                                  // 19
    virtual bool Unused20(int, int) = 0;                             // 20
    virtual bool Unused21(int) = 0;                                  // 21
    virtual bool Unused22(int, int) = 0;                             // 22
    virtual bool GetSelectedPoint(double* x, double* y, double* z) const = 0; // 23
    virtual bool IsPointSelected() const = 0;                        // 24
    virtual std::wstring GetXAxisTitle() const = 0;                  // 25
    virtual std::wstring GetYAxisTitle() const = 0;                  // 26
    virtual std::wstring GetFunctionTitle() const = 0;               // 27
    virtual bool EnableWireFrame(bool bOn) = 0;                      // 28
    virtual bool IsWireFramed() const = 0;                           // 29
    virtual HRESULT SetVideoMode(int renderer) = 0;                  // 30
    virtual int GetVideoMode() = 0;                                  // 31

protected:
    ~IChartingControl() = default;
};
