#include "VisualizeOptionsDlg.h"

#include "Prompts.h"
#include "ResourceStrings.h"
#include "diagnostics/snagwise.h"
#include "plot_control/OpenGLSupport.h"

using namespace vantix;

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>


int CVisualizeOptionsDlgUtils::get_track_step()
{
    static bool first = true;
    static int track_step = 0;
    if (first) {
        track_step = 5;
        first = false;
    } else {
        SW_ASSERT(track_step > 0);
    }
    SW_ASSERT(_fov_range_delta % track_step == 0);
    return track_step;
}

int CVisualizeOptionsDlgUtils::get_track_pos_from_fov(int fov)
{
    SW_ASSERT(fov >= CVisualizeOptionsDlg::eMinFOV && fov <= CVisualizeOptionsDlg::eMaxFOV);
    return (fov - CVisualizeOptionsDlg::eMinFOV) / get_track_step();
}

int CVisualizeOptionsDlgUtils::get_fov_from_track_pos(int pos)
{
    return pos * get_track_step() + CVisualizeOptionsDlg::eMinFOV;
}

namespace {
template <class W>
W* named(W* w, int id)
{
    w->setObjectName(QString::number(id));
    return w;
}
} // namespace

CVisualizeOptionsDlg::CVisualizeOptionsDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Visualizer Options"));
    setObjectName(QString::number(IDD));

    auto* fovBox = new QGroupBox(QStringLiteral("Field of View"), this);
    m_track = named(new QSlider(Qt::Horizontal, fovBox), IDC_FOV_TRACK);
    m_track->setTickPosition(QSlider::TicksBelow);
    m_track->setTickInterval(1);
    m_track->setTracking(true);
    m_track->setPageStep(1);
    m_label = named(new QLabel(fovBox), IDC_FOV_LABEL);
    m_label->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("000 degree")));
    auto* def = named(new QPushButton(QStringLiteral("Default"), fovBox), IDC_DEFAULT);
    def->setAutoDefault(false);
    auto* fovGrid = new QGridLayout(fovBox);
    fovGrid->addWidget(new QLabel(QStringLiteral("Less"), fovBox), 0, 0);
    fovGrid->addWidget(m_track, 0, 1);
    fovGrid->addWidget(new QLabel(QStringLiteral("More"), fovBox), 0, 2);
    fovGrid->addWidget(m_label, 1, 1, Qt::AlignHCenter);
    fovGrid->addWidget(def, 1, 2);

    m_tracking = named(new QCheckBox(QStringLiteral("Enable Tracking Mode"), this), IDC_TRACKING);
    m_applyAll = named(new QCheckBox(QStringLiteral("Apply to All Charts"), this), IDC_APPLY_ALL);

    auto* renderBox = new QGroupBox(QStringLiteral("Render Provider"), this);
    m_render_ogl_radio.p = named(new QRadioButton(QStringLiteral("OpenGL"), renderBox), IDC_RENDER_OGL);
    // There is no Direct3D here: its code selects the software renderer.
    m_render_d3d_radio.p = named(new QRadioButton(QStringLiteral("Software"), renderBox), IDC_RENDER_D3D);
    auto* renderLayout = new QGridLayout(renderBox);
    renderLayout->addWidget(m_render_ogl_radio.p, 0, 0);
    renderLayout->addWidget(m_render_d3d_radio.p, 0, 1);
    // The choice can still be made and is kept, but where OpenGL cannot serve
    // the charts draw in software; say so beside it.
    if (const plot::OpenGLSupport& gl = plot::OpenGLSupportHere(); !gl.usable) {
        auto* note = new QLabel(QStringLiteral("OpenGL is not available here; charts draw in software."), renderBox);
        note->setObjectName(QStringLiteral("OpenGLNote"));
        note->setToolTip(gl.reason);
        note->setWordWrap(true);
        QFont small = note->font();
        small.setPointSizeF(small.pointSizeF() * 0.9);
        note->setFont(small);
        renderLayout->addWidget(note, 1, 0, 1, 2);
    }

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = named(buttons->addButton(QDialogButtonBox::Ok), 1);
    auto* cancel = named(buttons->addButton(QDialogButtonBox::Cancel), 2);
    ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fovBox);
    layout->addWidget(m_tracking);
    layout->addWidget(m_applyAll);
    layout->addWidget(renderBox);
    layout->addWidget(buttons);

    // Only user actions move the value: setting the position in ShowFov must
    // not round a stored 47 down to the position's 45.
    connect(m_track, &QSlider::actionTriggered, this, &CVisualizeOptionsDlg::OnTrack);
    connect(def, &QPushButton::clicked, this, [this] { ShowFov(eDefaultFOV); });
    connect(ok, &QPushButton::clicked, this, &CVisualizeOptionsDlg::OnOKCmd);
    connect(cancel, &QPushButton::clicked, this, &CVisualizeOptionsDlg::OnCancelCmd);
}

int CVisualizeOptionsDlg::CButtonRef::GetCheck() const
{
    return p && p->isChecked() ? 1 : 0;
}

void CVisualizeOptionsDlg::CButtonRef::SetCheck(int check) const
{
    if (!p)
        return;
    // Radios of one group exclude each other; both may be cleared only this way.
    const bool exclusive = p->autoExclusive();
    p->setAutoExclusive(false);
    p->setChecked(check != 0);
    p->setAutoExclusive(exclusive);
}

void CVisualizeOptionsDlg::showEvent(QShowEvent* e)
{
    if (!m_bInitialized)
        OnInitDialog();
    QDialog::showEvent(e);
}

void CVisualizeOptionsDlg::OnInitDialog()
{
    m_bInitialized = true;
    m_track->setRange(0, CVisualizeOptionsDlgUtils::_fov_range_delta / CVisualizeOptionsDlgUtils::get_track_step());
    ShowFov(m_nFov);
    m_tracking->setChecked(m_bTracking);
    m_applyAll->setChecked(m_bApplyToAll);
    m_render_ogl_radio.SetCheck(m_renderer == plot::RendererCode::OpenGL);
    m_render_d3d_radio.SetCheck(m_renderer == plot::RendererCode::Software);
}

void CVisualizeOptionsDlg::ShowFov(int fov)
{
    if (!m_bInitialized)
        OnInitDialog();
    const QSignalBlocker block(m_track);
    m_track->setValue(CVisualizeOptionsDlgUtils::get_track_pos_from_fov(fov));
    m_label->setText(QString::number(fov) + QString::fromStdWString(LoadResourceString(IDS_DEGREE_SUFFIX)));
    m_nFov = fov;
}

void CVisualizeOptionsDlg::OnTrack(int)
{
    ShowFov(CVisualizeOptionsDlgUtils::get_fov_from_track_pos(m_track->sliderPosition()));
}

void CVisualizeOptionsDlg::OnOKCmd()
{
    m_bTracking = m_tracking->isChecked();
    m_bApplyToAll = m_applyAll->isChecked();
    m_bCancelled = false;
    SW_ASSERT(m_render_ogl_radio.GetCheck() != m_render_d3d_radio.GetCheck());
    m_renderer = m_render_ogl_radio.GetCheck() ? plot::RendererCode::OpenGL : plot::RendererCode::Software;
    done(1);
}

void CVisualizeOptionsDlg::OnCancelCmd()
{
    m_bCancelled = true;
    done(2);
}

