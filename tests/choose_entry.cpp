// Windows: does what Explorer does when a right-click entry that is a
// DropTarget verb is chosen on a selection. tools/windows-check.sh runs it
// under wine against the installed entries.
//
//   choose_entry KEY LIST...
//     KEY is the verb's key under HKLM (its DropTarget's CLSID value names
//     the class). For each LIST, a file of paths in UTF-8, one a line ("?"
//     for an item with no path on a drive): creates the class as a local
//     server, calls DragEnter and Drop with a data object holding the
//     selection (CF_HDROP, and the shell's item list), and releases it; all
//     of them first, then each window is read. Once a window says "Press a
//     key", its screen goes to LIST.screen (a line wrapped at the window's
//     width joined again) and a key is pressed, as a person would. Prints
//     for each LIST "LIST PROCESSES STATUS": how many processes of the drop
//     target its activation started, and the status the last one ended
//     with; on stderr, how long after Drop the window showed its first file
//     (as LIST.screen.first holds it).
//   choose_entry KEY
//     creates the class and releases it with no Drop, and prints the new
//     process's status once it has ended by itself.
//
// The window is the console the drop target opens for itself. A process
// with no console of its own (`--read PID SCREEN TICKS`, started detached)
// attaches to it, as only one console can be read from each process.

#include <windows.h>
// After windows.h, which they need.
#include <ole2.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::wstring drop_target = L"halvorine-dropw.exe";

std::string utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

std::wstring wide(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    out.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size())));
    return out;
}

// The drop target's processes now running.
std::set<DWORD> drop_targets() {
    std::set<DWORD> found;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, drop_target.c_str()) == 0) found.insert(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

// A selection as Explorer's data object holds it.
class Chosen final : public IDataObject {
public:
    Chosen(const std::vector<std::wstring>& paths, std::size_t without_path)
        : paths_(paths), items_(paths.size() + without_path) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // on the stack

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        std::vector<unsigned char> bytes;
        if (format->cfFormat == CF_HDROP) {
            // DROPFILES, with wide names, then the names.
            bytes.assign(20, 0);
            bytes[0] = 20;
            bytes[16] = 1;
            for (const auto& path : paths_) append(bytes, path.c_str(), (path.size() + 1) * 2);
            append(bytes, L"", 2);
        } else {
            // The count, then offsets to one empty item list for the folder
            // and each item: what this program reads is the count.
            const auto count = static_cast<UINT>(items_);
            const UINT empty = 4 * (count + 2);
            append(bytes, &count, 4);
            for (UINT i = 0; i <= count; ++i) append(bytes, &empty, 4);
            append(bytes, L"", 2);
        }
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        if (block == nullptr) return E_OUTOFMEMORY;
        std::copy(bytes.begin(), bytes.end(), static_cast<unsigned char*>(GlobalLock(block)));
        GlobalUnlock(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        const bool ours = format->cfFormat == CF_HDROP || format->cfFormat == list_format_;
        return ours && (format->tymed & TYMED_HGLOBAL) != 0 ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    static void append(std::vector<unsigned char>& bytes, const void* from, std::size_t size) {
        const auto* at = static_cast<const unsigned char*>(from);
        bytes.insert(bytes.end(), at, at + size);
    }

    std::vector<std::wstring> paths_;
    std::size_t items_;
    CLIPFORMAT list_format_ = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Shell IDList Array"));
    ULONG refs_ = 1;
};

std::map<DWORD, HANDLE> processes;

// The verb's class, started as a local server: the drop target's processes
// that started with it, or none when it could not be created.
std::set<DWORD> choose(const CLSID& verb, Chosen* selection) {
    const auto before = drop_targets();
    IDropTarget* target = nullptr;
    const HRESULT created = CoCreateInstance(verb, nullptr, CLSCTX_LOCAL_SERVER, IID_IDropTarget,
                                             reinterpret_cast<void**>(&target));
    if (FAILED(created)) {
        std::fprintf(stderr, "the class could not be created: %08lx\n", static_cast<unsigned long>(created));
        return {};
    }
    std::set<DWORD> started;
    for (const DWORD pid : drop_targets()) {
        if (before.contains(pid)) continue;
        started.insert(pid);
        // Held from now, so that its status is there once it has ended.
        processes[pid] = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    }
    if (selection != nullptr) {
        auto* data = selection;
        DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        const POINTL at{0, 0};
        if (FAILED(target->DragEnter(data, MK_RBUTTON, at, &effect)) || FAILED(target->Drop(data, 0, at, &effect))) {
            std::fprintf(stderr, "the drop failed\n");
        }
    }
    target->Release();
    return started;
}

// The console's rows up to its cursor, a row as wide as the window joined
// to the next, trailing spaces gone.
std::wstring screen(HANDLE console) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(console, &info) == 0) return {};
    std::wstring text;
    std::wstring row(info.dwSize.X, L' ');
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        DWORD got = 0;
        ReadConsoleOutputCharacterW(console, row.data(), info.dwSize.X, COORD{0, y}, &got);
        std::wstring line = row.substr(0, got);
        const bool full = got == static_cast<DWORD>(info.dwSize.X) && line.back() != L' ';
        line.erase(line.find_last_not_of(L' ') + 1);
        text += line + (full ? L"" : L"\n");
    }
    return text;
}

