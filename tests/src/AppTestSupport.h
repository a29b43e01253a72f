#pragma once
// Shared set-up of the tests that drive the whole program: the real data
// provider and chart control, scripted prompts, settings in a scratch folder.
#include "ChildFrm.h"
#include "InputConfigDlg.h"
#include "MainFrm.h"
#include "VantixView.h"

#include "support/FakeSnagwise.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>

#include <cstdlib>
#include <functional>
#include <memory>

namespace vantix::test {

// A sample of the source tree's samples folder.
inline std::wstring Sample(const char* name = "filter-tuning.ors")
{
    const char* dir = std::getenv("VANTIX_SOURCE_DIR");
    return (QString::fromUtf8(dir ? dir : ".") + QStringLiteral("/samples/") + QLatin1String(name)).toStdWString();
}

// Accepts the "Data Representation" dialog as it opens (X, Y and function of
// the first records, every other input held at record 0's value).
inline int AcceptDialog(QDialog&)
{
    return IDOK;
}

// The control of a dialog made with the given resource id.
template <class T>
T* Control(const QObject& dialog, int id)
{
    return dialog.findChild<T*>(QString::number(id));
}

// A scripted dialog answer: acts on the dialog as a D, then presses its OK.
template <class D = QDialog>
std::function<int(QDialog&)> ThenOk(std::function<void(D&)> act)
{
    return [act](QDialog& d) {
        act(static_cast<D&>(d));
        Control<QPushButton>(d, IDOK)->click();
        return d.result();
    };
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_settings.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        m_frame = std::make_unique<CMainFrame>();
        m_frame->OnCreate();
        m_frame->resize(1000, 700);
        m_frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_frame.get()));
        m_frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get())); // shortcuts need an active window
    }

    void TearDown() override
    {
        // Charts with unsaved data ask; nothing is saved on the way out, and no
        // deferred close may outlive the scripted prompts.
        QApplication::processEvents();
        prompts.messageAnswers.assign(m_frame->Charts().size(), IDNO);
        m_frame->close();
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_frame.reset();
    }

    // Opens a file the way the command line does, the dialog answered (accepted by default).
    CChildFrame* OpenAccepted(const std::wstring& path, std::function<int(QDialog&)> answer = AcceptDialog)
    {
        prompts.dialogAnswers.push_back(std::move(answer));
        const std::size_t before = m_frame->Charts().size();
        m_frame->OpenChartFile(path);
        QApplication::processEvents();
        if (m_frame->Charts().size() != before + 1)
            return nullptr;
        // The scripted dialog was a window of its own; the frame takes the keyboard again.
        m_frame->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
        return m_frame->ActiveChart();
    }

    // Exactly one message since the last call, saying says with this style.
    void ExpectMessage(const std::wstring& says, unsigned style)
    {
        EXPECT_EQ(prompts.messages.size(), 1u);
        if (!prompts.messages.empty()) {
            EXPECT_THAT(prompts.messages[0].text, ::testing::HasSubstr(says));
            EXPECT_EQ(prompts.messages[0].style, style);
        }
        prompts.messages.clear();
    }

    QString StatusText() const { return m_frame->UpdateUI().StatusPaneText(); }

    QString ScratchFile(const QString& name) const { return m_scratch.filePath(name); }

    FakeSnagwise snag;
    ScriptedPrompts prompts;
    ScopedPrompts installed{prompts};
    QTemporaryDir m_settings;
    QTemporaryDir m_scratch;
    std::unique_ptr<CMainFrame> m_frame;
};

} // namespace vantix::test
