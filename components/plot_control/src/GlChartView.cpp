#include "GlChartView.h"

#include "PlotControl.h"
#include "plot_control/GlSceneRenderer.h"

#include <QApplication>
#include <QOpenGLWidget>
#include <QPainter>

#include <new>

namespace plot {

namespace {

// OpenGL back end: a child widget filling the control. Mouse input passes
// through to the control widget.
class CGlChartView : public QOpenGLWidget {
public:
    explicit CGlChartView(CPlotWidget* owner) : QOpenGLWidget(owner), m_pOwner(owner)
    {
        QSurfaceFormat format = QSurfaceFormat::defaultFormat();
        format.setDepthBufferSize(24);
        format.setStencilBufferSize(8);
        format.setSamples(4);
        setFormat(format);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    const GlSceneRenderer& Drawer() const { return m_renderer; }
    ~CGlChartView() override
    {
        if (m_bReady && context()) {
            makeCurrent();
            m_renderer.ReleaseResources();
            doneCurrent();
        }
    }

protected:
    void initializeGL() override
    {
        QString error;
        m_bReady = m_renderer.Initialize(&error);
        if (!m_bReady)
            QMetaObject::invokeMethod(m_pOwner, [owner = m_pOwner, error] { owner->FallBackToSoftware(error); },
                                      Qt::QueuedConnection);
    }
    void paintGL() override
    {
        QPainter painter(this);
        ChartModel& model = m_pOwner->Model();
        m_renderer.Paint(painter, model.scene, model.camera.Matrices(width(), height()));
    }

private:
    CPlotWidget* m_pOwner;
    GlSceneRenderer m_renderer;
    bool m_bReady = false;
};

} // namespace

ChildView MakeGlChartView(CPlotWidget& owner)
{
    auto* view = new CGlChartView(&owner);
    return {view, &view->Drawer()};
}

HRESULT CreatePlotControl(REFIID iid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // The control is a widget: it needs the program's QApplication.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return E_UNEXPECTED;
    try {
        auto control = MakeCom<CPlotControl>(ChildViewFactory(MakeGlChartView));
        return control->QueryInterface(iid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace plot
