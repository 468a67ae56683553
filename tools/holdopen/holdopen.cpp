// Holds a file open the way a running browser holds its history database: read access, no
// delete sharing, so renaming or deleting the file fails while this process lives.
//   holdopen.exe <file> <ready event> <quit event>
// Opens the file, sets the named ready event, and waits for the named quit event (at most ten
// minutes) before closing the file and exiting. Exit code 0, or 2 when the file cannot be
// opened, 3 when an event cannot be opened.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 1;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE quit = OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
    if (!ready || !quit) return 3;
    SetEvent(ready);
    WaitForSingleObject(quit, 10 * 60 * 1000);
    CloseHandle(file);
    CloseHandle(ready);
    CloseHandle(quit);
    return 0;
}
