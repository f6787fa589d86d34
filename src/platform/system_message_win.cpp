#include "platform/system_message.h"

#include <windows.h>

namespace veltrano {

QString systemMessage(unsigned long error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message = length ? QString::fromWCharArray(text, int(length)).trimmed()
                             : QStringLiteral("system error %1").arg(error);
    LocalFree(text);
    if (message.endsWith(u'.'))
        message.chop(1);
    return message;
}

} // namespace veltrano
