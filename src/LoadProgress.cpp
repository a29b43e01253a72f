#include "LoadProgress.h"

#include "ResourceStrings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>

#include <algorithm>
#include <limits>

namespace vantix {

using IQX_VantixDataProvider::ILoadProgressSink;

namespace {

// The bar's range; the provider's range may be anything.
constexpr int kSteps = 1000;

class CLoadProgressDialog final : public platform::ComObject<ILoadProgressSink> {
public:
    CLoadProgressDialog(QWidget* pOwner, const std::wstring& path, int delayMs)
    {
        const QString name = QFileInfo(QString::fromStdWString(path)).fileName();
        m_pDialog = new QProgressDialog(QStringLiteral("Loading %1\u2026").arg(name), QStringLiteral("Cancel"), 0,
                                        kSteps, pOwner);
        m_pDialog->setWindowTitle(LoadResourceQString(IDS_MESSAGE_CAPTION));
        m_pDialog->setWindowModality(pOwner ? Qt::WindowModal : Qt::ApplicationModal);
        // Shown here after the delay, not by the dialog's own estimate: that
        // would count the first repaint of a new chart window as loading time.
        m_pDialog->setMinimumDuration(std::numeric_limits<int>::max());
        m_pDialog->setValue(0);
        m_delayMs = delayMs;
        m_started.start();
    }

    HRESULT OnProgress(std::uint64_t done, std::uint64_t total) override
    {
        // Gone with its owner, or cancelled since the last call (a new value
        // would show the dialog again).
        if (!m_pDialog || m_pDialog->wasCanceled())
            return E_ABORT;
        if (total > 0)
            m_pDialog->setValue(int(std::min(done, total) * kSteps / total));
        if (!m_bShown && done < total && m_started.elapsed() >= m_delayMs) {
            m_bShown = true;
            m_pDialog->show();
        }
        // Hidden, the dialog does not guard the windows yet: only repaints and
        // timers (one of which shows it) run.
        QCoreApplication::processEvents(m_pDialog->isVisible() ? QEventLoop::AllEvents
                                                               : QEventLoop::ExcludeUserInputEvents);
        return !m_pDialog || m_pDialog->wasCanceled() ? E_ABORT : S_OK;
    }

protected:
    ~CLoadProgressDialog() override { delete m_pDialog.data(); }

private:
    QPointer<QProgressDialog> m_pDialog;
    QElapsedTimer m_started;
    int m_delayMs = 0;
    bool m_bShown = false;
};

const LoadProgressFactory* g_pFactory = nullptr;

} // namespace

LoadProgressSinkPtr CreateLoadProgressDialog(QWidget* pOwner, const std::wstring& path, int delayMs)
{
    return platform::MakeCom<CLoadProgressDialog>(pOwner, path, delayMs);
}

LoadProgressSinkPtr CreateLoadProgress(QWidget* pOwner, const std::wstring& path)
{
    if (g_pFactory)
        return (*g_pFactory)(pOwner, path);
    return CreateLoadProgressDialog(pOwner, path);
}

ScopedLoadProgressFactory::ScopedLoadProgressFactory(LoadProgressFactory factory)
    : m_factory(std::move(factory)), m_pPrevious(g_pFactory)
{
    g_pFactory = &m_factory;
}

ScopedLoadProgressFactory::~ScopedLoadProgressFactory()
{
    g_pFactory = m_pPrevious;
}

} // namespace vantix
