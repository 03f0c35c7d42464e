// The platform interface on Windows. Paths keep the bytes the user typed and
// are turned into UTF-16 for every call to the system, so that folder and file
// names outside ASCII work; failures carry a C library error code, like the
// POSIX side, so that callers report them the same way.
#include "platform/platform.h"
#include "platform/signal_slots.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace platform {

namespace {

std::wstring to_wide(const std::string& text, UINT code_page, DWORD flags)
{
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(code_page, flags, text.data(), size, nullptr, 0);
    if (count <= 0) return {};
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(code_page, flags, text.data(), size, wide.data(), count);
    return wide;
}

std::string from_wide(const wchar_t* wide)
{
    const int count = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (count <= 1) return {};
    std::string text(static_cast<size_t>(count - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), count, nullptr, nullptr);
    return text;
}

bool input_is_console(DWORD& mode) { return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0; }

// The UTF-16 form of a path: in the console's code page when the answers are
// typed on a console; else read as UTF-8, or in the system's code page when
// it is not valid UTF-8.
std::wstring widen(const std::string& path)
{
    DWORD mode = 0;
    if (input_is_console(mode)) return to_wide(path, GetConsoleCP(), 0);
    std::wstring wide = to_wide(path, CP_UTF8, MB_ERR_INVALID_CHARS);
    if (wide.empty() && !path.empty()) wide = to_wide(path, CP_ACP, 0);
    return wide;
}

// The C library's code for a system error.
int code_of_system_error(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
        return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

// The failure of the system call just made.
Status last_system_error() { return Status::failure(code_of_system_error(GetLastError())); }

// The failure of the C library call just made, by the code it left in errno.
Status last_library_error() { return Status::failure(errno); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens a path for examination only; folders too.
HANDLE open_for_query(const std::string& path)
{
    return CreateFileW(widen(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                       nullptr);
}

bool identify_handle(HANDLE file, FileId& id)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return false;
    id.device = info.dwVolumeSerialNumber;
    id.inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    id.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    id.regular = GetFileType(file) == FILE_TYPE_DISK && !id.folder;
    return true;
}

// A C stream on a handle the stream then owns, in binary mode whatever the
// mode says: text files are the same bytes as on other systems.
Status stream_on(HANDLE file, int flags, const char* mode, std::FILE*& stream)
{
    stream = nullptr;
    std::string binary = mode;
    if (binary.find('b') == std::string::npos) binary += 'b';
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), flags | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        return Status::failure(EMFILE);
    }
    stream = _fdopen(fd, binary.c_str());
    if (stream != nullptr) return {};
    const Status failed = last_library_error();
    _close(fd);
    return failed;
}

HANDLE handle_of(std::FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

bool is_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace

// ---- Files ----

bool same_name(const std::string& a, const std::string& b)
{
    const std::wstring wa = widen(a), wb = widen(b);
    return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()),
                                TRUE) == CSTR_EQUAL;
}

Status identify(const std::string& path, FileId& id)
{
    const HANDLE file = open_for_query(path);
    if (file == INVALID_HANDLE_VALUE) return last_system_error();
    const Status known = identify_handle(file, id) ? Status() : last_system_error();
    CloseHandle(file);
    return known;
}

Status identify_descriptor(int fd, FileId& id)
{
    if (identify_handle(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), id)) return {};
    return last_system_error();
}

