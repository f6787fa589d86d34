#include "app/command_line.h"

#include "monitor/trace_table.h"
#include "serial/port_table.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <vector>

#ifndef VELTRANO_VERSION
#error "VELTRANO_VERSION is set by the build (src/CMakeLists.txt) from the project version"
#endif

namespace veltrano {

namespace {

// The options that QGuiApplication, QApplication and the X11 platform take from the
// command line themselves. They pass here untouched, so that `veltrano -platform xcb`
// or `-style Windows` still start the window; QApplication removes them later.
const char* const kQtOptionsWithValue[] = {"platform",
                                           "platformpluginpath",
                                           "platformtheme",
                                           "plugin",
                                           "qwindowgeometry",
                                           "qwindowicon",
                                           "qwindowtitle",
                                           "geometry",
                                           "icon",
                                           "title",
                                           "session",
                                           "style",
                                           "stylesheet",
                                           "display",
                                           "name",
                                           "visual",
                                           "qmljsdebugger"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "testability", "dograb", "nograb"};

// Without a display Qt aborts, telling the user to reinstall the program: say what is
// missing instead. A platform chosen by hand (-platform, QT_QPA_PLATFORM) is Qt's to judge.
StartRequest refusalWithoutDesktop(int argc, char* argv[])
{
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
#else
    bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    for (int k = 1; k < argc; ++k)
        platformChosen = platformChosen || QByteArray(argv[k]).startsWith("-platform")
                         || QByteArray(argv[k]).startsWith("--platform");
    if (!platformChosen && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("veltrano: no desktop session to open the window in (DISPLAY and WAYLAND_DISPLAY are unset)\n",
                   stderr);
        return {.exitStatus = 1};
    }
#endif
    return {};
}

QString qtOptionsText()
{
    QStringList words;
    for (const char* name : kQtOptionsWithValue)
        words << QStringLiteral("-%1 <value>").arg(QLatin1String(name));
    for (const char* name : kQtFlags)
        words << QStringLiteral("-%1").arg(QLatin1String(name));
    QString text = QStringLiteral("\nQt's options, passed on to Qt:\n");
    QString line;
    for (const QString& word : words) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > 78) {
            text += line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QStringLiteral("  ") : QStringLiteral(" ")) + word;
    }
    return text + line + QLatin1Char('\n');
}

QString usageError(const QString& message, const QCommandLineParser& parser)
{
    return QStringLiteral("veltrano: %1\n\n%2").arg(message, parser.helpText());
}

const QLatin1String kSimulateWord("simulate");
const QLatin1String kDefaultSimulatedPort("COM3");

// "--simulate" without a port after it stands for "--simulate=COM3" (the parser knows
// options that take a value or none, not both).
QStringList withSimulateValue(QStringList arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& word = arguments.at(i);
        if (word == QLatin1String("--"))
            break;
        const bool portFollows = i + 1 < arguments.size()
                                 && arguments.at(i + 1).startsWith(QLatin1String("COM"), Qt::CaseInsensitive);
        if ((word == QLatin1String("--simulate") || word == QLatin1String("-simulate")) && !portFollows)
            arguments[i] = QStringLiteral("--simulate=") + kDefaultSimulatedPort;
    }
    return arguments;
}

} // namespace

CommandLineAnswer readCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    // Qt's options are single-dash words (-platform), so no bundled short options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
#ifdef Q_OS_WIN
    const char* ports = "Ports are Windows' own COM1 to COM16.\n";
#else
    const char* ports = "Ports are named COM1 to COM16; VELTRANO_PORTS=\"COM3=/dev/ttyUSB0;...\" maps them\nby hand. ";
