#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace sonalto {

// What the command line asks for. Read before any window or display exists: the
// help and the version are printed without one, and an action is sent to the
// copy that runs without one.
struct CommandLine
{
    enum class Action { None, Record, Pause, Stop, Toggle, Show, Quit };
    Action action = Action::None;
    // The line is answered here (help, version, a mistake): print and end.
    bool endNow = false;
    int exitCode = 0;
    QString output; // for standard output
    QString error;  // for standard error
};

// Exit statuses of an action: carried out, not carried out (the reason on
// standard error), a command line that could not be read.
constexpr int ExitDone = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

// arguments[0] is the program.
CommandLine parseCommandLine(const QStringList &arguments);
QString usageText();
// The request word sent to the copy that runs ("record"); empty for None.
QByteArray actionRequest(CommandLine::Action action);
CommandLine::Action actionOfRequest(const QByteArray &request);
// Actions that start the program when no copy runs (and are then carried out
// by it); the others need a copy that runs.
bool actionStartsProgram(CommandLine::Action action);

} // namespace sonalto
