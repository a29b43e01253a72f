#include "JsonLog.h"

#include "diagnostics/IDebugObject.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace snagwise {

namespace {

std::filesystem::path FromEnvOrHome(const char* variable, const char* fallback)
{
    if (const char* v = std::getenv(variable); v && *v == '/')
        return v;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/tmp") / fallback;
}

std::string Trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendJsonString(std::string& out, std::wstring_view text)
{
    out.push_back('"');
    for (const wchar_t wc : text) {
        const auto cp = static_cast<char32_t>(wc);
        switch (cp) {
        case U'"': out += "\\\""; break;
        case U'\\': out += "\\\\"; break;
        case U'\n': out += "\\n"; break;
        case U'\r': out += "\\r"; break;
        case U'\t': out += "\\t"; break;
        default:
            if (cp < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
                out += buf;
            } else {
                AppendUtf8(out, cp);
            }
        }
    }
    out.push_back('"');
}

void AppendNumber(std::string& out, const char* format, auto value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    out += buf;
}

void AppendValue(std::string& out, const VARIANT& v)
{
    using namespace platform;
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL: out += "null"; break;
    case VT_BSTR: AppendJsonString(out, v.bstrVal); break;
    case VT_BOOL: out += v.boolVal ? "true" : "false"; break;
    case VT_I4:
    case VT_INT: AppendNumber(out, "%" PRId32, v.lVal); break;
    case VT_UI4:
    case VT_UINT: AppendNumber(out, "%" PRIu32, v.ulVal); break;
    case VT_I8: AppendNumber(out, "%" PRId64, v.llVal); break;
    case VT_UI8: AppendNumber(out, "%" PRIu64, v.ullVal); break;
    case VT_R8:
        if (std::isfinite(v.dblVal))
            AppendNumber(out, "%.17g", v.dblVal);
        else
            out += "null";
        break;
    default: AppendNumber(out, "\"<type %u>\"", static_cast<unsigned>(v.vt)); break;
    }
}

// The fault behind "$EXCEPTION_POINTERS", read while the client still owns it.
void AppendException(std::string& out, std::uint64_t address)
{
    const auto* pointers = reinterpret_cast<const IQX_SnagwiseUtil::EXCEPTION_POINTERS*>(address);
    out += "{";
    if (const auto* r = pointers->ExceptionRecord) {
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "\"code\":\"0x%08" PRIX32 "\",\"flags\":%" PRIu32 ",\"address\":\"0x%" PRIx64
                      "\",\"signal\":%" PRId32 ",",
                      r->ExceptionCode, r->ExceptionFlags, r->ExceptionAddress, r->Signal);
        out += buf;
    }
    out += "\"backtrace\":[";
    if (const auto* c = pointers->ContextRecord) {
        const std::uint32_t n = std::min(c->FrameCount, IQX_SnagwiseUtil::kMaxContextFrames);
        for (std::uint32_t i = 0; i < n; ++i) {
            if (i)
                out += ",";
            AppendNumber(out, "\"0x%" PRIx64 "\"", c->Frames[i]);
        }
    }
    out += "]}";
}

} // namespace

bool ParseVerdict(std::string text, HRESULT& verdict)
{
    text = Trim(text);
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    if (text == "continue")
        verdict = S_OK;
    else if (text == "break")
        verdict = 1;
    else if (text == "abort")
        verdict = E_ABORT;
    else
        return false;
    return true;
}

Settings ReadSettings()
{
    Settings s;
    s.logDirectory = FromEnvOrHome("XDG_STATE_HOME", ".local/state") / "vantix";
    std::ifstream file(FromEnvOrHome("XDG_CONFIG_HOME", ".config") / "vantix" / "snagwise.conf");
    std::string line;
    while (std::getline(file, line)) {
        line = Trim(line.substr(0, line.find('#')));
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = Trim(line.substr(0, eq));
        const std::string value = Trim(line.substr(eq + 1));
        if (key == "assert_verdict") {
            ParseVerdict(value, s.assertVerdict);
        } else if (key == "max_log_size") {
            const unsigned long long n = std::strtoull(value.c_str(), nullptr, 10);
            if (n >= 1024)
                s.maxLogBytes = n;
        } else if (key == "kept_logs") {
            const long n = std::strtol(value.c_str(), nullptr, 10);
            if (n >= 0 && n <= 20)
                s.keptLogs = static_cast<int>(n);
        }
    }
    if (const char* v = std::getenv("VANTIX_SNAGWISE_VERDICT"); v && *v)
        ParseVerdict(v, s.assertVerdict);
    return s;
}

