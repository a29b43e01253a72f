#include "PlotWidget.h"

#include "diagnostics/snagwise.h"
#include "platform/threads.h"
#include "plot_control/OpenGLSupport.h"
#include "plot_control/Picker.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <thread>

namespace plot {

namespace {
constexpr double kClickSlop = 4.0; // pixels a click may move and still pick
constexpr int kSettleMs = 180;     // full quality again after the view stops moving
constexpr double kKeyDegrees = 5.0; // one arrow key press
} // namespace

struct CPlotWidget::SettledJob {
    std::thread thread;
    std::atomic<bool> abandon{false};
    std::atomic<bool> finished{false};
    std::uint64_t generation = 0;
    QImage image; // written by the thread before `finished`
};

namespace {
std::function<void(const std::atomic<bool>&)>& SettledHook()
{
    static std::function<void(const std::atomic<bool>&)> hook;
    return hook;
}
} // namespace

void CPlotWidget::SetSettledHookForTesting(std::function<void(const std::atomic<bool>& abandon)> hook)
{
    SettledHook() = std::move(hook);
}

CPlotWidget::CPlotWidget(std::shared_ptr<ChartModel> model, ChildViewFactory openGL)
    : m_pModel(std::move(model)), m_glFactory(std::move(openGL))
{
    m_pModel->releaseScene = [this] {
        if (m_pSettled) {
            StopSettled();
            update(); // set off again for the picture then current
        }
    };
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(120, 90);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        m_bInteracting = false;
        update(); // the last draft stays until the settled frame replaces it
    });
}

CPlotWidget::~CPlotWidget()
{
    StopSettled();
    m_pModel->releaseScene = nullptr; // the model may outlive the widget
}

RendererCode CPlotWidget::SetRenderer(RendererCode renderer)
{
    // The choice is kept and reported as made; where OpenGL cannot serve
    // (no widget host, no context, a software driver, not linked in) the
    // chart draws in software instead.
    m_rendererCode = renderer;
    if (m_rendererCode == RendererCode::OpenGL) {
        if (!m_pGlView) {
            const OpenGLSupport& support = OpenGLSupportHere();
            if (!support.usable || !m_glFactory) {
                FallBackToSoftware(support.usable ? QStringLiteral("no OpenGL back end") : support.reason);
                return m_rendererCode;
            }
            const ChildView view = m_glFactory(*this);
            m_pGlView = view.widget;
            m_pGlRenderer = view.renderer;
            layout()->addWidget(m_pGlView);
            m_pGlView->show();
        }
    } else {
        delete m_pGlView.data();
    }
    Redraw();
    return m_rendererCode;
}

std::uint64_t CPlotWidget::OpenGLUploads() const
{
    return m_pGlView ? m_pGlRenderer->Uploads() : 0;
}

void CPlotWidget::FallBackToSoftware(const QString& reason)
{
    SW_TRACE(L"Plot control : OpenGL unavailable (%ls), software renderer used", reason.toStdWString().c_str());
    delete m_pGlView.data();
    Redraw();
}

void CPlotWidget::Redraw()
{
    Stale();
    update();
    if (m_pGlView)
        m_pGlView->update();
}

void CPlotWidget::Stale()
{
    ++m_nGeneration;
    StopSettled();
}

void CPlotWidget::resizeEvent(QResizeEvent* e)
{
    Stale();
    QWidget::resizeEvent(e);
}

void CPlotWidget::paintEvent(QPaintEvent*)
{
    if (m_pGlView)
        return; // the GL child covers the whole widget
    QPainter painter(this);
    Scene& scene = m_pModel->scene;
    const OrbitCamera& camera = m_pModel->camera;
    if (painter.device() != this) {
        // Painted into an image or a pixmap (grab, render): the settled
        // frame, now.
        StopSettled();
        RenderOptions options;
        options.mergeSubpixelCells = true;
        m_renderer.Paint(painter, scene, camera.Matrices(width(), height()), options);
        return;
    }
    if (!m_bInteracting && m_nShownGeneration == m_nGeneration && m_shown.size() == size()) {
        painter.drawImage(0, 0, m_shown);
        return;
    }
    if (m_nDraftGeneration != m_nGeneration || m_draft.size() != size()) {
        StopSettled();
        RenderOptions options;
        options.supersample = 1;
        options.draft = true;
        // Not while the view moves: a large new surface's coarse level is
        // then built by the settled frame's thread, and the last settled
        // picture stays up till that frame comes.
        options.deferLevels = !m_bInteracting && !m_shown.isNull() && m_shown.size() == size();
        m_draft = m_renderer.Render(scene, camera, size(), options);
        m_bDraftDeferred = m_renderer.LastStats().levelsDeferred;
        m_nDraftGeneration = m_nGeneration;
    }
    // Until the settled frame replaces it.
    painter.drawImage(0, 0, m_bDraftDeferred && m_shown.size() == size() ? m_shown : m_draft);
    if (!m_bInteracting && !m_pSettled)
        StartSettled();
}

