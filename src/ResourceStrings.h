#pragma once
// Texts of the program's string table by id.
#include "string_t.h"

#include <QString>

inline string_t LoadResourceString(unsigned id)
{
    return resource_string::resourse_2_string_impl(id);
}

inline QString LoadResourceQString(unsigned id)
{
    return QString::fromStdWString(LoadResourceString(id));
}
