#pragma once
// "Visualizer Options": field of view, tracking mode, apply to all charts and
// the renderer. The dialog only edits values; the main frame reads the charts
// into it and applies and persists the results.
#include "plot_control/IPlotControl.h"

#include <QDialog>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QRadioButton;
class QSlider;


class CVisualizeOptionsDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 218 };
    enum { eMinFOV = 30, eMaxFOV = 120 };
    enum { eDefaultFOV = 45 };
    // Control ids, also the controls' object names.
    enum { IDC_FOV_TRACK = 1019, IDC_FOV_LABEL = 1022, IDC_TRACKING = 1013, IDC_APPLY_ALL = 1016,
           IDC_RENDER_OGL = 1024, IDC_RENDER_D3D = 1025, IDC_DEFAULT = 1021 };

    explicit CVisualizeOptionsDlg(QWidget* parent = nullptr);

    // Moves the trackbar, rewrites the label and stores the value.
    void ShowFov(int fov);

    // Set by the frame before the dialog is shown, read after IDOK.
    int m_nFov = eDefaultFOV;
    bool m_bTracking = true;
    bool m_bApplyToAll = false;
    bool m_bCancelled = false;
    plot::RendererCode m_renderer = plot::RendererCode::OpenGL;

    QSlider* trackbar() const { return m_track; }

    // Check state of a radio, read the way the OK check compares them.
    struct CButtonRef {
        QAbstractButton* p = nullptr;
        int GetCheck() const;
        void SetCheck(int check) const;
    };

    void reject() override { OnCancelCmd(); }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void OnInitDialog();
    void OnOKCmd();
    void OnCancelCmd();
    void OnTrack(int action);

    QSlider* m_track;
    QLabel* m_label;
    QCheckBox* m_tracking;
    QCheckBox* m_applyAll;
    CButtonRef m_render_ogl_radio;
    CButtonRef m_render_d3d_radio;
    bool m_bInitialized = false;
};

// Arithmetic between the field of view and the trackbar position.
struct CVisualizeOptionsDlgUtils {
    static constexpr int _fov_range_delta = CVisualizeOptionsDlg::eMaxFOV - CVisualizeOptionsDlg::eMinFOV;
    static int get_track_step();
    static int get_track_pos_from_fov(int fov);
    static int get_fov_from_track_pos(int pos);
};

