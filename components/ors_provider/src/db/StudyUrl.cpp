#include "db/StudyUrl.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace ors {

namespace {

std::string lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

// The scheme without a "+driver" suffix, or empty when text has no "scheme://".
std::string baseScheme(std::string_view text)
{
    const auto colon = text.find("://");
    if (colon == std::string_view::npos || colon == 0)
        return {};
    const std::string scheme = lower(text.substr(0, colon));
    if (!std::all_of(scheme.begin(), scheme.end(), [](char c) { return std::isalnum((unsigned char)c) || c == '+' || c == '_'; }))
        return {};
    return scheme.substr(0, scheme.find('+'));
}

std::optional<StudyUrl::Kind> kindOf(const std::string& scheme)
{
    if (scheme == "postgresql" || scheme == "postgres")
        return StudyUrl::Kind::Postgres;
    if (scheme == "mysql" || scheme == "mariadb")
        return StudyUrl::Kind::MariaDb;
    if (scheme == "sqlite")
        return StudyUrl::Kind::Sqlite;
    return std::nullopt;
}

bool decode(std::string_view in, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        unsigned v = 0;
        if (i + 2 >= in.size() || std::from_chars(in.data() + i + 1, in.data() + i + 3, v, 16).ptr != in.data() + i + 3)
            return false;
        out += char(v);
        i += 2;
    }
    return true;
}

} // namespace

bool LooksLikeStudyUrl(std::string_view text)
{
    return kindOf(baseScheme(text)).has_value();
}

std::optional<StudyUrl> ParseStudyUrl(std::string_view text, std::string* why)
{
    const auto fail = [&](std::string message) {
        if (why)
            *why = std::move(message);
        return std::nullopt;
    };
    const auto kind = kindOf(baseScheme(text));
    if (!kind)
        return fail("The address does not start with postgresql://, mysql:// or sqlite://.");
    StudyUrl url;
    url.kind = *kind;
    std::string_view rest = text.substr(text.find("://") + 3);
    if (const auto q = rest.find('?'); q != std::string_view::npos) {
        std::string_view query = rest.substr(q + 1);
        rest = rest.substr(0, q);
        while (!query.empty()) {
            const auto amp = query.find('&');
            const std::string_view pair = query.substr(0, amp);
            query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
            const auto eq = pair.find('=');
            std::string key, value;
            if (!decode(pair.substr(0, eq), key) ||
                !decode(eq == std::string_view::npos ? std::string_view{} : pair.substr(eq + 1), value))
                return fail("The address holds a broken %-escape.");
            if (!key.empty())
                url.query[key] = value;
        }
    }
    if (url.kind == StudyUrl::Kind::Sqlite) {
        // sqlite:///relative and sqlite:////absolute: the authority is empty.
        if (rest.empty() || rest.front() != '/' || rest.size() < 2)
            return fail("An SQLite address names its file after three slashes: sqlite:///study.db, or "
                        "sqlite:////home/me/study.db for an absolute path.");
        if (!decode(rest.substr(1), url.database))
            return fail("The address holds a broken %-escape.");
        return url;
    }
    const auto slash = rest.find('/');
    const std::string_view authority = rest.substr(0, slash);
    if (slash == std::string_view::npos || slash + 1 >= rest.size())
        return fail("The address names no database: add /DATABASE after the host.");
    if (!decode(rest.substr(slash + 1), url.database))
        return fail("The address holds a broken %-escape.");
    std::string_view hostPort = authority;
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        hostPort = authority.substr(at + 1);
        const auto colon = userInfo.find(':');
        url.hasPassword = colon != std::string_view::npos;
        if (!decode(userInfo.substr(0, colon), url.user) ||
            (url.hasPassword && !decode(userInfo.substr(colon + 1), url.password)))
            return fail("The address holds a broken %-escape.");
    }
    std::string_view host = hostPort;
    // The port follows the last colon, past an [IPv6] literal's closing bracket.
    const auto bracket = hostPort.find(']');
    if (const auto colon = hostPort.rfind(':');
        colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        host = hostPort.substr(0, colon);
        const std::string_view port = hostPort.substr(colon + 1);
        int value = 0;
        const auto r = std::from_chars(port.data(), port.data() + port.size(), value);
        if (port.empty() || r.ptr != port.data() + port.size() || value <= 0 || value > 65535)
            return fail("The port in the address is not a number from 1 to 65535.");
        url.port = value;
    }
    if (!decode(host, url.host))
        return fail("The address holds a broken %-escape.");
    if (url.host.size() > 1 && url.host.front() == '[' && url.host.back() == ']')
        url.host = url.host.substr(1, url.host.size() - 2);
    // A socket folder may come as ?host=/run/postgresql or ?unix_socket=/run/mysqld/mysqld.sock.
    for (const char* key : {"host", "unix_socket"})
        if (const auto it = url.query.find(key); it != url.query.end() && url.host.empty())
            url.host = it->second;
    if (const auto it = url.query.find("port"); it != url.query.end() && url.port == 0) {
        const std::string& port = it->second;
        int value = 0;
        const auto r = std::from_chars(port.data(), port.data() + port.size(), value);
        if (r.ptr != port.data() + port.size() || value <= 0 || value > 65535)
            return fail("The port in the address is not a number from 1 to 65535.");
        url.port = value;
    }
    return url;
}

std::string RedactStudyUrl(std::string_view text)
{
    if (!LooksLikeStudyUrl(text))
        return std::string(text);
    const auto start = text.find("://") + 3;
    const auto end = text.find_first_of("/?", start);
    const std::string_view authority = text.substr(start, end == std::string_view::npos ? end : end - start);
    const auto at = authority.rfind('@');
    if (at == std::string_view::npos)
        return std::string(text);
    const auto colon = authority.substr(0, at).find(':');
    if (colon == std::string_view::npos)
        return std::string(text);
    std::string out(text.substr(0, start + colon));
    out += text.substr(start + at);
    return out;
}

} // namespace ors
