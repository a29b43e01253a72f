#pragma once
// The adapter's entry for the chart control's picking events.
class IReceive {
public:
    // The picked point in control coordinates (x, vertical y, z).
    virtual void OnSelectPoint(double* pX, double* pY, double* pZ) = 0;
    virtual void OnClearPoint() = 0;

protected:
    ~IReceive() = default;
};
