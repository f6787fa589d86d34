#include "support/port_holder.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSerialPort>

#include <cstdio>

namespace veltrano::testing {

namespace {
const char* const kHoldPortArgument = "--hold-port";

int holdPort(const char* path)
{
    int argc = 1;
    char name[] = "hold-port";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromLocal8Bit(path));
    if (!port.open(QIODevice::ReadWrite)) {
        std::printf("failed: %s\n", qPrintable(port.errorString()));
        std::fflush(stdout);
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}
} // namespace

std::optional<int> runAsPortHolderIfAsked(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], kHoldPortArgument) == 0)
        return holdPort(argv[2]);
    return std::nullopt;
}

QByteArray startPortHolder(QProcess& process, const QString& device)
{
    process.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kHoldPortArgument), device});
    if (!process.waitForStarted(5000) || !process.waitForReadyRead(5000))
        return "failed: the holder did not answer";
    return process.readLine().trimmed();
}

} // namespace veltrano::testing
