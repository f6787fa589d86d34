#include "platform/log.h"

#include <cstdio>
#include <cstring>

namespace veltrano {

Q_LOGGING_CATEGORY(lcApp, "veltrano.app")
Q_LOGGING_CATEGORY(lcDispatch, "veltrano.dispatch")
Q_LOGGING_CATEGORY(lcLink, "veltrano.link")
Q_LOGGING_CATEGORY(lcRecord, "veltrano.record")
Q_LOGGING_CATEGORY(lcSerial, "veltrano.serial")

namespace {

QtMessageHandler qtHandler = nullptr;

void programHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // Straight to standard error, not to Qt's handler: on Windows that writes a GUI program's
    // messages to the debugger instead.
    if (context.category && std::strncmp(context.category, "veltrano.", 9) == 0) {
        std::fprintf(stderr, "veltrano: %s\n", message.toLocal8Bit().constData());
        return;
    }
    if (qtHandler) {
        qtHandler(type, context, message);
        return;
    }
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

} // namespace

void installProgramLog()
{
    if (!qtHandler)
        qtHandler = qInstallMessageHandler(programHandler);
}

} // namespace veltrano