Status open_regular(const std::string& path, const char* mode, std::FILE*& stream)
{
    stream = nullptr;
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_system_error();
    FileId id;
    if (!identify_handle(file, id) || !id.regular) {
        // A folder, a device (CON, NUL, a COM port) or a pipe.
        BY_HANDLE_FILE_INFORMATION info{};
        const bool is_folder =
            GetFileInformationByHandle(file, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        CloseHandle(file);
        return Status::not_regular_file(is_folder);
    }
    return stream_on(file, _O_RDONLY, mode, stream);
}

Status create_new(const std::string& path, std::FILE*& stream)
{
    stream = nullptr;
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_system_error();
    const Status made = stream_on(file, _O_RDWR, "wb", stream);
    if (!made) DeleteFileW(widen(path).c_str());
    return made;
}

Status open_for_writing(const std::string& path, std::FILE*& stream)
{
    stream = nullptr;
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_system_error();
    return stream_on(file, _O_RDWR, "wb", stream);
}

Status sync_stream(std::FILE* stream)
{
    // The C library left the reason of the write that failed in errno.
    if (std::ferror(stream) != 0 || std::fflush(stream) != 0) return last_library_error();
    if (FlushFileBuffers(handle_of(stream))) return {};
    return last_system_error();
}

Status sync_file(const std::string& path)
{
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_system_error();
    const Status synced = FlushFileBuffers(file) ? Status() : last_system_error();
    CloseHandle(file);
    return synced;
}

// A folder's entries cannot be flushed on their own on Windows; every rename
// is written through (replace below) instead.
Status sync_folder(const std::string&) { return {}; }

Status replace(const std::string& from, const std::string& to)
{
    if (MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return last_system_error();
}

Status remove_file(const std::string& path)
{
    if (DeleteFileW(widen(path).c_str())) return {};
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    return Status::failure(code_of_system_error(error));
}

bool exists(const std::string& path) { return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string folder_of(const std::string& path)
{
    size_t end = path.size();
    while (end > 0 && !is_separator(path[end - 1])) --end;
    return path.substr(0, end);
}

std::string name_in_folder(const std::string& path) { return path.substr(folder_of(path).size()); }

bool is_plain_name(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\:\0", 4)) == std::string::npos;
}

std::vector<std::string> folder_entries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW(widen((folder.empty() ? std::string(".\\") : folder) + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") names.push_back(from_wide(entry.cFileName));
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

// ---- Reads and writes at offsets ----

namespace {

HANDLE handle_of_descriptor(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// An OVERLAPPED that only carries the offset: on a handle opened without
// FILE_FLAG_OVERLAPPED the call still completes at once, and the offset it
// names is used instead of the shared file position.
OVERLAPPED at_offset(uint64_t offset)
{
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
}

constexpr size_t kMostPerCall = size_t{1} << 30;

}  // namespace

Status read_at(int fd, void* data, size_t size, uint64_t offset, size_t& got)
{
    auto* at = static_cast<unsigned char*>(data);
    got = 0;
    while (got < size) {
        OVERLAPPED where = at_offset(offset + got);
        DWORD chunk = 0;
        const DWORD ask = static_cast<DWORD>(std::min(size - got, kMostPerCall));
        if (!ReadFile(handle_of_descriptor(fd), at + got, ask, &chunk, &where)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return last_system_error();
        }
        if (chunk == 0) break;
        got += chunk;
    }
    return {};
}

Status write_at(int fd, const void* data, size_t size, uint64_t offset)
{
    const auto* at = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        OVERLAPPED where = at_offset(offset + done);
        DWORD put = 0;
        const DWORD ask = static_cast<DWORD>(std::min(size - done, kMostPerCall));
        if (!WriteFile(handle_of_descriptor(fd), at + done, ask, &put, &where)) return last_system_error();
        if (put == 0) return Status::failure(ENOSPC);
        done += put;
    }
    return {};
}

void start_writeback(int) {}  // no asynchronous flush: the sync at the end does all of it

Status set_length(int fd, uint64_t length)
{
    const errno_t error = _chsize_s(fd, static_cast<__int64>(length));
    return error == 0 ? Status() : Status::failure(error);
}

int64_t regular_length(int fd)
{
    const HANDLE file = handle_of_descriptor(fd);
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) return -1;
    return static_cast<int64_t>(size.QuadPart);
}

int descriptor_of(std::FILE* stream) { return _fileno(stream); }

// The file is deleted by the system when its last handle closes, however the
// process ends; it is shared for deletion so that nothing else can hold it.
Status create_unnamed(const std::string& path, int& fd)
{
    fd = -1;
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_system_error();
    fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (fd >= 0) return {};
    CloseHandle(file);
    return Status::failure(EMFILE);
}

void close_descriptor(int fd)
{
    if (fd >= 0) _close(fd);
}

Status open_existing_for_writing(const std::string& path, int& fd)
{
    fd = -1;
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_system_error();
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return Status::not_regular_file(false);
    }
    fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (fd >= 0) return {};
    CloseHandle(file);
    return Status::failure(EMFILE);
}

Status sync_descriptor(int fd)
{
    if (FlushFileBuffers(handle_of_descriptor(fd))) return {};
    return last_system_error();
}

// ---- Processes ----

long process_id() { return static_cast<long>(GetCurrentProcessId()); }

unsigned cores_of_this_process()
{
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return 0;
    unsigned cores = 0;
    for (; process != 0; process &= process - 1) ++cores;
    return cores;
}

// ---- Locks ----

Status take_lock(const std::string& path, Lock& lock)
{
    // The file may be in the middle of its removal by the run that held it
    // (open handles keep it until closed): that run is ending, try again.
    for (int attempt = 0;; ++attempt) {
        const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_ACCESS_DENIED && attempt < 100) {
                Sleep(10);
                continue;
            }
            return last_system_error();
        }
        OVERLAPPED whole{};
        if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
            const Status failed =
                GetLastError() == ERROR_LOCK_VIOLATION ? Status::lock_held() : last_system_error();
            CloseHandle(file);
            return failed;
        }
        // As on POSIX: the file locked must still be the one the path names.
        FileId locked, named;
        if (identify_handle(file, locked) && identify(path, named) && same_file(locked, named)) {
            lock.handle = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR);
            if (lock.handle >= 0) return {};
            CloseHandle(file);
            return Status::failure(EMFILE);
        }
        CloseHandle(file);
    }
}

void unlock_and_remove(const std::string& path, Lock& lock)
{
    if (lock.handle < 0) return;
    DeleteFileW(widen(path).c_str());  // while still held: gone once the handle closes
    _close(lock.handle);
    lock.handle = -1;
}

