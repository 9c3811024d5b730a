#include "platform/selection.hpp"

#include <cstdint>
#include <new>

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which they need.
#include <ole2.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#endif

namespace halvorine {

namespace {

// The blocks are Windows', little-endian whatever reads them.
std::uint32_t u32_at(std::span<const unsigned char> block, std::size_t at) {
    return block[at] | block[at + 1] << 8 | block[at + 2] << 16 | std::uint32_t{block[at + 3]} << 24;
}

}  // namespace

std::vector<std::wstring> dropped_paths(std::span<const unsigned char> block) {
    // DROPFILES: pFiles, pt (two LONGs), fNC, fWide.
    constexpr std::size_t header = 20;
    if (block.size() < header || u32_at(block, 16) == 0) return {};
    std::vector<std::wstring> paths;
    std::wstring name;
    for (std::size_t at = u32_at(block, 0); at >= header && at + 1 < block.size(); at += 2) {
        const auto unit = static_cast<wchar_t>(block[at] | block[at + 1] << 8);
        if (unit != 0) {
            name += unit;
        } else if (name.empty()) {
            break;  // the list's end
        } else {
            paths.push_back(std::move(name));
            name.clear();
        }
    }
    return paths;
}

std::size_t shell_items(std::span<const unsigned char> block) {
    if (block.size() < 4) return 0;
    const std::size_t count = u32_at(block, 0);
    // The count, the folder's offset and one offset per item.
    return count <= (block.size() - 8) / 4 ? count : 0;
}

#if defined(_WIN32)

bool started_by_com(const std::vector<std::filesystem::path>& args) {
    return args.size() == 1 &&
           (_wcsicmp(args.front().c_str(), L"-Embedding") == 0 || _wcsicmp(args.front().c_str(), L"/Embedding") == 0);
}

namespace {

// The verbs' class, as the installer registers it.
constexpr CLSID verb_class = {0xd5c6678e, 0xdd71, 0x420b, {0x8f, 0x4f, 0x0a, 0x43, 0x14, 0x8f, 0xb5, 0xba}};

// What Drop hands to the waiting main thread. It outlives every object COM
// may still call once the wait is over.
struct Handover {
    std::mutex lock;
    std::condition_variable came;
    std::optional<Selection> selection;
};
Handover handover;

// The bytes of one format of a data object, held in global memory.
std::vector<unsigned char> data_of(IDataObject* data, CLIPFORMAT format) {
    FORMATETC wanted{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&wanted, &medium))) return {};
    std::vector<unsigned char> bytes;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr) {
        if (const auto* at = static_cast<const unsigned char*>(GlobalLock(medium.hGlobal))) {
            bytes.assign(at, at + GlobalSize(medium.hGlobal));
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    return bytes;
}

Selection read_selection(IDataObject* data) {
    Selection selection;
    for (auto& path : dropped_paths(data_of(data, CF_HDROP))) selection.paths.emplace_back(std::move(path));
    // Items with no path are in the shell's list of items (CFSTR_SHELLIDLIST)
    // alone.
    const auto list_format = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Shell IDList Array"));
    const std::size_t items = list_format != 0 ? shell_items(data_of(data, list_format)) : 0;
    selection.without_path = items > selection.paths.size() ? items - selection.paths.size() : 0;
    return selection;
}

class Verb final : public IDropTarget {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
            *out = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    // Any effect asked for is taken: the verb converts, it moves nothing.
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    // Takes the paths and returns, so that Explorer is not held while they
    // convert. Only the first Drop counts.
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        if (data == nullptr || effect == nullptr) return E_INVALIDARG;
        Selection selection = read_selection(data);
        {
            const std::lock_guard held(handover.lock);
            if (!handover.selection) handover.selection = std::move(selection);
        }
        handover.came.notify_one();
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }

private:
    std::atomic<ULONG> refs_{1};
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Static: it lives as long as the process.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* verb = new (std::nothrow) Verb;
        if (verb == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = verb->QueryInterface(iid, out);
        verb->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};
Factory factory;

}  // namespace

std::optional<Selection> take_selection(std::chrono::seconds wait) {
    // Free-threaded: Drop comes on a thread of COM's, with no window or
    // message loop needed while the main thread waits.
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return std::nullopt;
    DWORD cookie = 0;
    // Single use: the next selection starts a process of its own.
    if (FAILED(CoRegisterClassObject(verb_class, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie))) {
        return std::nullopt;
    }
    std::unique_lock held(handover.lock);
    handover.came.wait_for(held, wait, [] { return handover.selection.has_value(); });
    std::optional<Selection> selection = std::move(handover.selection);
    held.unlock();
    CoRevokeClassObject(cookie);
    return selection;
}

#else

bool started_by_com(const std::vector<std::filesystem::path>&) { return false; }
std::optional<Selection> take_selection(std::chrono::seconds) { return std::nullopt; }

#endif

}  // namespace halvorine
