#include "app/command_line.h"

#include "monitor/trace_table.h"

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
const char* const kQtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle", "geometry", "icon", "title", "session", "style",
    "stylesheet", "display", "name", "visual", "qmljsdebugger"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "testability", "dograb", "nograb"};

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

} // namespace

CommandLineAnswer readCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    // Qt's options are single-dash words (-platform), so no bundled short options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Sets up a DC-motor driver board over a serial port and charts its response.\n"
        "Ports are named COM1 to COM16; VELTRANO_PORTS=\"COM3=/dev/ttyUSB0;...\" maps them\n"
        "by hand. Qt's own options (-platform, -style, ...) are passed on to Qt."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Record every frame of the run into <file>, a new file, "
                                                   "from start-up (as Ctrl+R does)."),
                                    QStringLiteral("file"));
    parser.addOption(record);
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
    if (!parser.parse(arguments)) {
        answer = {false, 2, QString(), usageError(parser.errorText(), parser)};
    } else if (!parser.positionalArguments().isEmpty()) {
        const QString stray = parser.positionalArguments().constFirst();
        answer = {false, 2, QString(),
                  usageError(QStringLiteral("unexpected argument '%1'.").arg(stray), parser)};
    } else if (parser.isSet(version)) {
        answer = {false, 0, QStringLiteral("veltrano " VELTRANO_VERSION "\n"), QString()};
    } else if (parser.isSet(help)) {
        answer = {false, 0, parser.helpText(), QString()};
    } else if (parser.isSet(QStringLiteral("help-all"))) {
        answer = {false, 0, parser.helpText() + qtOptionsText(), QString()};
    } else if (parser.isSet(record)) {
        answer.recordFile = parser.value(record);
    }
    return answer;
}

StartRequest answerCommandLine(int argc, char* argv[])
{
    if (argc <= 1)
        return {};
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
        return {answer.exitStatus, nullptr};
    if (answer.recordFile.isEmpty())
        return {};
    QString error;
    std::unique_ptr<RunRecorder> recording = RunRecorder::start(answer.recordFile, QByteArray(kRunHeader), &error);
    if (!recording) {
        std::fprintf(stderr, "veltrano: %s\n", error.toLocal8Bit().constData());
        return {2, nullptr};
    }
    return {std::nullopt, std::move(recording)};
}

} // namespace veltrano
