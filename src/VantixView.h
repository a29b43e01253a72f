#pragma once
// The chart view: hosts the chart control and owns the chart document.
#include "Chart.h"
#include "CommandIds.h"
#include "IUpdateEvent.h"
#include "platform/comptr.h"

#include <QPointer>
#include <QWidget>

class CUpdateUI;
class QMenu;
class ITopLevelControl;

class CVantixView : public QWidget {
    Q_OBJECT
public:
    enum { IDD = 130, IDC_HOST = 1007 };

    // The chart commands among these are carried out by OnCommand().
    using enum vantix::CommandId;

    CVantixView(CUpdateUI* pUpdate, ITopLevelControl* pTopLevel, QWidget* parent = nullptr);
    ~CVantixView() override;

    // Creates the chart control from the adapter's class id and initialises
    // the chart with it. False when either failed.
    bool OnInitDialog();
    bool IsInitialized() const { return m_bInitialized; }

    // Refreshes the main frame's command states for this chart.
    void UpdateInterface();
    // Writes the picked point (or nothing) into the status bar's default pane.
    void ShowSelection(bool show);
    // True when the command was one of the view's.
    bool OnCommand(unsigned id);

    CChart& Chart() { return m_Chart; }
    // The hosted control's widget (null before start-up or after a failure).
    QWidget* HostedControl() const { return m_host; }
    ComPtr<IUnknown> Control() const { return m_spControl; }
    // The legend's menu for a right click at pos (the control's coordinates):
    // Hide for the series under it, Show for each hidden one. Null off the
    // legend; the menu deletes itself once closed.
    QMenu* LegendMenu(QPoint pos);

    class CEventManager : public IUpdateEvent {
    public:
        explicit CEventManager(CVantixView* pView) : m_pView(pView) {}
        bool OnChartEvent(int code) override;

    private:
        CVantixView* m_pView;
    };

protected:
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    // Right clicks on the control's legend.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnExportImage();
    void OnCopyImage();
    // The export dialog's first proposal: the first file's name in the last folder.
    QString DefaultPicturePath() const;

    CEventManager m_EventManager;
    CChart m_Chart;
    CUpdateUI* m_pUpdate;
    bool m_bInitialized = false;
    ComPtr<IUnknown> m_spControl;
    QPointer<QWidget> m_host;
};
