#pragma once
// A small JSON reader for the few documents importers meet (Optuna's
// distributions and attribute values). Numbers keep their text, so that a
// choice reads the same as pandas writes it.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ors::import {

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text; // String: the text; Number: as written
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue, std::less<>> members;

    // The member of that name, or null when there is none (or this is no object).
    const JsonValue* find(std::string_view name) const;
};

// False for anything that is not one JSON value (with blanks around it).
bool ParseJson(std::string_view json, JsonValue& out);

} // namespace ors::import
