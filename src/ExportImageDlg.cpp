#include "ExportImageDlg.h"

#include "FileHistory.h"
#include "Prompts.h"
#include "plot_control/ChartPicture.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <iterator>

using namespace vantix;

namespace {

struct Format {
    const char* suffix;
    const char* label;
};
constexpr Format kFormats[] = {
    {"png", "PNG image (*.png)"},
    {"svg", "SVG drawing (*.svg)"},
    {"pdf", "PDF document (*.pdf)"},
};

// The format a name's extension names: its index in kFormats, or -1.
int FormatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (int k = 0; k < int(std::size(kFormats)); ++k)
        if (suffix == QLatin1String(kFormats[k].suffix))
            return k;
    return -1;
}

template <class W>
W* named(W* w, int id)
{
    w->setObjectName(QString::number(id));
    return w;
}

} // namespace

CExportImageDlg::CExportImageDlg(QSize windowSize, const QString& path, QWidget* parent)
    : QDialog(parent), m_windowSize(windowSize)
{
    setWindowTitle(QStringLiteral("Export Image"));
    auto* form = new QFormLayout;

    auto* fileRow = new QHBoxLayout;
    m_edit = named(new QLineEdit(QDir::toNativeSeparators(path)), IDC_PATH);
    m_edit->setMinimumWidth(320);
    auto* browse = named(new QPushButton(QStringLiteral("&Browse...")), IDC_BROWSE);
    browse->setAutoDefault(false);
    fileRow->addWidget(m_edit, 1);
    fileRow->addWidget(browse);
    // Rows holding several controls need their label's buddy set by hand.
    const auto label = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    form->addRow(label(QStringLiteral("&File:"), m_edit), fileRow);

    m_format = named(new QComboBox, IDC_FORMAT);
    for (const Format& f : kFormats)
        m_format->addItem(QString::fromLatin1(f.label));
    form->addRow(QStringLiteral("F&ormat:"), m_format);

    auto* sizeRow = new QHBoxLayout;
    m_width = named(new QSpinBox, IDC_WIDTH);
    m_height = named(new QSpinBox, IDC_HEIGHT);
    for (QSpinBox* box : {m_width, m_height}) {
        box->setRange(1, plot::kMaxPictureSide);
        box->setSuffix(QStringLiteral(" px"));
    }
    m_width->setValue(windowSize.width());
    m_height->setValue(windowSize.height());
    auto* windowButton = named(new QPushButton(QStringLiteral("&Window Size")), IDC_WINDOW_SIZE);
    windowButton->setAutoDefault(false);
    windowButton->setToolTip(QStringLiteral("%1 x %2 pixels, as the chart window shows it")
                                 .arg(windowSize.width())
                                 .arg(windowSize.height()));
    sizeRow->addWidget(m_width);
    sizeRow->addWidget(new QLabel(QStringLiteral("x")));
    sizeRow->addWidget(m_height);
    sizeRow->addWidget(windowButton);
    sizeRow->addStretch(1);
    form->addRow(label(QStringLiteral("&Size:"), m_width), sizeRow);

    auto* note = new QLabel(QStringLiteral("SVG and PDF keep axes, labels, colour bar and legend as vectors; "
                                           "the 3-D picture is embedded at the chosen size."));
    note->setWordWrap(true);
    note->setEnabled(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Export"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &CExportImageDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CExportImageDlg::reject);
    connect(browse, &QPushButton::clicked, this, &CExportImageDlg::OnBrowse);
    connect(windowButton, &QPushButton::clicked, this, [this] {
        m_width->setValue(m_windowSize.width());
        m_height->setValue(m_windowSize.height());
    });
    connect(m_format, &QComboBox::activated, this, &CExportImageDlg::OnFormatChosen);
    connect(m_edit, &QLineEdit::textEdited, this, &CExportImageDlg::OnPathEdited);
    OnPathEdited(m_edit->text());
}

void CExportImageDlg::OnPathEdited(const QString& text)
{
    if (const int format = FormatOf(text); format >= 0)
        m_format->setCurrentIndex(format);
}

void CExportImageDlg::OnFormatChosen(int index)
{
    const QString text = m_edit->text().trimmed();
    if (text.isEmpty())
        return;
    const QString suffix = QString::fromLatin1(kFormats[index].suffix);
    const QFileInfo info(text);
    QString base = text;
    if (FormatOf(text) >= 0)
        base.chop(info.suffix().size() + 1);
    m_edit->setText(base + QLatin1Char('.') + suffix);
}

void CExportImageDlg::OnBrowse()
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.title = L"Export Image";
    const QFileInfo current(m_edit->text().trimmed());
    request.initialName = current.fileName().toStdWString();
    request.folder = current.path() != QLatin1String(".") ? current.path().toStdWString() : ReadDialogFolder();
    request.defaultExtension = QString::fromLatin1(kFormats[m_format->currentIndex()].suffix).toStdWString();
    // The chosen format's filter first: the dialog starts on it.
    QStringList filters;
    filters << QString::fromLatin1(kFormats[m_format->currentIndex()].label);
    for (const Format& f : kFormats)
        if (filters.front() != QLatin1String(f.label))
            filters << QString::fromLatin1(f.label);
    request.filter = filters.join(QStringLiteral(";;")).toStdWString();
    const auto chosen = Prompts().FileDialog(this, request);
    if (!chosen)
        return;
    RememberDialogFolder(*chosen);
    m_edit->setText(QDir::toNativeSeparators(QString::fromStdWString(*chosen)));
    OnPathEdited(m_edit->text());
    m_confirmed = m_edit->text();
}

void CExportImageDlg::accept()
{
    QString path = m_edit->text().trimmed();
    if (path.isEmpty()) {
        Prompts().MessageBox(this, L"Type the name of the file for the picture, or choose one with Browse.",
                             L"Export Image", MB_OK | MB_ICONEXCLAMATION);
        m_edit->setFocus();
        return;
    }
    if (FormatOf(path) < 0)
        path += QLatin1Char('.') + QString::fromLatin1(kFormats[m_format->currentIndex()].suffix);
    path = QDir::fromNativeSeparators(path);
    if (path != QDir::fromNativeSeparators(m_confirmed) && QFileInfo::exists(path) &&
        Prompts().MessageBox(this, QDir::toNativeSeparators(path).toStdWString() + L" already exists.\nDo you want to replace it?",
                             L"Export Image", MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
        return;
    m_path = path;
    m_size = QSize(m_width->value(), m_height->value());
    QDialog::accept();
}
