#pragma once
#include <string>


// The main frame's listener given to every chart.
class ITopLevelControl {
public:
    // Hands over a temporary file that the frame deletes when it closes.
    virtual bool RegisterTemporaryFile(const wchar_t* path) = 0;
    // A results file was opened into a chart (not a temporary one).
    virtual void FileOpened(const std::wstring& path) { (void)path; }
    // A long operation (a save) begins with its text, and ends with an empty one.
    virtual void ShowProgress(const std::wstring& text) { (void)text; }
    // A note for the status bar about what was just done (failed rows a load skipped).
    virtual void ShowStatus(const std::wstring& text) { (void)text; }

protected:
    ~ITopLevelControl() = default;
};

