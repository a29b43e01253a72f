#pragma once
// The program's embedded texts: the string table (":/vantix/strings.json",
// {"id": "text"}) and the version block generated from the project version
// (":/vantix/version.json": "VarFileInfo"/"Translation" lists [language, code
// page] pairs, "StringFileInfo" holds the named strings per "llllcccc" key).
// Read through Dizedev/interface (string_t.h, VersionInfo.h).
#include <QByteArray>

namespace vantix_res {

// Empty when the resource is not linked into the program.
QByteArray StringTableData();
QByteArray VersionBlockData();

} // namespace vantix_res
