#include "InputConfigDlg.h"

#include "Prompts.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Dialog units of the template in pixels of the dialog's font.
QSize DialogUnits(const QWidget& w, int x, int y)
{
    const QFontMetrics fm(w.font());
    const int baseX = (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
    const int baseY = fm.height();
    return {x * baseX / 4, y * baseY / 8};
}

QComboBox* MakeCombo(QWidget* pParent, int id)
{
    auto* pCombo = new QComboBox(pParent);
    pCombo->setObjectName(QString::number(id));
    pCombo->setEditable(false);
    pCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    pCombo->setMinimumContentsLength(12);
    return pCombo;
}

} // namespace

CInputConfigDlg::CInputConfigDlg(QWidget* pParent)
    : QDialog(pParent),
      m_pInputX(MakeCombo(this, IDC_INPUT_X)),
      m_pInputY(MakeCombo(this, IDC_INPUT_Y)),
      m_pFunction(MakeCombo(this, IDC_FUNCTION)),
      m_pFixedLabel(new QLabel(QStringLiteral("Fixed Inputs:"), this)),
      m_pSliceCount(new QLabel(this)),
      m_pOk(new QPushButton(QStringLiteral("OK"), this)),
      m_pCancel(new QPushButton(QStringLiteral("Cancel"), this)),
      m_List(this, this)
{
    setObjectName(QString::number(IDD));
    setWindowTitle(QStringLiteral("Data Representation"));
    m_pFixedLabel->setObjectName(QString::number(IDC_FIXED_LABEL));
    m_List.setObjectName(QString::number(IDC_FIXED_LIST));
    m_pSliceCount->setObjectName(QString::number(IDC_SLICE_COUNT));
    m_List.setToolTip(QStringLiteral("Type a value, \"All\", or a range LOW:HIGH into a Value cell."));
    m_List.setFrameShape(QFrame::StyledPanel);
    m_pOk->setObjectName(QStringLiteral("1"));
    m_pCancel->setObjectName(QStringLiteral("2"));
    m_pOk->setDefault(true);
    m_pCancel->setAutoDefault(false);

    auto* pX = new QLabel(QStringLiteral("X-Axis:"), this);
    auto* pY = new QLabel(QStringLiteral("Y-Axis:"), this);
    auto* pF = new QLabel(QStringLiteral("Function:"), this);
    pX->setBuddy(m_pInputX);
    pY->setBuddy(m_pInputY);
    pF->setBuddy(m_pFunction);
    auto* pGrid = new QGridLayout;
    pGrid->addWidget(pX, 0, 0);
    pGrid->addWidget(m_pInputX, 0, 1);
    pGrid->addWidget(pY, 0, 2);
    pGrid->addWidget(m_pInputY, 0, 3);
    pGrid->addWidget(pF, 1, 0);
    pGrid->addWidget(m_pFunction, 1, 1, 1, 3);
    pGrid->setColumnStretch(1, 1);
    pGrid->setColumnStretch(3, 1);
    pGrid->setHorizontalSpacing(DialogUnits(*this, 6, 0).width());

    auto* pButtons = new QHBoxLayout;
    pButtons->addWidget(m_pSliceCount);
    pButtons->addStretch(1);
    pButtons->addWidget(m_pOk);
    pButtons->addWidget(m_pCancel);

    auto* pBox = new QVBoxLayout(this);
    pBox->addLayout(pGrid);
    pBox->addSpacing(DialogUnits(*this, 0, 4).height());
    pBox->addWidget(m_pFixedLabel);
    pBox->addWidget(&m_List, 1);
    pBox->addLayout(pButtons);
    resize(DialogUnits(*this, 406, 215));

    connect(m_pOk, &QPushButton::clicked, this, &CInputConfigDlg::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &CInputConfigDlg::reject);
    // Only the user's choices count, not the refills.
    connect(m_pInputX, &QComboBox::activated, this, [this] { OnAxisChange(true); });
    connect(m_pInputY, &QComboBox::activated, this, [this] { OnAxisChange(false); });
    connect(m_pFunction, &QComboBox::activated, this, [this] { OnFunctionChange(); });
}

CInputConfigDlg::~CInputConfigDlg() = default;

int CInputConfigDlg::DoModal(QWidget* pParent)
{
    if (pParent && pParent != parentWidget())
        setParent(pParent, windowFlags());
    // Through the prompt service, so scripted runs answer it.
    return vantix::Prompts().DoModal(*this);
}

void CInputConfigDlg::accept()
{
    // A slice without records would draw an empty box.
    if (CountSliceRecords() == 0) {
        vantix::Prompts().MessageBox(
            this,
            L"The chosen slice holds none of the " + std::to_wstring(GetRecordCount()) +
                L" records: no record has every held value. Hold an input at \"All\" or over a range "
                L"(type it into its Value cell) to widen the slice.",
            L"Data Representation", vantix::MB_OK | vantix::MB_ICONEXCLAMATION);
        return;
    }
    done(1);
}

void CInputConfigDlg::UpdateSliceCount()
{
    const std::uint64_t n = CountSliceRecords();
    m_pSliceCount->setText(n == GetRecordCount()
                               ? QStringLiteral("All %1 records in this slice").arg(n)
                               : QStringLiteral("%1 of %2 records in this slice").arg(n).arg(GetRecordCount()));
}

