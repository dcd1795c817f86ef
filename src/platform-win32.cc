// Win32 side of the platform layer: console, key wait and files.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform.h"

// The mingw-w64 start-up code leaves * and ? in arguments alone.
extern "C" {
int _dowildcard = 0;
}

namespace {

constexpr char CLEAR_ARGUMENTS[] = " /c CLS";
constexpr char FALLBACK_INTERPRETER[] = "cmd.exe";
constexpr char TEMP_PREFIX[] = "tvk_hex-";
constexpr char TEMP_SUFFIX[] = ".tmp";
constexpr int TEMP_NAME_TRIES = 100;
constexpr DWORD SHARE_READ_WRITE = FILE_SHARE_READ | FILE_SHARE_WRITE; // no delete, no rename
constexpr DWORD MAX_CHUNK = 1u << 30;
// Names from this length on take the long form; shorter ones go as they are.
constexpr std::size_t LONG_NAME_CHARS = MAX_PATH - 12;

// The temporary listing, so a console close or Ctrl+C can remove it.
std::wstring pending_temp;
volatile LONG temp_is_pending = 0;

BOOL WINAPI remove_temp_on_exit(DWORD)
{
    if (temp_is_pending)
        DeleteFileW(pending_temp.c_str());
    return FALSE; // and let the process end as it would
}

// A name for the wide file calls: the bytes converted as the ANSI calls
// would convert them, and, since those stop at MAX_PATH characters, a long
// name made absolute with the \\?\ prefix, which has no such limit.
std::wstring file_name(const char *name)
{
    UINT code_page = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    int n = MultiByteToWideChar(code_page, 0, name, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(code_page, 0, name, -1, &wide[0], n);
    wide.resize(static_cast<std::size_t>(n) - 1);
    if (wide.size() < LONG_NAME_CHARS || wide.compare(0, 4, L"\\\\?\\") == 0)
        return wide;
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    DWORD got = size ? GetFullPathNameW(wide.c_str(), size, &full[0], nullptr) : 0;
    if (got == 0 || got >= size)
        return wide;
    full.resize(got);
    if (full.compare(0, 4, L"\\\\.\\") == 0) // a device
        return full;
    if (full.compare(0, 2, L"\\\\") == 0) // \\server\share\...
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

HANDLE as_handle(os_file file)
{
    return reinterpret_cast<HANDLE>(file);
}

bool is_program(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// COMSPEC when it names a program, else cmd.exe from the current directory
// or along PATH.
std::string command_interpreter()
{
    const char *comspec = std::getenv("COMSPEC");
    if (comspec && *comspec && is_program(comspec))
        return comspec;
    const char *path = std::getenv("PATH");
    std::string search = std::string(".;") + (path ? path : "");
    char found[MAX_PATH];
    DWORD n = SearchPathA(search.c_str(), FALLBACK_INTERPRETER, nullptr, MAX_PATH, found, nullptr);
    return n > 0 && n < MAX_PATH ? found : "";
}

bool is_modifier_key(WORD key)
{
    switch (key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_LMENU:
    case VK_RMENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case VK_LWIN:
    case VK_RWIN:
        return true;
    default:
        return false;
    }
}

} // namespace

void init_platform()
{
    SetConsoleCtrlHandler(remove_temp_on_exit, TRUE);
}

void clear_console()
{
    std::string interpreter = command_interpreter();
    if (interpreter.empty())
        return;
    std::string command = "\"" + interpreter + "\"" + CLEAR_ARGUMENTS;
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(interpreter.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void wait_for_key()
{
    HANDLE console = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, SHARE_READ_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE)
        return;
    DWORD saved;
    if (GetConsoleMode(console, &saved)) {
        // No line input, no echo, no processed input: Ctrl+C is a key like any other.
        SetConsoleMode(console, 0);
        for (;;) {
            INPUT_RECORD event;
            DWORD got = 0;
            if (!ReadConsoleInputA(console, &event, 1, &got) || got == 0)
                break;
            if (event.EventType != KEY_EVENT || !event.Event.KeyEvent.bKeyDown)
                continue;
            const KEY_EVENT_RECORD &key = event.Event.KeyEvent;
            if (key.uChar.AsciiChar != 0 || !is_modifier_key(key.wVirtualKeyCode))
                break;
        }
        SetConsoleMode(console, saved);
    }
    CloseHandle(console);
}

os_file open_input_file(const char *name)
{
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
    HANDLE file = CreateFileW(file_name(name).c_str(), GENERIC_READ, SHARE_READ_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? NO_FILE : reinterpret_cast<os_file>(file);
}

std::ptrdiff_t read_file(os_file file, char *buffer, std::size_t size)
{
    DWORD got = 0;
    DWORD want = size > MAX_CHUNK ? MAX_CHUNK : static_cast<DWORD>(size);
    if (!ReadFile(as_handle(file), buffer, want, &got, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1; // a pipe's writer has finished
    return static_cast<std::ptrdiff_t>(got);
}

bool write_file(os_file file, const char *buffer, std::size_t size)
{
    while (size > 0) {
        DWORD put = 0;
        DWORD want = size > MAX_CHUNK ? MAX_CHUNK : static_cast<DWORD>(size);
        if (!WriteFile(as_handle(file), buffer, want, &put, nullptr) || put == 0)
            return false;
        buffer += put;
        size -= put;
    }
    return true;
}

bool close_file(os_file file)
{
    return CloseHandle(as_handle(file)) != 0;
}

os_file create_temp_listing(const char *listing_name, char *temp_name)
{
    const std::wstring listing = file_name(listing_name);
    DWORD attributes = GetFileAttributesW(listing.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // Replaced only where it could be opened for writing.
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
            return NO_FILE;
        HANDLE existing = CreateFileW(listing.c_str(), GENERIC_WRITE, SHARE_READ_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (existing == INVALID_HANDLE_VALUE)
            return NO_FILE;
        CloseHandle(existing);
    }

    std::size_t dir_chars = 0;
    for (std::size_t i = 0; listing_name[i]; ++i)
        if (listing_name[i] == '\\' || listing_name[i] == '/' || listing_name[i] == ':')
            dir_chars = i + 1;
    for (int attempt = 0; attempt < TEMP_NAME_TRIES; ++attempt) {
        int n = std::snprintf(temp_name, TEMP_NAME_SIZE, "%.*s%s%08lx%s",
                              static_cast<int>(dir_chars), listing_name, TEMP_PREFIX,
                              static_cast<unsigned long>(GetTickCount() ^ GetCurrentProcessId() ^
                                                         static_cast<DWORD>(attempt) * 7919u),
                              TEMP_SUFFIX);
        if (n < 0 || static_cast<std::size_t>(n) >= TEMP_NAME_SIZE)
            return NO_FILE;
        pending_temp = file_name(temp_name);
        HANDLE file = CreateFileW(pending_temp.c_str(), GENERIC_WRITE, SHARE_READ_WRITE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            InterlockedExchange(&temp_is_pending, 1);
            return reinterpret_cast<os_file>(file);
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return NO_FILE;
    }
    return NO_FILE;
}

bool commit_temp_listing(const char *temp_name, const char *listing_name)
{
    bool ok = MoveFileExW(file_name(temp_name).c_str(), file_name(listing_name).c_str(),
                          MOVEFILE_REPLACE_EXISTING) != 0;
    if (ok)
        InterlockedExchange(&temp_is_pending, 0);
    return ok;
}

void discard_temp_listing(const char *temp_name)
{
    DeleteFileW(file_name(temp_name).c_str());
    InterlockedExchange(&temp_is_pending, 0);
}
