#pragma once
// Every message box, file dialog and modal dialog of the program goes through
// one injectable service, so that tests can answer them and a whole flow from
// open to save runs without a person.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDialog;
class QWidget;

namespace vantix {

// Message-box styles and answers keep their Windows values.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONHAND = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONWARNING = MB_ICONEXCLAMATION,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct FileDialogRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    std::wstring title;
    std::wstring initialName;      // file name proposed in the dialog
    std::wstring folder;           // where the dialog opens (empty: its own choice)
    std::wstring defaultExtension; // appended by the dialog when the user types none ("ors")
    bool overwritePrompt = true;
    std::wstring filter; // name filters, ";;" apart (empty: the results files')
};

// What a load needs the user to choose: a study of a storage, or the roles
// of a table's columns.
struct LoadChoiceRequest {
    std::wstring file; // the name the file goes by on screen
    std::vector<std::wstring> studies;
    std::vector<std::uint32_t> trials; // each study's trial count
    std::vector<std::wstring> columns;
    std::vector<int> roles; // per column, the guess: kColumnInput, kColumnFunction or kColumnIgnore
};
inline constexpr int kColumnInput = 0;
inline constexpr int kColumnFunction = 1;
inline constexpr int kColumnIgnore = 2;

class IPrompts {
public:
    virtual ~IPrompts() = default;
    // Answers IDOK, IDCANCEL, IDYES or IDNO.
    virtual int MessageBox(QWidget* parent, const std::wstring& text, const std::wstring& caption, unsigned style) = 0;
    // The chosen path, or nothing when cancelled.
    virtual std::optional<std::wstring> FileDialog(QWidget* parent, const FileDialogRequest& request) = 0;
    // Runs a modal dialog; answers its result (IDOK or IDCANCEL for the program's dialogs).
    virtual int DoModal(QDialog& dialog) = 0;
    // The study to open (an index into request.studies), or nothing when cancelled.
    virtual std::optional<std::size_t> ChooseStudy(QWidget* parent, const LoadChoiceRequest& request) = 0;
    // Every column's role in column order, or nothing when cancelled.
    virtual std::optional<std::vector<int>> ChooseColumnRoles(QWidget* parent, const LoadChoiceRequest& request) = 0;
    // A password a database server wants; text says which server and user.
    // Nothing when cancelled.
    virtual std::optional<std::wstring> AskPassword(QWidget* parent, const std::wstring& text) = 0;
};

// The service in use: the Qt one unless a test installed another.
IPrompts& Prompts();

// Installs a service for the lifetime of this object (tests).
class ScopedPrompts {
public:
    explicit ScopedPrompts(IPrompts& prompts);
    ~ScopedPrompts();
    ScopedPrompts(const ScopedPrompts&) = delete;
    ScopedPrompts& operator=(const ScopedPrompts&) = delete;

private:
    IPrompts* m_previous;
};

// The file filters of the results-file dialogs.
QString ResultsFileFilter();

// The active window, the owner of the program's prompts.
QWidget* ActiveWindow();

} // namespace vantix
