#pragma once
// The diagnostics client's ties to Qt. The client library does not use Qt, so
// that tools and components loading it do not load Qt; a program with a Qt
// user interface installs these at start-up, before the client is first used.
#include "diagnostics/SnagwiseClient.h"

namespace SnagwiseUtil {

// The client's "Snagwise Init Failed." box (a message box on the GUI thread
// once a QApplication exists, else stderr) and the "Default" value of the
// Qorvex/Snagwise settings that asks for it.
void InstallQtClientInterface();

// Qt's message handler: critical and fatal messages become EXCEPTION records
// of type 0 (code 0xC000000D), then go to the previous handler; other
// messages pass straight on. The first of the handlers of ExceptionHandlers.h.
void InstallInvalidParameterHandler(SnagwiseClient* client);

} // namespace SnagwiseUtil
