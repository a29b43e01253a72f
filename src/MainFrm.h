#pragma once
// The single top-level window: menu bar, toolbar, status bar and the MDI area
// in which every chart lives in its own child window.
#include "CommandIds.h"
#include "ITopLevelControl.h"
#include "UpdateUI.h"
#include "plot_control/IPlotControl.h"

#include <QMainWindow>
#include <QMetaObject>

#include <map>
#include <string>
#include <vector>

class CChildFrame;
class QAction;
class QMdiArea;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    enum { IDR_MAINFRAME = 128 };
    // Command ids, as members so callers can write CMainFrame::ID_FILE_NEW.
    using enum vantix::CommandId;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds menus, toolbar, status bar and the MDI area (the window's creation).
    void OnCreate();

    // Opens a results file in a new chart window (command line).
    void OpenChartFile(const std::wstring& path);
    // Persists and broadcasts a renderer change (0 software, 1 OpenGL).
    void OnRendererChanged(plot::RendererCode renderer);
    // Runs one command as if chosen from the menu, toolbar or keyboard.
    void OnCommand(unsigned id);
    // Idle processing: command states that depend on the active chart.
    bool OnIdle();

    CUpdateUI& UpdateUI() { return m_UpdateUI; }
    QMdiArea* MdiArea() const { return m_mdi; }
    QAction* Action(unsigned id) const;
    CChildFrame* ActiveChart() const;
    std::vector<CChildFrame*> Charts() const;
    // The File menu's recent-file entries and the Window menu's chart entries,
    // built again from the settings and the open charts.
    void UpdateRecentFilesMenu();
    void UpdateWindowMenu();
    // The View menu's Series submenu: one checkable entry per series of the
    // active chart, built again whenever the View menu opens.
    void UpdateSeriesMenu();
    QMenu* SeriesMenu() const { return m_seriesMenu; }
    QMenu* FileMenu() const { return m_fileMenu; }
    QMenu* WindowMenu() const { return m_windowMenu; }
    std::vector<QAction*> RecentFileActions() const { return m_recentActions; }
    std::vector<QAction*> WindowActions() const { return m_windowActions; }

    // Last values of the options dialog.
    int m_nFov = 45;
    bool m_bTracking = true;
    bool m_bApplyToAll = false;
    bool m_bCancelled = false;
    plot::RendererCode m_renderer = plot::RendererCode::OpenGL;

    class CEventManager : public ITopLevelControl {
    public:
        explicit CEventManager(CMainFrame* pFrame) : m_pFrame(pFrame) {}
        ~CEventManager();
        bool RegisterTemporaryFile(const wchar_t* path) override;
        // A busy cursor and the text in the status bar, painted at once (the
        // event loop waits for the operation).
        void ShowProgress(const std::wstring& text) override;
        void FileOpened(const std::wstring& path) override;
        void ShowStatus(const std::wstring& text) override;
        const std::vector<std::wstring>& Files() const { return m_Files; }

    private:
        CMainFrame* m_pFrame;
        std::vector<std::wstring> m_Files;
        bool m_bBusy = false;
    };

protected:
    void closeEvent(QCloseEvent* event) override;
    // Results files dropped on the window open as new charts, as on the command line.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    CChildFrame* NewChartWindow();
    void OnNewChart();
    // Opens a study from a database URL as a new chart.
    void OnConnectToStudy();
    void OnChartOptions();
    void OnToggleToolbar();
    void OnToggleStatusBar();
    // Visits every chart window once, leaving the same one active.
    template <class F>
    void ForEachChart(F&& f);
    QAction* AddCommand(QMenu* menu, unsigned id, const QString& text, const QKeySequence& key = {});

    CUpdateUI m_UpdateUI;
    CEventManager m_EventManager;
    QMdiArea* m_mdi = nullptr;
    QToolBar* m_toolbar = nullptr;
    std::map<unsigned, QAction*> m_actions;
    QMetaObject::Connection m_idle;
    bool m_bToolbarVisible = true;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr; // before the recent entries
    QAction* m_exitSeparator = nullptr;   // after them
    std::vector<QAction*> m_recentActions;
    QMenu* m_windowMenu = nullptr;
    std::vector<QAction*> m_windowActions;
    QMenu* m_seriesMenu = nullptr;
};
