#pragma once
// The chart control's widget: paints the scene with the chosen back end and
// turns mouse gestures into camera moves and picks. Everything it draws comes
// from the ChartModel it shares with the control object, so the widget may be
// destroyed by its parent window before the control object goes away.
#include "plot_control/ChartModel.h"
#include "plot_control/IPlotControl.h"
#include "plot_control/SceneRenderer.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace plot {

// Receives picks made with the mouse.
class IPickSink {
public:
    virtual void OnPointPicked(const std::array<double, 3>& point) = 0;
    virtual void OnPickCleared() = 0;

protected:
    ~IPickSink() = default;
};

class CPlotWidget;

// A back end that draws in a child widget covering the control's widget
// (OpenGL). The widget draws in software itself; the OpenGL view comes from
// a factory where that back end is linked in, so that programs drawing only
// in software do not link it.
struct ChildView {
    QWidget* widget = nullptr;          // a child of the owner, which owns it
    const Renderer* renderer = nullptr; // draws in widget, and lives as long
};
using ChildViewFactory = std::function<ChildView(CPlotWidget& owner)>;

class CPlotWidget : public QWidget {
    Q_OBJECT
public:
    explicit CPlotWidget(std::shared_ptr<ChartModel> model, ChildViewFactory openGL = {});
    ~CPlotWidget() override;

    void SetPickSink(IPickSink* sink) { m_pSink = sink; }
    // Returns the choice, which is kept even where the chart draws in
    // software because OpenGL cannot serve.
    RendererCode SetRenderer(RendererCode renderer);
    RendererCode Renderer() const { return m_rendererCode; }
    bool DrawsWithOpenGL() const { return !m_pGlView.isNull(); }
    // Series uploads of the OpenGL back end so far (0 in software).
    std::uint64_t OpenGLUploads() const;
    void Redraw();

    // A click at pos (widget coordinates) while collision detection is on:
    // marks the point under it and tells the sink. Returns true on a hit.
    bool PickAt(QPointF pos);

    QSize sizeHint() const override { return {640, 480}; }

    // Settled frames in software: drawn on a thread of their own after the
    // view stops moving, abandoned when input or a change arrives.
    struct SettledCounts {
        int started = 0, abandoned = 0, shown = 0;
    };
    const SettledCounts& Settled() const { return m_settledCounts; }
    bool SettledFrameDrawing() const { return m_pSettled != nullptr; }
    const QImage& SettledImage() const { return m_shown; } // the last one shown
    // Tests: runs on the settled frame's thread before it draws; it must
    // return once `abandon` is set.
    static void SetSettledHookForTesting(std::function<void(const std::atomic<bool>& abandon)> hook);

    // What the OpenGL view draws; the reason it cannot, queued to the GUI thread.
    ChartModel& Model() const { return *m_pModel; }
    void FallBackToSoftware(const QString& reason);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    void BeginInteraction();
    void resizeEvent(QResizeEvent*) override;
    // The settled frame's thread: started for the current picture, stopped
    // (abandoned unless finished) and joined.
    struct SettledJob;
    void StartSettled();
    void StopSettled();
    void OnSettledDone(SettledJob* job);
    void Stale();

    std::shared_ptr<ChartModel> m_pModel;
    IPickSink* m_pSink = nullptr; // not owned; cleared by the control object
    SceneRenderer m_renderer;
    ChildViewFactory m_glFactory;
    QPointer<QWidget> m_pGlView;
    const plot::Renderer* m_pGlRenderer = nullptr; // valid while m_pGlView is
    RendererCode m_rendererCode = RendererCode::Software;
    bool m_bPressed = false;
    bool m_bDragged = false;
    Qt::MouseButton m_button = Qt::NoButton;
    QPointF m_pressPos, m_lastPos;
    bool m_bInteracting = false; // draft quality while the view moves
    QTimer m_settle;
    std::uint64_t m_nGeneration = 1;      // bumped whenever the picture goes stale
    QImage m_shown;                       // the settled frame of m_nShownGeneration
    std::uint64_t m_nShownGeneration = 0;
    QImage m_draft;                       // the draft of m_nDraftGeneration
    std::uint64_t m_nDraftGeneration = 0;
    bool m_bDraftDeferred = false;        // m_draft lacks a surface whose level is not built yet
    std::unique_ptr<SettledJob> m_pSettled;
    std::shared_ptr<SceneRenderer> m_pSettledRenderer = std::make_shared<SceneRenderer>();
    SettledCounts m_settledCounts;
};

} // namespace plot