void CPlotWidget::StartSettled()
{
    auto job = std::make_unique<SettledJob>();
    job->generation = m_nGeneration;
    const ViewProjection vp = m_pModel->camera.Matrices(width(), height());
    const QSize frame = size();
    SettledJob* raw = job.get();
    // The thread holds the model and the renderer, so both outlive it
    // even if the widget goes first (it joins the thread anyway).
    job->thread = platform::TryStartThread([raw, model = m_pModel, renderer = m_pSettledRenderer, vp, frame,
                                            target = QPointer<CPlotWidget>(this)] {
        if (SettledHook())
            SettledHook()(raw->abandon);
        RenderOptions options;
        options.mergeSubpixelCells = true;
        options.abandon = &raw->abandon;
        QImage image = renderer->Render(model->scene, vp, frame, options);
        // A draft of the same view builds what the first draft of the
        // next drag needs (coarse levels), here rather than on the GUI
        // thread when the drag begins.
        RenderOptions draft;
        draft.supersample = 1;
        draft.draft = true;
        draft.decorations = false;
        draft.buildLevels = true;
        draft.abandon = &raw->abandon;
        (void)renderer->Render(model->scene, vp, frame, draft);
        if (raw->abandon.load())
            return;
        raw->image = std::move(image);
        raw->finished.store(true);
        QMetaObject::invokeMethod(
            target, [target, raw] {
                if (target)
                    target->OnSettledDone(raw);
            },
            Qt::QueuedConnection);
    });
    if (!job->thread.joinable()) {
        // No thread to spare: the settled frame is drawn here.
        RenderOptions options;
        options.mergeSubpixelCells = true;
        m_shown = m_renderer.Render(m_pModel->scene, vp, frame, options);
        m_nShownGeneration = m_nGeneration;
        update();
        return;
    }
    ++m_settledCounts.started;
    m_pSettled = std::move(job);
}

void CPlotWidget::StopSettled()
{
    if (!m_pSettled)
        return;
    m_pSettled->abandon.store(true);
    m_pSettled->thread.join();
    if (!m_pSettled->finished.load())
        ++m_settledCounts.abandoned;
    m_pSettled.reset();
}

void CPlotWidget::OnSettledDone(SettledJob* job)
{
    // A job stopped since then is gone (another may have its address): only
    // the current, finished one is shown.
    if (m_pSettled.get() != job || !job->finished.load())
        return;
    m_pSettled->thread.join();
    if (job->generation == m_nGeneration && !m_bInteracting) {
        m_shown = std::move(job->image);
        m_nShownGeneration = job->generation;
        ++m_settledCounts.shown;
        update();
    }
    m_pSettled.reset();
}

bool CPlotWidget::PickAt(QPointF pos)
{
    if (!m_pModel->bCollisionDetect)
        return false;
    const ViewProjection vp = m_pModel->camera.Matrices(width(), height());
    const auto hit = PickScene(m_pModel->Edit(), vp, float(pos.x()), float(pos.y()));
    m_pModel->scene.SetMarker(hit ? std::optional(hit->data) : std::nullopt);
    Redraw();
    if (m_pSink) {
        if (hit)
            m_pSink->OnPointPicked(hit->data);
        else
            m_pSink->OnPickCleared();
    }
    return hit.has_value();
}

void CPlotWidget::BeginInteraction()
{
    StopSettled(); // thrown away: the view moves on
    m_bInteracting = true;
    m_settle.start();
}

void CPlotWidget::mousePressEvent(QMouseEvent* e)
{
    m_bPressed = true;
    m_bDragged = false;
    m_button = e->button();
    m_pressPos = m_lastPos = e->position();
    e->accept();
}

void CPlotWidget::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_bPressed)
        return;
    const QPointF pos = e->position();
    if (!m_bDragged && QLineF(pos, m_pressPos).length() <= kClickSlop)
        return;
    m_bDragged = true;
    const QPointF d = pos - m_lastPos;
    m_lastPos = pos;
    if (m_button == Qt::LeftButton)
        m_pModel->camera.Orbit(d.x(), d.y());
    else if (m_button == Qt::RightButton || m_button == Qt::MiddleButton)
        m_pModel->camera.Pan(d.x(), d.y(), width(), height());
    BeginInteraction();
    Redraw();
}

void CPlotWidget::mouseReleaseEvent(QMouseEvent* e)
{
    const bool click = m_bPressed && !m_bDragged && e->button() == Qt::LeftButton && m_button == Qt::LeftButton;
    m_bPressed = false;
    if (click)
        PickAt(e->position());
}

void CPlotWidget::mouseDoubleClickEvent(QMouseEvent* e)
{
    // The first click of the pair has picked already; the second one resets.
    m_bPressed = false;
    if (e->button() == Qt::LeftButton) {
        m_pModel->camera.Reset();
        Redraw();
    }
}

void CPlotWidget::wheelEvent(QWheelEvent* e)
{
    const double steps = e->angleDelta().y() / 120.0;
    if (steps == 0)
        return;
    m_pModel->camera.ZoomSteps(steps);
    BeginInteraction();
    Redraw();
    e->accept();
}

} // namespace plot

namespace plot {

void CPlotWidget::keyPressEvent(QKeyEvent* e)
{
    // Only plain keys (Shift for "+", the keypad's own flag) move the camera;
    // everything else goes on to the parent, so the window's shortcuts work.
    OrbitCamera& camera = m_pModel->camera;
    const bool plain = (e->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) == Qt::NoModifier;
    switch (plain ? e->key() : Qt::Key_unknown) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        // As a drag to the same side turns the box.
        camera.SetOrientation(camera.Yaw() + (e->key() == Qt::Key_Left ? kKeyDegrees : -kKeyDegrees), camera.Pitch());
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        camera.SetOrientation(camera.Yaw(), camera.Pitch() + (e->key() == Qt::Key_Up ? kKeyDegrees : -kKeyDegrees));
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        camera.ZoomSteps(1); // one wheel notch
        break;
    case Qt::Key_Minus:
        camera.ZoomSteps(-1);
        break;
    case Qt::Key_Home:
        camera.Reset();
        break;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
    BeginInteraction();
    Redraw();
}

} // namespace plot
