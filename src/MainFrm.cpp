#include "MainFrm.h"

#include <QActionGroup>

#include "ChildFrm.h"
#include "ConnectStudyDlg.h"
#include "FileHistory.h"
#include "Chart.h"
#include "Prompts.h"
#include "ResourceStrings.h"
#include "RendererSetting.h"
#include "VersionInfo.h"
#include "ToolbarImages.h"
#include "VantixView.h"
#include "VisualizeOptionsDlg.h"
#include "aboutdlg.h"
#include "diagnostics/snagwise.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QStyle>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

using namespace vantix;

CMainFrame::CEventManager::~CEventManager()
{
    for (const auto& f : m_Files)
        QFile::remove(QString::fromStdWString(f));
}

bool CMainFrame::CEventManager::RegisterTemporaryFile(const wchar_t* path)
{
    m_Files.emplace_back(path ? path : L"");
    return true;
}

void CMainFrame::CEventManager::ShowStatus(const std::wstring& text)
{
    // In the pane the picked point's text uses; the next pick replaces it.
    m_pFrame->m_UpdateUI.UISetText(0, QString::fromStdWString(text), true);
    m_pFrame->m_UpdateUI.UIUpdateStatusBar(true);
}

void CMainFrame::CEventManager::ShowProgress(const std::wstring& text)
{
    if (!text.empty() && !m_bBusy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (text.empty() && m_bBusy)
        QApplication::restoreOverrideCursor();
    m_bBusy = !text.empty();
    QStatusBar* bar = m_pFrame->statusBar();
    if (m_bBusy)
        bar->showMessage(QString::fromStdWString(text));
    else
        bar->clearMessage();
    bar->repaint();
}

void CMainFrame::CEventManager::FileOpened(const std::wstring& path)
{
    AddRecentFile(path);
    m_pFrame->UpdateRecentFilesMenu();
}

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), m_EventManager(this)
{
    setAcceptDrops(true);
    setWindowTitle(QString::fromStdWString(LoadResourceString(IDS_MAINFRAME)));
    setObjectName(QStringLiteral("CMainFrame"));
}

CMainFrame::~CMainFrame()
{
    if (m_idle)
        QObject::disconnect(m_idle);
    // Charts still open go with the MDI area after the members: no activation may reach them.
    if (m_mdi)
        m_mdi->disconnect(this);
}

