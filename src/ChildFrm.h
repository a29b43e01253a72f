#pragma once
// One chart window: an MDI child whose only client is the chart view.
#include <QMdiSubWindow>
#include <QPointer>

#include <map>

#include <cstdint>

class CUpdateUI;
class CVantixView;
class ITopLevelControl;

// Private messages the main frame sends to chart windows. An output pointer
// of 0 means no answer is wanted, and then nothing is done.
enum : unsigned {
    WM_USER = 0x0400,
    WM_CHILD_GETFRAME = WM_USER + 100,     // lParam: CChildFrame** out
    WM_CHILD_SETVIDEOMODE = WM_USER + 101, // wParam: renderer (0 software, 1 OpenGL)
    WM_CHILD_GETSELECTION = WM_USER + 102, // lParam: int* out
    WM_CHILD_GETFOV = WM_USER + 103,       // lParam: int* out
    WM_CHILD_SETSELECTION = WM_USER + 104, // wParam: 1 on, else off
    WM_CHILD_SETFOV = WM_USER + 105,       // wParam: degrees
    WM_CHILD_GETVIDEOMODE = WM_USER + 106, // lParam: int* out
};

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    enum { IDR_CHARTFRAME = 129 };

    CChildFrame(CUpdateUI* pUpdate, ITopLevelControl* pTopLevel, QWidget* parent = nullptr);
    ~CChildFrame() override;

    // Creates the view and its chart control. False when the control could not
    // be started; the caller then deletes the frame without showing it.
    bool Create();

    // The frame's one entry point for the private messages above.
    std::intptr_t SendChildMessage(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

    // A command the main frame does not handle itself. True when handled.
    bool OnCommand(unsigned id);

    CVantixView* View() const { return m_view; }
    // Titles the window with its first series' file and slice.
    void UpdateTitle();

    // How many times each private message arrived (tests check "exactly once").
    int MessageCount(unsigned msg) const;
    void ResetMessageCounts() { m_counts.clear(); }

    // The answer to the last close request: true when the window refused.
    bool Refused() const { return m_bRefused; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CUpdateUI* m_pUpdate;
    ITopLevelControl* m_pTopLevel;
    QPointer<CVantixView> m_view;
    bool m_bRefused = false;
    std::map<unsigned, int> m_counts;
};