LONGLONG ticks() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// Reads process `pid`'s window until it says "Press a key", saves it and
// presses one.
int read_window(DWORD pid, const std::wstring& saved, LONGLONG dropped) {
    while (AttachConsole(pid) == 0) {
        if (WaitForSingleObject(OpenProcess(SYNCHRONIZE, FALSE, pid), 0) != WAIT_TIMEOUT) return 1;
        Sleep(50);
    }
    const HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    long long first = -1;  // ms from Drop to the first file's banner
    std::wstring text;
    for (;; Sleep(100)) {
        text = screen(out);
        if (first < 0 && text.find(L"\n Convert ") != std::wstring::npos) {
            LARGE_INTEGER frequency{};
            QueryPerformanceFrequency(&frequency);
            first = (ticks() - dropped) * 1000 / frequency.QuadPart;
        }
        if (text.find(L"Press a key to close this window.") != std::wstring::npos) break;
    }
    std::ofstream(std::filesystem::path(saved), std::ios::binary) << utf8(text);
    std::ofstream(std::filesystem::path(saved + L".first")) << first;
    INPUT_RECORD key{};
    key.EventType = KEY_EVENT;
    key.Event.KeyEvent.bKeyDown = TRUE;
    key.Event.KeyEvent.wRepeatCount = 1;
    key.Event.KeyEvent.wVirtualKeyCode = VK_SPACE;
    key.Event.KeyEvent.uChar.UnicodeChar = L' ';
    DWORD written = 0;
    return WriteConsoleInputW(in, &key, 1, &written) != 0 ? 0 : 1;
}

HANDLE start_detached(std::wstring command) {
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &start,
                       &info) == 0) {
        return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}

DWORD status_of(DWORD pid) {
    const HANDLE process = processes[pid];
    DWORD status = 126;
    if (process != nullptr && WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process, &status);
    }
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && std::wstring(argv[1]) == L"--read") {
        return read_window(std::wcstoul(argv[2], nullptr, 10), argv[3], std::wcstoll(argv[4], nullptr, 10));
    }
    if (argc < 2 || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 125;
    wchar_t name[64] = {};
    DWORD size = sizeof name;
    CLSID verb{};
    const std::wstring key = std::wstring(argv[1]) + L"\\DropTarget";
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"CLSID", RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS ||
        FAILED(CLSIDFromString(name, &verb))) {
        std::fprintf(stderr, "no DropTarget class under %ls\n", key.c_str());
        return 125;
    }
    if (argc == 2) {
        const auto started = choose(verb, nullptr);
        std::printf("%zu processes, status %lu\n", started.size(), started.empty() ? 126 : status_of(*started.begin()));
        return 0;
    }
    struct Run {
        std::wstring list;
        std::set<DWORD> started;
        HANDLE reader = nullptr;
    };
    std::vector<Run> runs;
    for (int i = 2; i < argc; ++i) {
        std::ifstream list(std::filesystem::path(argv[i]), std::ios::binary);
        std::vector<std::wstring> paths;
        std::size_t without_path = 0;
        for (std::string line; std::getline(list, line);) {
            if (line == "?") {
                ++without_path;
            } else if (!line.empty()) {
                paths.push_back(wide(line));
            }
        }
        Chosen selection(paths, without_path);
        const LONGLONG dropped = ticks();
        Run run{argv[i], choose(verb, &selection)};
        if (!run.started.empty()) {
            run.reader = start_detached(L"\"" + std::wstring(argv[0]) + L"\" --read " +
                                        std::to_wstring(*run.started.rbegin()) + L" \"" + run.list + L".screen\" " +
                                        std::to_wstring(dropped));
        }
        runs.push_back(std::move(run));
    }
    for (const Run& run : runs) {
        if (run.reader != nullptr) WaitForSingleObject(run.reader, INFINITE);
        const DWORD status = run.started.empty() ? 126 : status_of(*run.started.rbegin());
        std::printf("%s %zu %lu\n", utf8(run.list).c_str(), run.started.size(), static_cast<unsigned long>(status));
        std::ifstream first(std::filesystem::path(run.list + L".screen.first"));
        long long ms = -1;
        first >> ms;
        if (ms >= 0) std::fprintf(stderr, "%s: first file converting %lld ms after Drop\n", utf8(run.list).c_str(), ms);
    }
    return 0;
}