#endif
    parser.setApplicationDescription(
        QStringLiteral("Sets up a DC-motor driver board over a serial port and charts its response.\n")
        + QString::fromLatin1(ports)
        + QStringLiteral("Without the board, try --simulate. Qt's own options (-platform, -style,\n"
                         "...) are passed on to Qt."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Record every frame of the run into <file>, a new file, "
                                                   "from start-up (as Ctrl+R does)."),
                                    QStringLiteral("file"));
    parser.addOption(record);
    const QCommandLineOption simulate(kSimulateWord,
                                      QStringLiteral("Offer a simulated driver board as port <COMn> (COM1 to COM16; "
                                                     "--simulate alone: COM3), beside the real ports."),
                                      QStringLiteral("COMn"));
    parser.addOption(simulate);
    const QCommandLineOption replay(QStringLiteral("replay"),
                                    QStringLiteral("The simulated board (--simulate, implied) answers the polls "
                                                   "with the rows of <file>, a recording or a chart snapshot, over "
                                                   "and over."),
                                    QStringLiteral("file"));
    parser.addOption(replay);
    for (const char* name : kQtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    CommandLineAnswer answer;
    if (!parser.parse(withSimulateValue(arguments))) {
        answer = {false, 2, QString(), usageError(parser.errorText(), parser)};
    } else if (!parser.positionalArguments().isEmpty()) {
        const QString stray = parser.positionalArguments().constFirst();
        answer = {false, 2, QString(), usageError(QStringLiteral("unexpected argument '%1'.").arg(stray), parser)};
    } else if (parser.isSet(version)) {
        // Qt as it runs: linked in on Windows, the system's on Linux.
        answer = {false, 0, QStringLiteral("veltrano " VELTRANO_VERSION "\nQt %1\n").arg(QLatin1String(qVersion())),
                  QString()};
    } else if (parser.isSet(help)) {
        answer = {false, 0, parser.helpText(), QString()};
    } else if (parser.isSet(QStringLiteral("help-all"))) {
        answer = {false, 0, parser.helpText() + qtOptionsText(), QString()};
    } else {
        answer.recordFile = parser.value(record);
        answer.replayFile = parser.value(replay);
        if (parser.isSet(simulate) || parser.isSet(replay)) {
            const QString port = parser.isSet(simulate) ? parser.value(simulate) : QString(kDefaultSimulatedPort);
            answer.simulatedPort = portNumberFromLenientName(port);
            if (answer.simulatedPort == 0)
                answer = {false, 2, QString(),
                          QStringLiteral("veltrano: --simulate=%1: the simulated board takes a port from COM1 to "
                                         "COM16\n")
                              .arg(port)};
        }
    }
    return answer;
}

StartRequest answerCommandLine(int argc, char* argv[])
{
    if (argc <= 1)
        return refusalWithoutDesktop(argc, argv);
    // A core application of its own, which needs no display, made and gone before the
    // window's QApplication. It gets a copy of argv, which it may rearrange.
    std::vector<char*> copy(argv, argv + argc);
    copy.push_back(nullptr);
    int count = argc;
    CommandLineAnswer answer;
    {
        const QCoreApplication core(count, copy.data());
        answer = readCommandLine(QCoreApplication::arguments());
    }
    std::fputs(answer.output.toLocal8Bit().constData(), stdout);
    std::fputs(answer.errors.toLocal8Bit().constData(), stderr);
    if (!answer.run)
        return {.exitStatus = answer.exitStatus};
    if (StartRequest refusal = refusalWithoutDesktop(argc, argv); refusal.exitStatus)
        return refusal;
    StartRequest start;
    start.simulatedPort = answer.simulatedPort;
    if (!answer.replayFile.isEmpty()) {
        // Read before anything is made, so that a file that cannot be played ends the run
        // before a window opens.
        const std::string file = answer.replayFile.toLocal8Bit().toStdString();
        sim::ReplayData replay = sim::loadReplay(file);
        if (!replay.refusal.empty()) {
            std::fprintf(stderr, "veltrano: --replay %s: %s; nothing to replay\n", file.c_str(),
                         replay.refusal.c_str());
            return {.exitStatus = 2};
        }
        for (const std::string& problem : replay.problems)
            std::fprintf(stderr, "veltrano: %s: %s; row skipped\n", file.c_str(), problem.c_str());
        if (replay.unlistedProblems > 0)
            std::fprintf(stderr, "veltrano: %s: %ld more bad rows skipped\n", file.c_str(), replay.unlistedProblems);
        start.replay = std::move(replay.frames);
    }
    if (!answer.recordFile.isEmpty()) {
        QString error;
        start.recording = RunRecorder::start(answer.recordFile, QByteArray(kRunHeader), &error);
        if (!start.recording) {
            std::fprintf(stderr, "veltrano: %s\n", error.toLocal8Bit().constData());
            return {.exitStatus = 2};
        }
    }
    return start;
}

} // namespace veltrano
