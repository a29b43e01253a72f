#pragma once
// Process entry of the program, kept in the library so tests can run it.
#include <QStringList>

#include <functional>

class CMainFrame;

// Runs the program with the given arguments (argv[0] first) and returns the
// exit code of the event loop; 0 when the main window cannot be created.
int VantixMain(int argc, char** argv);

// What the command line asks for.
struct CommandLine {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    QString file; // first argument after the program path, or empty
};
CommandLine ParseCommandLine(const QStringList& arguments);
QString CommandLineHelp();

// The frame's life on an existing application: creates and shows the frame,
// reports it to diagnostics, opens the command-line file, calls started (tests)
// and runs the event loop; returns the loop's exit code.
int RunApplication(const CommandLine& cl, const std::function<void(CMainFrame&)>& started = {});