bool CInputConfigDlg::OnHoldChange(bool bAll, double low, double high)
{
    const int i = m_List.GetInputIndex(m_List.m_ValueHandler.GetEditItem());
    if (i < 0)
        return false;
    if (bAll)
        HoldAll(static_cast<std::size_t>(i));
    else if (!HoldRange(static_cast<std::size_t>(i), low, high))
        return false;
    UpdateList();
    return true;
}

bool CInputConfigDlg::AcceptsLabels()
{
    const int i = m_List.GetInputIndex(m_List.m_ValueHandler.GetEditItem());
    return i >= 0 && Inputs()[static_cast<std::size_t>(i)].HasLabels();
}

bool CInputConfigDlg::OnLabelChange(const std::wstring& text)
{
    const int i = m_List.GetInputIndex(m_List.m_ValueHandler.GetEditItem());
    if (i < 0 || !ChangeToLabel(i, text))
        return false;
    UpdateList();
    return true;
}

std::wstring CInputConfigDlg::CurrentLabel()
{
    const int i = m_List.GetInputIndex(m_List.m_ValueHandler.GetEditItem());
    if (i < 0)
        return {};
    const InputInfo& in = Inputs()[static_cast<std::size_t>(i)];
    return in.HasCurrent() ? in.Label(in.current) : std::wstring();
}

void CInputConfigDlg::reject()
{
    done(2);
}

void CInputConfigDlg::showEvent(QShowEvent* pEvent)
{
    if (!m_bInitialized)
        OnInitDialog();
    QDialog::showEvent(pEvent);
}

bool CInputConfigDlg::OnInitDialog()
{
    m_List.SubclassWindow();
    FillAxisCombos();
    m_List.m_pInputs = &Inputs();
    SelectRecord(CurrentRecord(), false);
    m_List.m_nInputX = InputX();
    m_List.m_nInputY = InputY();
    m_List.UpdateRows();
    UpdateSliceCount();
    const bool bFixed = Inputs().size() > 2;
    m_List.setEnabled(bFixed);
    m_pFixedLabel->setEnabled(bFixed);
    m_List.horizontalHeader()->setEnabled(bFixed);
    if (IsLocked()) {
        m_pInputX->setEnabled(false);
        m_pInputY->setEnabled(false);
        m_pFunction->setEnabled(false);
    }
    m_bInitialized = true;
    return true;
}

void CInputConfigDlg::RefreshControls(bool bRefill)
{
    if (!m_bInitialized)
        return;
    if (bRefill)
        FillAxisCombos();
    m_List.m_pInputs = &Inputs();
    SelectRecord(CurrentRecord(), false);
    m_List.m_nInputX = InputX();
    m_List.m_nInputY = InputY();
    m_List.UpdateRows();
    UpdateSliceCount();
}

void CInputConfigDlg::FillAxisCombos()
{
    for (QComboBox* pCombo : {m_pFunction, m_pInputX, m_pInputY})
        while (pCombo->count() > 0)
            pCombo->removeItem(0);
    for (const std::wstring& name : FunctionNames())
        m_pFunction->addItem(QString::fromStdWString(name));
    m_pFunction->setCurrentIndex(static_cast<int>(Function()));
    for (std::size_t i = 0; i < Inputs().size(); ++i) {
        const QString name = QString::fromStdWString(Inputs()[i].name);
        if (i != InputY())
            m_pInputX->addItem(name);
        if (i != InputX())
            m_pInputY->addItem(name);
    }
    // The first item that begins with the axis input's name, ignoring case.
    if (InputX() < Inputs().size())
        m_pInputX->setCurrentIndex(
            m_pInputX->findText(QString::fromStdWString(Inputs()[InputX()].name), Qt::MatchStartsWith));
    if (InputY() < Inputs().size())
        m_pInputY->setCurrentIndex(
            m_pInputY->findText(QString::fromStdWString(Inputs()[InputY()].name), Qt::MatchStartsWith));
    ReleaseAxisInputs();
}

void CInputConfigDlg::OnAxisChange(bool bX)
{
    const QComboBox* pCombo = bX ? m_pInputX : m_pInputY;
    SetAxisInput(bX, pCombo->currentText().toStdWString());
    FillAxisCombos();
    SelectRecord(CurrentRecord(), false);
    UpdateList();
}

void CInputConfigDlg::OnFunctionChange()
{
    const int index = m_pFunction->currentIndex();
    if (index >= 0)
        SetFunction(static_cast<unsigned>(index));
}

void CInputConfigDlg::UpdateList()
{
    m_List.m_pInputs = &Inputs();
    m_List.m_nInputX = InputX();
    m_List.m_nInputY = InputY();
    if (m_bInitialized) {
        m_List.UpdateRows();
        UpdateSliceCount();
    }
}

bool CInputConfigDlg::OnValueChange(int code, double* pValue)
{
    const int i = m_List.GetInputIndex(m_List.m_ValueHandler.GetEditItem());
    if (i < 0)
        return false;
    if (!ChangeValue(i, code, pValue))
        return false;
    UpdateList();
    return true;
}

void CInputConfigDlg::OnFixChange(unsigned nRow, BOOL bFixed)
{
    const int i = m_List.GetInputIndex(static_cast<int>(nRow));
    if (i >= 0)
        SetFixed(i, bFixed != 0);
}

void CInputConfigDlg::OnCancelChange()
{
    if (CancelChange())
        UpdateList();
}
