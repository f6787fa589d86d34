// Ends the session for the program's window as Windows does at logoff: WM_QUERYENDSESSION,
// then WM_ENDSESSION, and the process terminated as soon as that is answered. Prints whether
// the window let the session end and whether it had closed by its answer (End runs inside
// WM_ENDSESSION, since nothing of the program's runs after).
// Usage: session_end WINDOW-TITLE-START
#include <cstdio>
#include <cstring>

#include <windows.h>

namespace {

const char* titleStart = nullptr;
HWND found = nullptr;

BOOL CALLBACK look(HWND window, LPARAM)
{
    char title[256] = {};
    GetWindowTextA(window, title, sizeof title);
    if (IsWindowVisible(window) && std::strncmp(title, titleStart, std::strlen(titleStart)) == 0) {
        found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: session_end WINDOW-TITLE-START\n");
        return 2;
    }
    titleStart = argv[1];
    EnumWindows(&look, 0);
    if (!found) {
        std::printf("no window titled %s...\n", titleStart);
        return 1;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(found, &pid);
    const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    DWORD_PTR agreed = 0;
    SendMessageTimeoutA(found, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &agreed);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(found, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &ignored);
    const bool closed = !IsWindowVisible(found);
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    std::printf("the session may end: %s; closed by the answer: %s\n", agreed ? "yes" : "no", closed ? "yes" : "no");
    return agreed && closed ? 0 : 1;
}
