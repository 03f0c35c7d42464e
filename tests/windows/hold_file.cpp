// Holds a file open without letting anyone replace or delete it, as an image
// viewer or an editor on Windows may do, so that a run can be tested against
// a locked earlier result: hold_file PATH SECONDS. Prints "held" once the file
// is open, then keeps it for SECONDS (or until it is killed).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: hold_file PATH SECONDS\n");
        return 2;
    }
    const std::string path = argv[1];
    const std::wstring wide(path.begin(), path.end());  // the tests use ASCII names
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot open %s: error %lu\n", path.c_str(), GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    CloseHandle(file);
    return 0;
}
