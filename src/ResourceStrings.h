#pragma once
// Texts of the program's string table by id.
#include "string_t.h"

#include <QString>

// Ids of the program's string table (res/strings.json).
enum StringId : unsigned {
    IDS_MAINFRAME = 128,          // the main window's title
    IDS_CHART = 129,              // a new chart window's caption
    IDS_MESSAGE_CAPTION = 130,    // the title of the program's messages
    IDS_REOPEN_FOR_RENDERER = 131,
    IDS_INCOMPATIBLE_DATA = 132,
    IDS_TOO_FEW_PARAMETERS = 133,
    IDS_UNEXPECTED_FORMAT = 134,
    IDS_DEGREE_SUFFIX = 135,      // after the field of view's number
    IDS_UNSAVED_DATA = 12320,     // the question before closing unsaved data
    IDS_READY = 57345,            // the idle status-bar text
};

inline string_t LoadResourceString(unsigned id)
{
    return resource_string::resourse_2_string_impl(id);
}

inline QString LoadResourceQString(unsigned id)
{
    return QString::fromStdWString(LoadResourceString(id));
}
