#include "VantixView.h"

#include "ExportImageDlg.h"
#include "FileHistory.h"
#include "Prompts.h"
#include "SelectionText.h"
#include "UpdateUI.h"
#include "diagnostics/snagwise.h"
#include "platform/loader.h"
#include "plot_control/IPlotControl.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <QWheelEvent>

CVantixView::CVantixView(CUpdateUI* pUpdate, ITopLevelControl* pTopLevel, QWidget* parent)
    : QWidget(parent), m_EventManager(this), m_Chart(pTopLevel, &m_EventManager), m_pUpdate(pUpdate)
{
    setObjectName(QString::number(IDD));
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

CVantixView::~CVantixView()
{
    // The control's widget lives as long as its last reference: take it out of
    // the widget tree so that releasing the references, not Qt, destroys it.
    if (m_host)
        m_host->setParent(nullptr);
}

bool CVantixView::OnInitDialog()
{
    m_bInitialized = false;
    const auto clsid = platform::GUIDFromString(m_Chart.Adapter().GetControlClassId());
    ComPtr<IUnknown> spUnk;
    IUnknown* pRaw = nullptr;
    if (clsid && SUCCEEDED(platform::CoCreateInstance(*clsid, nullptr, platform::CLSCTX_ALL,
                                                      platform::uuidof<IUnknown>(), reinterpret_cast<void**>(&pRaw))))
        spUnk = ComPtr<IUnknown>::Attach(pRaw);

    ComPtr<plot::IQWidgetHost> spHost;
    if (spUnk)
        spHost.TryQueryFrom(spUnk.Get());
    QWidget* widget = spHost ? spHost->GetWidget() : nullptr;
    if (!widget) {
        SW_TRACE(L"Can't create host window");
        return false;
    }
    widget->setObjectName(QString::number(IDC_HOST));
    layout()->addWidget(widget);
    m_host = widget;
    m_spControl = spUnk;
    setFocusProxy(widget);
    widget->installEventFilter(this);

    if (m_Chart.Initialize(m_spControl.Get()))
        m_bInitialized = true;
    return m_bInitialized;
}

void CVantixView::UpdateInterface()
{
    SW_ASSERT(m_pUpdate && "bad update pointer");
    if (!m_pUpdate)
        return;
    m_pUpdate->UIEnable(ID_FILE_SAVE_AS, m_Chart.CanSaveData(), true);
    m_pUpdate->UIEnable(ID_INSERT_DATA, true, true);
    const bool water = m_Chart.IsWaterLevel();
    m_pUpdate->UISetCheck(ID_WATER_LEVEL, water, true);
    m_pUpdate->UISetCheck(ID_WIREFRAME, m_Chart.IsWireFramed(), true);
    const CChartAdapter::Aggregate aggregate = m_Chart.Adapter().GetAggregate();
    m_pUpdate->UISetCheck(ID_AGGREGATE_MIN, aggregate == CChartAdapter::Aggregate::Min, true);
    m_pUpdate->UISetCheck(ID_AGGREGATE_MAX, aggregate == CChartAdapter::Aggregate::Max, true);
    m_pUpdate->UISetCheck(ID_AGGREGATE_MEAN, aggregate == CChartAdapter::Aggregate::Mean, true);
    m_pUpdate->UISetCheck(ID_SURFACE_FROM_POINTS, m_Chart.Adapter().IsSurfaceFromPoints(), true);
    m_pUpdate->UISetCheck(ID_COLOR_BY_VALUE, m_Chart.Adapter().IsColorByValue(), true);
    const bool move = water && m_pUpdate->IsEnabled(ID_WATER_LEVEL);
    m_pUpdate->UIEnable(ID_WATER_UP, move, true);
    m_pUpdate->UIEnable(ID_WATER_DOWN, move, true);
    m_pUpdate->UIUpdateToolBar(true);
    m_pUpdate->UIUpdateMenuBar(true);
}

bool CVantixView::OnCommand(unsigned id)
{
    switch (id) {
    case ID_INSERT_DATA:
        m_Chart.OpenAndLoad();
        return true;
    case ID_FILE_SAVE_AS:
        m_Chart.SaveData();
        UpdateInterface();
        return true;
    case ID_WATER_LEVEL:
        m_Chart.EnableWaterLevel(!m_Chart.IsWaterLevel());
        UpdateInterface();
        return true;
    case ID_WIREFRAME:
        m_Chart.EnableWireFrame(!m_Chart.IsWireFramed());
        UpdateInterface();
        return true;
    case ID_WATER_UP:
        m_Chart.WaterLevelUp();
        return true;
    case ID_AGGREGATE_MIN:
    case ID_AGGREGATE_MAX:
    case ID_AGGREGATE_MEAN:
        m_Chart.SetAggregate(id == ID_AGGREGATE_MIN   ? CChartAdapter::Aggregate::Min
                             : id == ID_AGGREGATE_MAX ? CChartAdapter::Aggregate::Max
                                                      : CChartAdapter::Aggregate::Mean);
        UpdateInterface();
        return true;
    case ID_SURFACE_FROM_POINTS:
        m_Chart.SetSurfaceFromPoints(!m_Chart.Adapter().IsSurfaceFromPoints());
        UpdateInterface();
        return true;
    case ID_COLOR_BY_VALUE:
        m_Chart.Adapter().SetColorByValue(!m_Chart.Adapter().IsColorByValue());
        UpdateInterface();
        return true;
    case ID_WATER_DOWN:
        m_Chart.WaterLevelDown();
        return true;
    case ID_FILE_EXPORT_IMAGE:
        OnExportImage();
        return true;
    case ID_EDIT_COPY_IMAGE:
        OnCopyImage();
        return true;
    case ID_FOLLOW_STUDY:
        m_Chart.SetFollowing(!m_Chart.IsFollowing());
        return true;
    case ID_READ_STUDY:
        m_Chart.RefreshStudy();
        return true;
    case ID_LOG_X:
    case ID_LOG_Y:
    case ID_LOG_Z: {
        const int axis = int(id - ID_LOG_X);
        if (!m_Chart.Adapter().CanAxisLog(axis))
            return true;
        m_Chart.SetAxisLog(axis, !m_Chart.Adapter().IsAxisLog(axis));
        UpdateInterface();
        return true;
    }
    case ID_VIEW_TOP:
    case ID_VIEW_FRONT:
    case ID_VIEW_SIDE:
        m_Chart.Adapter().SetViewPreset(id == ID_VIEW_TOP     ? plot::kViewTop
                                        : id == ID_VIEW_FRONT ? plot::kViewFront
                                                              : plot::kViewSide);
        return true;
    default:
        return false;
    }
}

void CVantixView::ShowSelection(bool show)
{
    std::wstring text;
    double x = 0, y = 0, z = 0;
    const CChartAdapter& adapter = m_Chart.Adapter();
    if (show && adapter.IsPointSelected() && const_cast<CChartAdapter&>(adapter).GetSelectedPoint(&x, &y, &z))
    {
        // Labels and true values, also on log axes.
        text = BuildSelectionText(adapter.GetXAxisTitle(), adapter.GetYAxisTitle(), adapter.GetFunctionTitle(),
                                  adapter.AxisText(0, x), adapter.AxisText(2, y), adapter.AxisText(1, z));
        if (const auto picked = m_Chart.FindPickedRecord(x, y, z))
            text += DescribePickedRecord(*picked);
    }
    if (m_pUpdate) {
        m_pUpdate->UISetText(0, QString::fromStdWString(text), true);
        m_pUpdate->UIUpdateStatusBar(true);
    }
}

bool CVantixView::CEventManager::OnChartEvent(int code)
{
    if (!m_pView)
        return true;
    if (code == IUpdateEvent::EVENT_POINT_SELECTED) {
        m_pView->ShowSelection(true);
    } else if (code == IUpdateEvent::EVENT_POINT_CLEARED) {
        if (m_pView->m_pUpdate) {
            m_pView->m_pUpdate->UISetText(0, QString(), true);
            m_pView->m_pUpdate->UIUpdateStatusBar(true);
        }
    }
    return true;
}

void CVantixView::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    m_Chart.Adapter().ZoomStep(delta / 120.0 > 0 ? 0 : 1);
    event->accept();
}

