// Holds a serial port open as another Windows program would, until its standard input
// closes. Prints "held" once it has the port, or why not.
#include <cstdio>
#include <string>

#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: port_holder COMn\n");
        return 2;
    }
    const std::string path = std::string("\\\\.\\") + argv[1];
    const HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::printf("not held: error %lu\n", GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) { }
    CloseHandle(port);
    return 0;
}
