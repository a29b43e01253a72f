#pragma once
// What the user sees while the data provider loads a file: a progress dialog
// "Loading <file name>…" with a Cancel button. It is modal to the window that
// started the load, so while the provider's progress calls let the windows
// repaint, nothing can start another load or close the chart meanwhile.
// Tests install their own factory to record or cancel a load.
#include "ors_provider/ILoadProgress.h"
#include "platform/comptr.h"

#include <functional>
#include <string>

class QWidget;

namespace vantix {

using LoadProgressSinkPtr = ComPtr<IQX_VantixDataProvider::ILoadProgressSink>;
using LoadProgressFactory = std::function<LoadProgressSinkPtr(QWidget* pOwner, const std::wstring& path)>;

// Loads that end sooner show no dialog at all.
inline constexpr int kLoadProgressDelayMs = 300;

// The sink for loading path: the progress dialog unless a test installed a
// factory. Releasing the last reference closes the dialog.
LoadProgressSinkPtr CreateLoadProgress(QWidget* pOwner, const std::wstring& path);

// The progress dialog itself, owned by pOwner (modal to the whole program
// when there is no owner yet, as at start-up). Until it appears only non-input
// events are processed, so no click or key reaches the windows unguarded.
LoadProgressSinkPtr CreateLoadProgressDialog(QWidget* pOwner, const std::wstring& path,
                                             int delayMs = kLoadProgressDelayMs);

// Installs a factory for the lifetime of this object (tests).
class ScopedLoadProgressFactory {
public:
    explicit ScopedLoadProgressFactory(LoadProgressFactory factory);
    ~ScopedLoadProgressFactory();
    ScopedLoadProgressFactory(const ScopedLoadProgressFactory&) = delete;
    ScopedLoadProgressFactory& operator=(const ScopedLoadProgressFactory&) = delete;

private:
    LoadProgressFactory m_factory;
    const LoadProgressFactory* m_pPrevious;
};

} // namespace vantix
