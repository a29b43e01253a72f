#pragma once
// Process-wide handlers that report faults no code catches through the
// diagnostics client. Start-up installs them first thing, in this order:
//
//   InstallInvalidParameterHandler  Qt's message handler: critical and fatal
//                                   messages become EXCEPTION records of type 0
//                                   (code 0xC000000D), then go to the previous
//                                   handler; other messages pass straight on.
//                                   (diagnostics/QtInterface.h)
//   InstallUnhandledExceptionFilter std::set_terminate and SIGSEGV, SIGBUS,
//                                   SIGILL, SIGABRT (on an alternate stack):
//                                   EXCEPTION record of type 1, then
//                                   SnagwiseClient::Terminate (exit status 255).
//   InstallSeTranslator             SIGFPE: the floating-point state is reset,
//                                   an EXCEPTION record of type 0 is sent, the
//                                   verdict obeyed, then the previous handler runs.
//
// The client's destructor switches them off: afterwards they report nothing
// and faults take their default course.
#include "diagnostics/SnagwiseClient.h"

namespace SnagwiseUtil {

void InstallUnhandledExceptionFilter(SnagwiseClient* client);
void InstallSeTranslator(SnagwiseClient* client);

bool IsHandlerActive(HandlerGuard which);

// For the message handler of a user interface library: marks the
// invalid-parameter handler installed for client, and reports one critical
// message as an invalid parameter. ReportInvalidParameter returns whether the
// message goes on to the previous handler (not once the handler is switched
// off, nor when the verdict says so).
void ActivateInvalidParameterHandler(SnagwiseClient* client);
bool ReportInvalidParameter();

} // namespace SnagwiseUtil
