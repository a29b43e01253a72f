#include "Json.h"

#include <cstdlib>

namespace ors::import {

namespace {

class Parser {
public:
    explicit Parser(std::string_view json) : m_json(json) {}

    bool document(JsonValue& out)
    {
        if (!value(out, 0))
            return false;
        blanks();
        return m_at == m_json.size();
    }

private:
    static constexpr int kMaxDepth = 64;

    void blanks()
    {
        while (m_at < m_json.size() && (m_json[m_at] == ' ' || m_json[m_at] == '\t' || m_json[m_at] == '\n' ||
                                        m_json[m_at] == '\r'))
            ++m_at;
    }
    bool literal(std::string_view word)
    {
        if (m_json.substr(m_at, word.size()) != word)
            return false;
        m_at += word.size();
        return true;
    }
    bool hex4(char32_t& v)
    {
        if (m_at + 4 > m_json.size())
            return false;
        v = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = m_json[m_at++];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= char32_t(c - '0');
            else if (c >= 'a' && c <= 'f')
                v |= char32_t(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                v |= char32_t(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }
    static void utf8(std::string& s, char32_t cp)
    {
        if (cp < 0x80) {
            s.push_back(char(cp));
        } else if (cp < 0x800) {
            s.push_back(char(0xC0 | cp >> 6));
            s.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            s.push_back(char(0xE0 | cp >> 12));
            s.push_back(char(0x80 | (cp >> 6 & 0x3F)));
            s.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            s.push_back(char(0xF0 | cp >> 18));
            s.push_back(char(0x80 | (cp >> 12 & 0x3F)));
            s.push_back(char(0x80 | (cp >> 6 & 0x3F)));
            s.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    bool string(std::string& s)
    {
        if (m_at >= m_json.size() || m_json[m_at++] != '"')
            return false;
        for (;;) {
            if (m_at >= m_json.size())
                return false;
            const char c = m_json[m_at++];
            if (c == '"')
                return true;
            if (c != '\\') {
                s.push_back(c);
                continue;
            }
            if (m_at >= m_json.size())
                return false;
            switch (const char e = m_json[m_at++]) {
            case '"': case '\\': case '/': s.push_back(e); break;
            case 'b': s.push_back('\b'); break;
            case 'f': s.push_back('\f'); break;
            case 'n': s.push_back('\n'); break;
            case 'r': s.push_back('\r'); break;
            case 't': s.push_back('\t'); break;
            case 'u': {
                char32_t cp = 0;
                if (!hex4(cp))
                    return false;
                if (cp >= 0xD800 && cp < 0xDC00 && m_json.substr(m_at, 2) == "\\u") {
                    m_at += 2;
                    char32_t low = 0;
                    if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                utf8(s, cp);
                break;
            }
            default:
                return false;
            }
        }
    }
    bool number(JsonValue& out)
    {
        const std::size_t start = m_at;
        while (m_at < m_json.size() && std::string_view("+-0123456789.eE").find(m_json[m_at]) != std::string_view::npos)
            ++m_at;
        // Python's json writes these for non-finite floats.
        for (const std::string_view word : {"NaN", "Infinity", "-Infinity"})
            if (m_at == start || (m_at == start + 1 && m_json[start] == '-'))
                if (m_json.substr(start, word.size()) == word)
                    m_at = start + word.size();
        if (m_at == start)
            return false;
        out.type = JsonValue::Type::Number;
        out.text = std::string(m_json.substr(start, m_at - start));
        char* end = nullptr;
        out.number = std::strtod(out.text.c_str(), &end);
        return end == out.text.c_str() + out.text.size();
    }
    bool value(JsonValue& out, int depth)
    {
        if (depth > kMaxDepth)
            return false;
        blanks();
        if (m_at >= m_json.size())
            return false;
        const char c = m_json[m_at];
        if (c == '"') {
            out.type = JsonValue::Type::String;
            return string(out.text);
        }
        if (c == '[') {
            ++m_at;
            out.type = JsonValue::Type::Array;
            blanks();
            if (m_at < m_json.size() && m_json[m_at] == ']')
                return ++m_at, true;
            for (;;) {
                out.items.emplace_back();
                if (!value(out.items.back(), depth + 1))
                    return false;
                blanks();
                if (m_at < m_json.size() && m_json[m_at] == ',') {
                    ++m_at;
                    continue;
                }
                return m_at < m_json.size() && m_json[m_at++] == ']';
            }
        }
        if (c == '{') {
            ++m_at;
            out.type = JsonValue::Type::Object;
            blanks();
            if (m_at < m_json.size() && m_json[m_at] == '}')
                return ++m_at, true;
            for (;;) {
                blanks();
                std::string key;
                if (!string(key))
                    return false;
                blanks();
                if (m_at >= m_json.size() || m_json[m_at++] != ':')
                    return false;
                JsonValue member;
                if (!value(member, depth + 1))
                    return false;
                out.members.insert_or_assign(std::move(key), std::move(member));
                blanks();
                if (m_at < m_json.size() && m_json[m_at] == ',') {
                    ++m_at;
                    continue;
                }
                return m_at < m_json.size() && m_json[m_at++] == '}';
            }
        }
        if (literal("null")) {
            out.type = JsonValue::Type::Null;
            return true;
        }
        if (literal("true") || literal("false")) {
            out.type = JsonValue::Type::Bool;
            out.boolean = m_json[m_at - 1] == 'e' && m_json[m_at - 2] == 'u';
            return true;
        }
        return number(out);
    }

    std::string_view m_json;
    std::size_t m_at = 0;
};

} // namespace

const JsonValue* JsonValue::find(std::string_view name) const
{
    const auto it = members.find(name);
    return it == members.end() ? nullptr : &it->second;
}

bool ParseJson(std::string_view json, JsonValue& out)
{
    out = {};
    return Parser(json).document(out);
}

} // namespace ors::import
