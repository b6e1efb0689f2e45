#include "app/CommandLine.h"

#include "common/InstallPaths.h"

#include <QCommandLineParser>

namespace sonalto {

namespace {

struct ActionOption
{
    CommandLine::Action action;
    const char *name; // also the request word
};

constexpr ActionOption ActionOptions[] = {
    {CommandLine::Action::Record, "record"}, {CommandLine::Action::Pause, "pause"},
    {CommandLine::Action::Stop, "stop"},     {CommandLine::Action::Toggle, "toggle"},
    {CommandLine::Action::Show, "show"},     {CommandLine::Action::Quit, "quit"},
};

CommandLine usageError(const QString &what)
{
    CommandLine line;
    line.endNow = true;
    line.exitCode = ExitUsage;
    line.error = QStringLiteral("sonalto: ") + what + QLatin1Char('\n') + usageText();
    return line;
}

} // namespace

QString usageText()
{
    return QStringLiteral(
        "Usage: sonalto [ACTION]\n"
        "Without an action: starts Sonalto, or brings the running copy to the front.\n"
        "\n"
        "Actions, carried out by the running copy:\n"
        "  --record   start recording; starts Sonalto (in the tray where there is one)\n"
        "             when it is not running, and waits until the recording runs\n"
        "  --pause    pause the recording, or resume it when it is paused\n"
        "  --stop     stop the recording and wait until its file is finished\n"
        "  --toggle   start recording when idle, else stop (starts Sonalto as --record)\n"
        "  --show     bring the window to the front (starts Sonalto when not running)\n"
        "  --quit     finish a recording, save the settings and end Sonalto\n"
        "\n"
        "  -h, --help     print this help and exit\n"
        "  -v, --version  print the version and exit\n"
        "\n"
        "Exit status: 0 when the action was carried out; 1 when it was not (the reason\n"
        "is printed on standard error: Sonalto is not running, the recording did not\n"
        "start...); 2 when the command line is wrong.\n");
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    for (const ActionOption &option : ActionOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(option.name)));
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument: ") +
                          parser.positionalArguments().constFirst());

    CommandLine line;
    if (parser.isSet(help)) {
        line.endNow = true;
        line.output = usageText();
        return line;
    }
    if (parser.isSet(version)) {
        line.endNow = true;
        line.output = QStringLiteral("Sonalto ") + programVersion() + QLatin1Char('\n');
        return line;
    }
    int actions = 0;
    for (const ActionOption &option : ActionOptions) {
        if (parser.isSet(QString::fromLatin1(option.name))) {
            line.action = option.action;
            ++actions;
        }
    }
    if (actions > 1)
        return usageError(QStringLiteral("one action at a time"));
    return line;
}

QByteArray actionRequest(CommandLine::Action action)
{
    for (const ActionOption &option : ActionOptions) {
        if (option.action == action)
            return option.name;
    }
    return {};
}

CommandLine::Action actionOfRequest(const QByteArray &request)
{
    for (const ActionOption &option : ActionOptions) {
        if (request == option.name)
            return option.action;
    }
    return CommandLine::Action::None;
}

bool actionStartsProgram(CommandLine::Action action)
{
    return action == CommandLine::Action::None || action == CommandLine::Action::Record ||
           action == CommandLine::Action::Toggle || action == CommandLine::Action::Show;
}

} // namespace sonalto