void unlock(Lock& lock)
{
    if (lock.handle < 0) return;
    _close(lock.handle);
    lock.handle = -1;
}

// ---- A folder held open ----
//
// Windows cannot rename or remove relative to an open folder: names are
// joined to the folder's path, and the folder's identity is checked instead.

Folder::~Folder() = default;

Status Folder::open(const std::string& folder)
{
    path_ = folder;
    fd_ = 0;
    return identify(folder.empty() ? "." : folder, id_);
}

bool Folder::still_at_its_path() const
{
    FileId now;
    return identify(path_.empty() ? "." : path_, now) && same_file(now, id_);
}

bool Folder::exists(const std::string& name) const { return platform::exists(path_ + name); }

Status Folder::replace(const std::string& from, const std::string& to) const
{
    return platform::replace(path_ + from, path_ + to);
}

Status Folder::remove(const std::string& name) const { return remove_file(path_ + name); }

Status Folder::sync() const { return sync_folder(path_); }

std::vector<std::string> Folder::entries() const { return folder_entries(path_); }

Status Folder::create_new(const std::string& name, std::FILE*& stream) const
{
    return platform::create_new(path_ + name, stream);
}

Status Folder::open_regular(const std::string& name, std::FILE*& stream) const
{
    return platform::open_regular(path_ + name, "rb", stream);
}

Status Folder::take_lock(const std::string& name, Lock& lock) const { return platform::take_lock(path_ + name, lock); }

void Folder::unlock_and_remove(const std::string& name, Lock& lock) const
{
    platform::unlock_and_remove(path_ + name, lock);
}

// ---- Ending by a console event ----

namespace {

SignalSlots<1024> g_slots;

// Held while a set of renames runs; the console handler takes it before it
// removes anything, so it never cuts the renames in the middle.
SRWLOCK g_hold = SRWLOCK_INIT;
// Once the results are in place the run ends on its own, but in the final key
// wait (read by the handler under g_hold).
bool g_in_place = false;
volatile LONG g_final_wait = 0;

DWORD g_saved_console_mode = 0;
volatile LONG g_console_mode_changed = 0;

void restore_console_mode()
{
    if (InterlockedExchange(&g_console_mode_changed, 0))
        SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), g_saved_console_mode);
}

// Runs on a thread of its own when Ctrl-C, Ctrl-Break or the closing of the
// console ends the process.
BOOL WINAPI end_by_console_event(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        AcquireSRWLockExclusive(&g_hold);
        if (g_in_place && !g_final_wait && event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT &&
            event != CTRL_SHUTDOWN_EVENT) {
            ReleaseSRWLockExclusive(&g_hold);
            return TRUE;  // handled: the run finishes on its own
        }
        restore_console_mode();
        g_slots.remove_all([](const char* path) { DeleteFileW(widen(path).c_str()); });
        ExitProcess(STATUS_CONTROL_C_EXIT);
    default:
        return FALSE;
    }
}

bool g_installed = false;

}  // namespace

bool remove_on_signal(const std::string& path) { return g_slots.add(path); }

void forget_on_signal(const std::string& path) { g_slots.forget(path); }

void install_signal_cleanup()
{
    if (g_installed) return;
    g_installed = true;
    SetConsoleCtrlHandler(end_by_console_event, TRUE);
}

void hold_signals() { AcquireSRWLockExclusive(&g_hold); }

void release_signals(bool results_in_place)
{
    g_in_place = g_in_place || results_in_place;
    ReleaseSRWLockExclusive(&g_hold);
}

void final_wait(bool waiting) { InterlockedExchange(&g_final_wait, waiting ? 1 : 0); }

// ---- Modules ----

std::string program_folder()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "";
    return folder_of(std::string(path, length));
}

Status module_symbol(const std::string& path, const char* symbol, void*& address)
{
    address = nullptr;
    const HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr)
        return Status::in_words("cannot load " + path + " (error " + std::to_string(GetLastError()) + ")");
    address = reinterpret_cast<void*>(GetProcAddress(module, symbol));
    return address != nullptr ? Status() : Status::in_words(path + " has no " + symbol);
}

// ---- Terminal ----

bool input_is_terminal()
{
    DWORD mode = 0;
    return input_is_console(mode);  // a file, a pipe or the NUL device has no console mode
}

bool error_is_terminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void wait_terminal_key()
{
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (!GetConsoleMode(in, &g_saved_console_mode)) return;
    // Without processed input Ctrl-C arrives as a key instead of ending the
    // process.
    g_console_mode_changed = 1;
    SetConsoleMode(in, g_saved_console_mode & ~static_cast<DWORD>(ENABLE_PROCESSED_INPUT));
    // _getch reports only key presses that give a character or a key code,
    // never Shift, Ctrl or Alt alone; a cursor, editing or function key comes
    // as a prefix (0 or 0xE0) and its code, both taken here.
    const int key = _getch();
    if (key == 0 || key == 0xE0) (void)_getch();
    restore_console_mode();
}

// ---- Standard streams ----

void prepare_standard_streams()
{
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace platform
