#include "app/parent_console.h"

#include <cstdio>

#include <windows.h>

namespace veltrano {

void useParentConsole()
{
    // Output already sent somewhere (a pipe, a file) stays there.
    const auto unset = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    };
    if (!unset(STD_OUTPUT_HANDLE) && !unset(STD_ERROR_HANDLE))
        return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (unset(STD_OUTPUT_HANDLE) || GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN)
        (void)std::freopen("CONOUT$", "w", stdout);
    if (unset(STD_ERROR_HANDLE) || GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_UNKNOWN)
        (void)std::freopen("CONOUT$", "w", stderr);
}

} // namespace veltrano
