#pragma once
// Listener of a chart's picking events (the view's status-bar text).
class IUpdateEvent {
public:
    enum {
        EVENT_POINT_SELECTED = 0,
        EVENT_POINT_CLEARED = 1,
    };
    virtual bool OnChartEvent(int code) = 0;

protected:
    ~IUpdateEvent() = default;
};
