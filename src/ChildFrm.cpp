#include "ChildFrm.h"

#include "Prompts.h"
#include "ResourceStrings.h"
#include "VantixView.h"
#include "plot_control/IPlotControl.h"

#include <QCloseEvent>

#include <QMenu>

using namespace vantix;

CChildFrame::CChildFrame(CUpdateUI* pUpdate, ITopLevelControl* pTopLevel, QWidget* parent)
    : QMdiSubWindow(parent), m_pUpdate(pUpdate), m_pTopLevel(pTopLevel)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdWString(LoadResourceString(IDS_CHART)));
    setWindowIcon(QIcon(QStringLiteral(":/icons/chart.png")));
    // The window menu's Close would also take Ctrl+W, which is Wireframe here;
    // an ambiguous shortcut fires neither.
    if (QMenu* menu = systemMenu())
        for (QAction* a : menu->actions())
            if (a->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
                a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
}

CChildFrame::~CChildFrame() = default;

bool CChildFrame::Create()
{
    auto* view = new CVantixView(m_pUpdate, m_pTopLevel, this);
    m_view = view;
    setWidget(view);
    if (!view->OnInitDialog())
        return false;
    return true;
}

void CChildFrame::UpdateTitle()
{
    if (m_view && m_view->Chart().HistorySize() > 0)
        setWindowTitle(QString::fromStdWString(m_view->Chart().SeriesTitle(0)));
}

bool CChildFrame::OnCommand(unsigned id)
{
    return m_view && m_view->OnCommand(id);
}

int CChildFrame::MessageCount(unsigned msg) const
{
    const auto it = m_counts.find(msg);
    return it == m_counts.end() ? 0 : it->second;
}

std::intptr_t CChildFrame::SendChildMessage(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam)
{
    ++m_counts[msg];
    if (!m_view)
        return 0;
    CChart& chart = m_view->Chart();
    CChartAdapter& adapter = chart.Adapter();
    switch (msg) {
    case WM_CHILD_GETFRAME:
        if (auto** out = reinterpret_cast<CChildFrame**>(lParam))
            *out = this;
        break;
    case WM_CHILD_SETVIDEOMODE:
        chart.SetVideoMode(static_cast<int>(wParam));
        break;
    case WM_CHILD_GETSELECTION:
        if (auto* out = reinterpret_cast<int*>(lParam))
            *out = adapter.GetSelection();
        break;
    case WM_CHILD_GETFOV:
        if (auto* out = reinterpret_cast<int*>(lParam)) {
            LONG fov = 100;
            ComPtr<plot::IPlotControl> control(m_view->Control());
            control->GetFieldOfView(&fov);
            *out = fov;
        }
        break;
    case WM_CHILD_SETSELECTION:
        adapter.SetSelection(static_cast<int>(wParam));
        break;
    case WM_CHILD_SETFOV: {
        ComPtr<plot::IPlotControl> control(m_view->Control());
        control->SetFieldOfView(static_cast<LONG>(wParam));
        break;
    }
    case WM_CHILD_GETVIDEOMODE:
        if (auto* out = reinterpret_cast<int*>(lParam))
            *out = adapter.GetVideoMode();
        break;
    default:
        break;
    }
    return 0;
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    m_bRefused = false;
    if (m_view && m_view->Chart().HasUnsavedData()) {
        const int answer = Prompts().MessageBox(ActiveWindow(), LoadResourceString(IDS_UNSAVED_DATA), LoadResourceString(IDS_MESSAGE_CAPTION),
                                                MB_YESNOCANCEL | MB_ICONWARNING);
        bool stay = false;
        if (answer == IDYES) {
            m_view->Chart().SaveData();
            stay = m_view->Chart().HasUnsavedData();
        } else if (answer != IDNO) {
            stay = true;
        }
        if (stay) {
            m_bRefused = true;
            event->ignore();
            return;
        }
    }
    QMdiSubWindow::closeEvent(event);
}