QAction* CMainFrame::AddCommand(QMenu* menu, unsigned id, const QString& text, const QKeySequence& key)
{
    auto* a = new QAction(text, this);
    a->setObjectName(QString::number(id));
    a->setData(id);
    if (!key.isEmpty()) {
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
    if (menu)
        menu->addAction(a);
    else
        addAction(a); // keyboard only
    m_actions[id] = a;
    return a;
}

QAction* CMainFrame::Action(unsigned id) const
{
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::OnCreate()
{
    // Menu 128 and accelerator table 128.
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    m_fileMenu = file;
    AddCommand(file, ID_FILE_NEW, QStringLiteral("&New Chart..."), QKeySequence(Qt::CTRL | Qt::Key_N));
    // Open is what everyone tries first; it makes a new chart like New Chart.
    AddCommand(file, ID_FILE_OPEN, QStringLiteral("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O))
        ->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    AddCommand(file, ID_FILE_CONNECT, QStringLiteral("&Connect to Study..."),
               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    AddCommand(file, ID_INSERT_DATA, QStringLiteral("&Insert Data..."), QKeySequence(Qt::Key_Insert));
    AddCommand(file, ID_FILE_SAVE_AS, QStringLiteral("&Save Data As..."), QKeySequence(Qt::CTRL | Qt::Key_S));
    AddCommand(file, ID_FILE_EXPORT_IMAGE, QStringLiteral("&Export Image..."), QKeySequence(Qt::CTRL | Qt::Key_E));
    m_recentSeparator = file->addSeparator();
    m_exitSeparator = file->addSeparator();
    AddCommand(file, ID_APP_EXIT, QStringLiteral("E&xit"));
    UpdateRecentFilesMenu();
    // Accepted and ignored, as the accelerator Ctrl+P is.
    AddCommand(nullptr, ID_FILE_SAVE_AS2, QString());
    AddCommand(nullptr, ID_FILE_PRINT, QString(), QKeySequence(Qt::CTRL | Qt::Key_P));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    AddCommand(edit, ID_EDIT_COPY_IMAGE, QStringLiteral("&Copy Image"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    AddCommand(view, ID_VIEW_TOOLBAR, QStringLiteral("&Toolbar"))->setCheckable(true);
    AddCommand(view, ID_VIEW_STATUS_BAR, QStringLiteral("&Status Bar"))->setCheckable(true);
    view->addSeparator();
    AddCommand(view, ID_WATER_LEVEL, QStringLiteral("&Water Level"), QKeySequence(Qt::CTRL | Qt::Key_L))
        ->setCheckable(true);
    AddCommand(view, ID_WATER_UP, QStringLiteral("Move Water Level &Up"));
    AddCommand(view, ID_WATER_DOWN, QStringLiteral("Move Water Level &Down"));
    AddCommand(view, ID_WIREFRAME, QStringLiteral("Draw Wire&Frame"), QKeySequence(Qt::CTRL | Qt::Key_W))
        ->setCheckable(true);
    AddCommand(view, ID_VIEW_TOP, QStringLiteral("Top &View"));
    AddCommand(view, ID_VIEW_FRONT, QStringLiteral("F&ront View"));
    AddCommand(view, ID_VIEW_SIDE, QStringLiteral("S&ide View"));
    view->addSeparator();
    // Where several records share a cell (inputs held over a range or "All").
    QMenu* cells = view->addMenu(QStringLiteral("Shared &Cells"));
    auto* cellGroup = new QActionGroup(this);
    for (const auto& [id, text] : {std::pair{ID_AGGREGATE_MIN, QStringLiteral("&Minimum")},
                                   std::pair{ID_AGGREGATE_MAX, QStringLiteral("Ma&ximum")},
                                   std::pair{ID_AGGREGATE_MEAN, QStringLiteral("M&ean")}}) {
        QAction* a = AddCommand(cells, id, text);
        a->setCheckable(true);
        cellGroup->addAction(a);
    }
    AddCommand(view, ID_SURFACE_FROM_POINTS, QStringLiteral("Surface from &Points")) ->setCheckable(true);
    AddCommand(view, ID_COLOR_BY_VALUE, QStringLiteral("Colour Surfaces by &Value"))->setCheckable(true);
    QMenu* scales = view->addMenu(QStringLiteral("&Log Scale"));
    AddCommand(scales, ID_LOG_X, QStringLiteral("&X Axis"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_X))
        ->setCheckable(true);
    AddCommand(scales, ID_LOG_Y, QStringLiteral("&Y Axis"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Y))
        ->setCheckable(true);
    AddCommand(scales, ID_LOG_Z, QStringLiteral("&Z Axis (Function)"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z))
        ->setCheckable(true);
    view->addSeparator();
    AddCommand(view, ID_FOLLOW_STUDY, QStringLiteral("&Follow Study")) ->setCheckable(true);
    AddCommand(view, ID_READ_STUDY, QStringLiteral("&Read Study Now"), QKeySequence(Qt::Key_F5));
    m_seriesMenu = view->addMenu(QStringLiteral("S&eries"));
    connect(view, &QMenu::aboutToShow, this, &CMainFrame::UpdateSeriesMenu);
    UpdateSeriesMenu();
    view->addSeparator();
    AddCommand(view, ID_CHART_OPTIONS, QStringLiteral("Chart &Options..."));

    QMenu* window = menuBar()->addMenu(QStringLiteral("&Window"));
    m_windowMenu = window;
    connect(window, &QMenu::aboutToShow, this, &CMainFrame::UpdateWindowMenu);
    AddCommand(window, ID_WINDOW_CASCADE, QStringLiteral("&Cascade"));
    AddCommand(window, ID_WINDOW_TILE_HORZ, QStringLiteral("&Tile"));
    AddCommand(window, ID_WINDOW_ARRANGE, QStringLiteral("&Arrange Icons"));
    AddCommand(nullptr, ID_NEXT_PANE, QString(), QKeySequence(Qt::Key_F6));
    AddCommand(nullptr, ID_PREV_PANE, QString(), QKeySequence(Qt::SHIFT | Qt::Key_F6));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    AddCommand(help, ID_APP_ABOUT, QStringLiteral("&About Vantix"));

    // Toolbar of the current scale step.
    m_toolbar = addToolBar(QStringLiteral("Standard"));
    m_toolbar->setObjectName(QString::number(ID_VIEW_TOOLBAR));
    m_toolbar->setMovable(false);
    const ToolbarImages images = LoadToolbarImages();
    m_toolbar->setIconSize(images.size);
    std::size_t image = 0;
    for (unsigned id : ToolbarButtonIds()) {
        if (id == 0) {
            m_toolbar->addSeparator();
            continue;
        }
        QAction* a = Action(id);
        if (image < images.icons.size())
            a->setIcon(images.icons[image]);
        ++image;
        m_toolbar->addAction(a);
    }
    m_toolbar->insertAction(Action(ID_INSERT_DATA), Action(ID_FILE_OPEN));
    m_toolbar->toggleViewAction()->setVisible(false);

    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("MDIClient"));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
        if (auto* chart = qobject_cast<CChildFrame*>(w); chart && chart->View())
            chart->View()->UpdateInterface();
        OnIdle();
    });

    const struct {
        unsigned id;
        unsigned where;
    } entries[] = {
        {ID_VIEW_TOOLBAR, CUpdateUI::UPDUI_MENU},
        {ID_VIEW_STATUS_BAR, CUpdateUI::UPDUI_MENU},
        {ID_INSERT_DATA, CUpdateUI::UPDUI_TOOLBAR},
        {0, CUpdateUI::UPDUI_STATUSBAR},
        {ID_FILE_OPEN, CUpdateUI::UPDUI_MENU | CUpdateUI::UPDUI_TOOLBAR},
        {ID_FILE_SAVE_AS, CUpdateUI::UPDUI_MENU | CUpdateUI::UPDUI_TOOLBAR},
        {ID_FILE_SAVE_AS2, CUpdateUI::UPDUI_MENU | CUpdateUI::UPDUI_TOOLBAR},
        {ID_WATER_LEVEL, CUpdateUI::UPDUI_MENU | CUpdateUI::UPDUI_TOOLBAR},
        {ID_WATER_UP, CUpdateUI::UPDUI_MENU | CUpdateUI::UPDUI_TOOLBAR},
        {ID_WATER_DOWN, CUpdateUI::UPDUI_MENU | CUpdateUI::UPDUI_TOOLBAR},
        {ID_WIREFRAME, CUpdateUI::UPDUI_MENU | CUpdateUI::UPDUI_TOOLBAR},
        {ID_AGGREGATE_MIN, CUpdateUI::UPDUI_MENU},
        {ID_AGGREGATE_MAX, CUpdateUI::UPDUI_MENU},
        {ID_AGGREGATE_MEAN, CUpdateUI::UPDUI_MENU},
        {ID_SURFACE_FROM_POINTS, CUpdateUI::UPDUI_MENU},
        {ID_VIEW_TOP, CUpdateUI::UPDUI_MENU},
        {ID_VIEW_FRONT, CUpdateUI::UPDUI_MENU},
        {ID_VIEW_SIDE, CUpdateUI::UPDUI_MENU},
        {ID_COLOR_BY_VALUE, CUpdateUI::UPDUI_MENU},
        {ID_FILE_EXPORT_IMAGE, CUpdateUI::UPDUI_MENU},
        {ID_EDIT_COPY_IMAGE, CUpdateUI::UPDUI_MENU},
        {ID_FILE_CONNECT, CUpdateUI::UPDUI_MENU},
        {ID_FOLLOW_STUDY, CUpdateUI::UPDUI_MENU},
        {ID_READ_STUDY, CUpdateUI::UPDUI_MENU},
        {ID_LOG_X, CUpdateUI::UPDUI_MENU},
        {ID_LOG_Y, CUpdateUI::UPDUI_MENU},
        {ID_LOG_Z, CUpdateUI::UPDUI_MENU},
    };
    for (const auto& e : entries) {
        m_UpdateUI.UIAddEntry(e.id, e.where);
        if (QAction* a = Action(e.id))
            m_UpdateUI.UIAddAction(e.id, a);
    }
    m_UpdateUI.UIAddStatusBar(statusBar(), LoadResourceQString(IDS_READY));
    m_UpdateUI.UISetCheck(ID_VIEW_TOOLBAR, true);
    m_UpdateUI.UISetCheck(ID_VIEW_STATUS_BAR, true);
    for (unsigned id : {ID_INSERT_DATA, ID_FILE_SAVE_AS, ID_FILE_SAVE_AS2, ID_WATER_LEVEL, ID_WATER_UP,
                        ID_WATER_DOWN, ID_WIREFRAME, ID_AGGREGATE_MIN, ID_AGGREGATE_MAX, ID_AGGREGATE_MEAN,
                        ID_SURFACE_FROM_POINTS, ID_VIEW_TOP, ID_VIEW_FRONT, ID_VIEW_SIDE,
                        ID_COLOR_BY_VALUE, ID_FILE_EXPORT_IMAGE, ID_EDIT_COPY_IMAGE, ID_LOG_X, ID_LOG_Y, ID_LOG_Z,
                        ID_FOLLOW_STUDY, ID_READ_STUDY})
        m_UpdateUI.UIEnable(id, false);
    m_UpdateUI.UIUpdateMenuBar(true);
    m_UpdateUI.UIUpdateToolBar(true);

    // Idle processing runs whenever the event loop is about to wait.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        m_idle = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { OnIdle(); });
    else
        SW_ASSERT(0 != 0 && "pLoop != 0");

    VersionInfo info;
    setWindowTitle(QString::fromStdWString(LoadResourceString(IDS_MESSAGE_CAPTION) + L" " + info.registryProduct));
    setWindowIcon(QIcon(QStringLiteral(":/icons/vantix.png")));
}

bool CMainFrame::OnIdle()
{
    const bool hasChart = ActiveChart() != nullptr;
    m_UpdateUI.UIEnable(ID_INSERT_DATA, hasChart);
    m_UpdateUI.UIEnable(ID_WATER_LEVEL, hasChart);
    m_UpdateUI.UIEnable(ID_WIREFRAME, hasChart);
    for (unsigned id : {ID_AGGREGATE_MIN, ID_AGGREGATE_MAX, ID_AGGREGATE_MEAN, ID_SURFACE_FROM_POINTS, ID_VIEW_TOP,
                        ID_VIEW_FRONT, ID_VIEW_SIDE, ID_COLOR_BY_VALUE, ID_FILE_EXPORT_IMAGE, ID_EDIT_COPY_IMAGE})
        m_UpdateUI.UIEnable(id, hasChart);
    // Following applies to charts of a running study.
    const CChart* chart = hasChart ? &ActiveChart()->View()->Chart() : nullptr;
    m_UpdateUI.UIEnable(ID_FOLLOW_STUDY, chart && chart->CanFollow());
    m_UpdateUI.UISetCheck(ID_FOLLOW_STUDY, chart && chart->IsFollowing());
    m_UpdateUI.UIEnable(ID_READ_STUDY, chart && chart->CanFollow() && !chart->IsReadingStudy());
    // A log scale needs every value of the axis above zero.
    for (int axis = 0; axis < 3; ++axis) {
        const CChartAdapter* adapter = hasChart ? &ActiveChart()->View()->Chart().Adapter() : nullptr;
        m_UpdateUI.UIEnable(ID_LOG_X + unsigned(axis), adapter && adapter->SeriesCount() > 0 && adapter->CanAxisLog(axis));
        m_UpdateUI.UISetCheck(ID_LOG_X + unsigned(axis), adapter && adapter->IsAxisLog(axis));
    }
    const bool move = hasChart && m_UpdateUI.IsEnabled(ID_WATER_LEVEL) && m_UpdateUI.IsChecked(ID_WATER_LEVEL);
    m_UpdateUI.UIEnable(ID_WATER_UP, move);
    m_UpdateUI.UIEnable(ID_WATER_DOWN, move);
    if (!hasChart) {
        // Nothing is left to describe: the last chart's pick and toggles go with it.
        m_UpdateUI.UIEnable(ID_FILE_SAVE_AS, false);
        m_UpdateUI.UISetText(0, QString());
        for (unsigned id : {ID_WATER_LEVEL, ID_WIREFRAME, ID_SURFACE_FROM_POINTS, ID_COLOR_BY_VALUE})
            m_UpdateUI.UISetCheck(id, false);
    }
    m_UpdateUI.UIUpdateToolBar();
    m_UpdateUI.UIUpdateMenuBar();
    m_UpdateUI.UIUpdateStatusBar();
    return false;
}

CChildFrame* CMainFrame::ActiveChart() const
{
    if (!m_mdi)
        return nullptr;
    // currentSubWindow answers also while the frame itself is not active.
    return qobject_cast<CChildFrame*>(m_mdi->currentSubWindow());
}

std::vector<CChildFrame*> CMainFrame::Charts() const
{
    std::vector<CChildFrame*> out;
    if (!m_mdi)
        return out;
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        if (auto* c = qobject_cast<CChildFrame*>(w))
            out.push_back(c);
    return out;
}

template <class F>
void CMainFrame::ForEachChart(F&& f)
{
    // Starts at the active chart and goes round the creation order once, each
    // chart active while it is visited; the first one is active again after.
    CChildFrame* first = ActiveChart();
    if (!first)
        return;
    const std::vector<CChildFrame*> charts = Charts();
    const auto start = std::find(charts.begin(), charts.end(), first);
    const std::size_t offset = start == charts.end() ? 0 : std::size_t(start - charts.begin());
    for (std::size_t i = 0; i < charts.size(); ++i) {
        CChildFrame* current = charts[(offset + i) % charts.size()];
        m_mdi->setActiveSubWindow(current);
        f(current);
    }
    m_mdi->setActiveSubWindow(first);
}

CChildFrame* CMainFrame::NewChartWindow()
{
    auto* frame = new CChildFrame(&m_UpdateUI, &m_EventManager);
    if (!frame->Create()) {
        delete frame;
        return nullptr;
    }
    const bool maximized = ActiveChart() && ActiveChart()->isMaximized();
    m_mdi->addSubWindow(frame);
    if (maximized)
        frame->showMaximized();
    else
        frame->show();
    m_mdi->setActiveSubWindow(frame);
    return frame;
}

void CMainFrame::OnNewChart()
{
    CChildFrame* frame = NewChartWindow();
    if (!frame)
        return;
    const bool loaded = frame->View()->Chart().OpenAndLoad();
    frame->View()->UpdateInterface();
    frame->UpdateTitle();
    if (!loaded)
        frame->close();
}

void CMainFrame::OnConnectToStudy()
{
    CConnectStudyDlg dlg(ActiveWindow());
    if (Prompts().DoModal(dlg) != IDOK)
        return;
    dlg.Remember();
    OpenChartFile(dlg.Url());
}

void CMainFrame::OpenChartFile(const std::wstring& path)
{
    CChildFrame* frame = NewChartWindow();
    if (!frame)
        return;
    const bool loaded = frame->View()->Chart().LoadData(path, true, false);
    frame->View()->UpdateInterface();
    frame->UpdateTitle();
    if (!loaded)
        QTimer::singleShot(0, frame, [frame] { frame->close(); });
}

void CMainFrame::OnCommand(unsigned id)
{
    switch (id) {
    case ID_APP_EXIT:
        QTimer::singleShot(0, this, [this] { close(); });
        return;
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
        OnNewChart();
        return;
    case ID_FILE_CONNECT:
        OnConnectToStudy();
        return;
    case ID_VIEW_TOOLBAR:
        OnToggleToolbar();
        return;
    case ID_VIEW_STATUS_BAR:
        OnToggleStatusBar();
        return;
    case ID_APP_ABOUT: {
        CAboutDlg dlg(ActiveWindow());
        dlg.DoModal();
        return;
    }
    case ID_WINDOW_CASCADE:
        m_mdi->cascadeSubWindows();
        return;
    case ID_WINDOW_TILE_HORZ:
        m_mdi->tileSubWindows();
        return;
    case ID_WINDOW_ARRANGE:
        // Minimised chart windows line up along the bottom when re-tiled.
        for (QMdiSubWindow* w : m_mdi->subWindowList())
            if (w->isMinimized())
                w->showMinimized();
        return;
    case ID_CHART_OPTIONS:
        OnChartOptions();
        return;
    case ID_NEXT_PANE:
        if (m_mdi) m_mdi->activateNextSubWindow();
        return;
    case ID_PREV_PANE:
        if (m_mdi) m_mdi->activatePreviousSubWindow();
        return;
    default:
        if (CChildFrame* chart = ActiveChart())
            chart->OnCommand(id);
        return;
    }
}

void CMainFrame::OnToggleToolbar()
{
    m_bToolbarVisible = !m_bToolbarVisible;
    m_toolbar->setVisible(m_bToolbarVisible);
    m_UpdateUI.UISetCheck(ID_VIEW_TOOLBAR, m_bToolbarVisible);
    m_UpdateUI.UIUpdateMenuBar();
}

void CMainFrame::OnToggleStatusBar()
{
    const bool visible = !statusBar()->isVisible();
    statusBar()->setVisible(visible);
    m_UpdateUI.UISetCheck(ID_VIEW_STATUS_BAR, visible);
    m_UpdateUI.UIUpdateMenuBar();
}

void CMainFrame::OnChartOptions()
{
    CChildFrame* chart = ActiveChart();
    if (!chart)
        return;
    int fov = 100;
    int tracking = 0;
    int renderer = 0;
    chart->SendChildMessage(WM_CHILD_GETFOV, 0, reinterpret_cast<std::intptr_t>(&fov));
    chart->SendChildMessage(WM_CHILD_GETSELECTION, 0, reinterpret_cast<std::intptr_t>(&tracking));
    chart->SendChildMessage(WM_CHILD_GETVIDEOMODE, 0, reinterpret_cast<std::intptr_t>(&renderer));
    m_nFov = fov;
    m_bTracking = tracking == 1;
    m_renderer = plot::ToRendererCode(renderer);
    m_bApplyToAll = false;

    CVisualizeOptionsDlg dlg(ActiveWindow());
    dlg.m_nFov = m_nFov;
    dlg.m_bTracking = m_bTracking;
    dlg.m_bApplyToAll = m_bApplyToAll;
    dlg.m_bCancelled = m_bCancelled;
    dlg.m_renderer = m_renderer;
    if (Prompts().DoModal(dlg) != IDOK)
        return;

    if (dlg.m_renderer != m_renderer)
        OnRendererChanged(dlg.m_renderer);
    const auto apply = [&](CChildFrame* c) {
        c->SendChildMessage(WM_CHILD_SETFOV, static_cast<std::uintptr_t>(dlg.m_nFov), 0);
        c->SendChildMessage(WM_CHILD_SETSELECTION, dlg.m_bTracking ? 1 : 0, 0);
    };
    if (dlg.m_bApplyToAll)
        ForEachChart(apply);
    else
        apply(chart);
    m_nFov = dlg.m_nFov;
    m_bTracking = dlg.m_bTracking;
    m_bApplyToAll = dlg.m_bApplyToAll;
    m_bCancelled = dlg.m_bCancelled;
    m_renderer = dlg.m_renderer;
}

void CMainFrame::OnRendererChanged(plot::RendererCode renderer)
{
    Prompts().MessageBox(ActiveWindow(), LoadResourceString(IDS_REOPEN_FOR_RENDERER), LoadResourceString(IDS_MESSAGE_CAPTION), MB_OK | MB_ICONINFORMATION);
    ForEachChart([&](CChildFrame* c) { c->SendChildMessage(WM_CHILD_SETVIDEOMODE, static_cast<std::uintptr_t>(renderer), 0); });
    WriteVideoModeSetting(VideoModeText(renderer));
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    while (CChildFrame* chart = ActiveChart() ? ActiveChart() : (Charts().empty() ? nullptr : Charts().front())) {
        m_mdi->setActiveSubWindow(chart);
        chart->close();
        if (chart->Refused()) {
            event->ignore();
            return;
        }
        // WA_DeleteOnClose deletes the window later; drop it from the area now.
        if (m_mdi->subWindowList().contains(chart))
            m_mdi->removeSubWindow(chart);
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::UpdateRecentFilesMenu()
{
    if (!m_fileMenu)
        return;
    for (QAction* a : m_recentActions)
        delete a;
    m_recentActions.clear();
    int n = 0;
    for (const std::wstring& path : ReadRecentFiles()) {
        QString name = QString::fromStdWString(DisplayFileName(path));
        const QString label = QStringLiteral("&%1 %2").arg(++n).arg(name.replace(QLatin1Char('&'), QStringLiteral("&&")));
        auto* a = new QAction(label, m_fileMenu);
        a->setData(QString::fromStdWString(path));
        connect(a, &QAction::triggered, this, [this, path] { OpenChartFile(path); });
        m_fileMenu->insertAction(m_exitSeparator, a);
        m_recentActions.push_back(a);
    }
    m_recentSeparator->setVisible(!m_recentActions.empty());
}

void CMainFrame::UpdateWindowMenu()
{
    // Qt's MDI convention: one checkable entry per window, the active one checked.
    for (QAction* a : m_windowActions)
        delete a;
    m_windowActions.clear();
    const std::vector<CChildFrame*> charts = Charts();
    if (charts.empty())
        return;
    m_windowActions.push_back(m_windowMenu->addSeparator());
    int n = 0;
    for (CChildFrame* c : charts) {
        ++n;
        QString title = c->windowTitle();
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* a = m_windowMenu->addAction(n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(title) : title);
        a->setCheckable(true);
        a->setChecked(c == ActiveChart());
        connect(a, &QAction::triggered, this, [this, chart = QPointer<CChildFrame>(c)] {
            if (chart)
                m_mdi->setActiveSubWindow(chart);
        });
        m_windowActions.push_back(a);
    }
}

void CMainFrame::UpdateSeriesMenu()
{
    m_seriesMenu->clear();
    CChildFrame* chart = ActiveChart();
    CVantixView* view = chart ? chart->View() : nullptr;
    const std::size_t count = view ? view->Chart().Adapter().SeriesCount() : 0;
    m_seriesMenu->menuAction()->setEnabled(count > 0);
    for (std::size_t k = 0; k < count; ++k) {
        // Hidden, never removed: a hidden series is still offered for saving.
        // Named as in the legend: slices of one file differ in their held values.
        QString title = QString::fromStdWString(view->Chart().LegendName(k));
        title.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = m_seriesMenu->addAction(title);
        a->setCheckable(true);
        a->setChecked(view->Chart().Adapter().IsSeriesVisible(k));
        connect(a, &QAction::toggled, this, [chart = QPointer<CChildFrame>(chart), k](bool visible) {
            if (chart && chart->View())
                chart->View()->Chart().Adapter().ShowSeries(k, visible);
        });
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) {
                event->acceptProposedAction();
                return;
            }
    QMainWindow::dragEnterEvent(event);
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    std::vector<std::wstring> files;
    if (const QMimeData* data = event->mimeData())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                files.push_back(url.toLocalFile().toStdWString());
    if (files.empty())
        return QMainWindow::dropEvent(event);
    event->acceptProposedAction();
    // The source waits for the drop to end: open after it, one chart per file.
    QTimer::singleShot(0, this, [this, files] {
        for (const std::wstring& f : files)
            OpenChartFile(f);
    });
}