std::string ToUtf8(std::wstring_view text)
{
    std::string out;
    for (const wchar_t wc : text)
        AppendUtf8(out, static_cast<char32_t>(wc));
    return out;
}

std::string FormatLine(const std::wstring& command, const Values* values)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(now.tv_nsec / 1000000) % 1000);
    std::string out = "{\"time\":\"";
    out += stamp;
    out += "\",\"pid\":";
    AppendNumber(out, "%ld", static_cast<long>(::getpid()));
    out += ",\"command\":";
    AppendJsonString(out, command);
    if (values) {
        out += ",\"record\":{";
        bool first = true;
        const VARIANT* exception = nullptr;
        for (const auto& [key, value] : *values) {
            if (!first)
                out += ",";
            first = false;
            AppendJsonString(out, key);
            out += ":";
            AppendValue(out, value);
            if (key == L"$EXCEPTION_POINTERS" && value.vt == platform::VT_UI8 && value.ullVal)
                exception = &value;
        }
        out += "}";
        if (exception) {
            out += ",\"exception\":";
            AppendException(out, exception->ullVal);
        }
    }
    out += "}";
    return out;
}

CJsonLog::CJsonLog(std::filesystem::path directory, std::uint64_t maxBytes, int keptLogs)
    : m_directory(std::move(directory)), m_nMaxBytes(maxBytes), m_nKept(keptLogs)
{
}

CJsonLog::~CJsonLog()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void CJsonLog::SetDirectory(std::filesystem::path directory)
{
    std::lock_guard g(m_lock);
    if (directory == m_directory)
        return;
    m_directory = std::move(directory);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::filesystem::path CJsonLog::FilePath() const
{
    std::lock_guard g(m_lock);
    return m_directory / "snagwise.log";
}

bool CJsonLog::OpenLocked()
{
    if (m_fd >= 0)
        return true;
    std::error_code ec;
    std::filesystem::create_directories(m_directory, ec);
    m_fd = ::open((m_directory / "snagwise.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    return m_fd >= 0;
}

void CJsonLog::RotateLocked()
{
    ::close(m_fd);
    m_fd = -1;
    const auto base = m_directory / "snagwise.log";
    std::error_code ec;
    if (m_nKept <= 0) {
        std::filesystem::remove(base, ec);
        return;
    }
    auto numbered = [&](int n) { return std::filesystem::path(base.string() + "." + std::to_string(n)); };
    std::filesystem::remove(numbered(m_nKept), ec);
    for (int n = m_nKept - 1; n >= 1; --n)
        std::filesystem::rename(numbered(n), numbered(n + 1), ec);
    std::filesystem::rename(base, numbered(1), ec);
}

bool CJsonLog::Append(const std::string& line)
{
    std::lock_guard g(m_lock);
    if (m_fd >= 0) {
        // Another process may have rotated the file under us.
        struct stat open{}, named{};
        if (::fstat(m_fd, &open) != 0 || ::stat((m_directory / "snagwise.log").c_str(), &named) != 0 ||
            open.st_ino != named.st_ino || open.st_dev != named.st_dev) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    if (!OpenLocked())
        return false;
    struct stat st{};
    if (::fstat(m_fd, &st) == 0 && st.st_size > 0 &&
        static_cast<std::uint64_t>(st.st_size) + line.size() + 1 > m_nMaxBytes) {
        RotateLocked();
        if (!OpenLocked())
            return false;
    }
    std::string data = line;
    data.push_back('\n');
    // One write per line, so lines of several processes do not interleave.
    return ::write(m_fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
}

} // namespace snagwise
