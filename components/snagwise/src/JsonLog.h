#pragma once
// The diagnostics library's log: one JSON object per line, appended to
// <folder>/snagwise.log; at the size limit the file moves to snagwise.log.1
// (older ones to .2, .3) and a new one starts.
#include "platform/dispatch.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace snagwise {

using Values = std::vector<std::pair<std::wstring, VARIANT>>;

struct Settings {
    HRESULT assertVerdict = S_OK; // continue
    std::uint64_t maxLogBytes = 4u << 20;
    int keptLogs = 3;
    std::filesystem::path logDirectory;
};

// VANTIX_SNAGWISE_VERDICT (continue | break | abort) wins over the file
// $XDG_CONFIG_HOME/vantix/snagwise.conf ("assert_verdict = ...",
// "max_log_size = <bytes>", "kept_logs = <n>"); the log folder is
// $XDG_STATE_HOME/vantix (~/.local/state/vantix).
Settings ReadSettings();
// "continue" S_OK, "break" 1, "abort" E_ABORT; false for anything else.
bool ParseVerdict(std::string text, HRESULT& verdict);

std::string ToUtf8(std::wstring_view text);
// {"time":..., "pid":..., "command":..., "record":{...}} without the newline.
std::string FormatLine(const std::wstring& command, const Values* values);

class CJsonLog {
public:
    CJsonLog(std::filesystem::path directory, std::uint64_t maxBytes, int keptLogs);
    ~CJsonLog();
    CJsonLog(const CJsonLog&) = delete;
    CJsonLog& operator=(const CJsonLog&) = delete;

    void SetDirectory(std::filesystem::path directory);
    std::filesystem::path FilePath() const;
    // Appends line and a newline in one write; false when the file cannot be written.
    bool Append(const std::string& line);

private:
    bool OpenLocked();
    void RotateLocked();

    mutable std::mutex m_lock;
    std::filesystem::path m_directory;
    std::uint64_t m_nMaxBytes;
    int m_nKept;
    int m_fd = -1;
};

} // namespace snagwise