void CVantixView::focusInEvent(QFocusEvent* event)
{
    if (m_host)
        m_host->setFocus();
    UpdateInterface();
    QWidget::focusInEvent(event);
}

bool CVantixView::eventFilter(QObject* watched, QEvent* event)
{
    // Elsewhere a right button drags the view: only the legend has a menu.
    if (watched == m_host && event->type() == QEvent::ContextMenu) {
        auto* e = static_cast<QContextMenuEvent*>(event);
        if (QMenu* menu = LegendMenu(e->pos())) {
            menu->popup(e->globalPos());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QMenu* CVantixView::LegendMenu(QPoint pos)
{
    CChartAdapter& adapter = m_Chart.Adapter();
    const auto under = adapter.SeriesAtLegend(pos);
    if (!under)
        return nullptr;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto title = [this](std::size_t k) {
        return QString::fromStdWString(m_Chart.LegendName(k)).replace(QLatin1Char('&'), QStringLiteral("&&"));
    };
    // Hidden, never removed, as with View > Series: the save prompts still offer it.
    const auto show = [view = QPointer<CVantixView>(this)](std::size_t k, bool visible) {
        if (view)
            view->m_Chart.Adapter().ShowSeries(k, visible);
    };
    connect(menu->addAction(QStringLiteral("&Hide %1").arg(title(*under))), &QAction::triggered, menu,
            [show, k = *under] { show(k, false); });
    bool separated = false;
    for (std::size_t k = 0; k < adapter.SeriesCount() && k < m_Chart.HistorySize(); ++k) {
        if (adapter.IsSeriesVisible(k))
            continue;
        if (!separated)
            menu->addSeparator();
        separated = true;
        connect(menu->addAction(QStringLiteral("&Show %1").arg(title(k))), &QAction::triggered, menu,
                [show, k] { show(k, true); });
    }
    return menu;
}

QString CVantixView::DefaultPicturePath() const
{
    QString name = QStringLiteral("chart");
    if (m_Chart.HistorySize() > 0) {
        // A database URL's name may hold separators; a file name may not.
        QString base = QFileInfo(QString::fromStdWString(DisplayFileName(m_Chart.HistoryInfo(0).m_Path))).completeBaseName();
        base.replace(QRegularExpression(QStringLiteral(R"([\\/:*?"<>|])")), QStringLiteral("_"));
        if (!base.isEmpty())
            name = base;
    }
    const QString folder = QString::fromStdWString(ReadDialogFolder());
    return QDir(folder.isEmpty() ? QDir::homePath() : folder).filePath(name + QStringLiteral(".png"));
}

void CVantixView::OnExportImage()
{
    if (!m_host)
        return;
    CExportImageDlg dlg(m_host->size(), DefaultPicturePath(), vantix::ActiveWindow());
    if (vantix::Prompts().DoModal(dlg) != vantix::IDOK)
        return;
    // A large picture takes a moment.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::wstring error;
    const bool written = m_Chart.Adapter().WritePicture(dlg.Path().toStdWString(), dlg.Size(), &error);
    QApplication::restoreOverrideCursor();
    if (!written) {
        vantix::Prompts().MessageBox(vantix::ActiveWindow(),
                                     L"The image could not be written to\n" +
                                         QDir::toNativeSeparators(dlg.Path()).toStdWString() + L"\n\n" + error,
                                     L"Export Image", vantix::MB_OK | vantix::MB_ICONEXCLAMATION);
        return;
    }
    RememberDialogFolder(dlg.Path().toStdWString());
}

void CVantixView::OnCopyImage()
{
    if (!m_host)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QImage image = m_Chart.Adapter().Picture(m_host->size());
    QApplication::restoreOverrideCursor();
    if (image.isNull()) {
        vantix::Prompts().MessageBox(vantix::ActiveWindow(), L"The chart's picture could not be drawn.",
                                     L"Copy Image", vantix::MB_OK | vantix::MB_ICONEXCLAMATION);
        return;
    }
    QGuiApplication::clipboard()->setImage(image);
}
