#include "control/FolderWatch.h"

#include "control/FolderTree.h"
#include "runtime/FileSystem.h"
#include "runtime/ComServer.h"
#include "runtime/Handles.h"

#include <dbt.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <set>

namespace cartulane::control {

using Strategy = FolderWatchService::Strategy;
using Subscription = FolderWatch::Subscription;

namespace {

constexpr DWORD kNotifyFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;
// Room for what one read reports: 64 KB for a sub-tree (the most a share takes), 8 KB for a
// folder's own entries. A larger burst overflows, and everything the watch covers is listed.
constexpr DWORD kSubTreeBuffer = 64 * 1024;
constexpr DWORD kFolderBuffer = 8 * 1024;
// A changed folder waits this long for the rest of a burst, and is listed at most once per
// kListGap while the burst goes on, or per four times what its last listing took (milliseconds).
constexpr ULONGLONG kSettle = 100;
constexpr ULONGLONG kListGap = 500;
constexpr ULONGLONG kListGapPerListing = 4;
// The old name of a rename waits this long for its new name, which may come with the next
// read: on a busy machine that read comes late, and a rename taken for a deletion closes
// what the user had opened in the folder.
constexpr ULONGLONG kRenameWait = 1000;
// One folder watched on its own is renewed in turn this often.
constexpr ULONGLONG kRenewPeriod = 500;
// A folder that cannot be opened or listed is tried again after a growing interval.
constexpr ULONGLONG kFirstRetry = 500;
constexpr ULONGLONG kLastRetry = 64000;

ULONGLONG Now() { return ::GetTickCount64(); }

// The folder that holds path; "" for a drive's root or a share.
std::wstring ParentOf(const std::wstring& path) {
    std::wstring trimmed = path;
    while (trimmed.size() > 3 && trimmed.back() == L'\\') trimmed.pop_back();
    const size_t slash = trimmed.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 == trimmed.size() || slash < 2) return {};
    std::wstring parent = trimmed.substr(0, slash);
    if (parent.size() == 2 && parent[1] == L':') parent += L'\\';
    return parent;
}

// A folder that went leaves a folder above it; a share or drive that went away does not.
bool AncestorExists(const std::wstring& path) {
    const FileSystem files;
    for (std::wstring folder = ParentOf(path); !folder.empty(); folder = ParentOf(folder))
        if (files.FolderExists(folder)) return true;
    return false;
}

using Identity = std::array<DWORD, 3>;  // volume serial number and file index

Identity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// A watch's handle leaves without waiting: its read is cancelled, and ends on the worker.
void CloseWatchHandle(HANDLE handle, std::atomic<long>& open) {
    if (handle == INVALID_HANDLE_VALUE) return;
    ::CancelIoEx(handle, nullptr);
    ::CloseHandle(handle);
    --open;
}

struct Watch;

// What a read writes into. It lives until the read's end is told, even when its watch is
// gone: a cancelled read may still be written to until then.
struct ReadBlock {
    OVERLAPPED overlapped{};  // first: the completion routine finds the block from it
    FolderWatchService::Core* core = nullptr;
    Watch* watch = nullptr;  // nullptr once the watch is gone
    std::unique_ptr<DWORD[]> buffer;
    DWORD size = 0;
};

// One folder open for watching.
struct Watch {
    enum class State {
        Closed,       // to be opened when retryAt has come
        Open,
        Retry,        // could not be opened: tried again at retryAt
        LetGo,        // closed for the caller of LetGo, until a tree tells its folders again
        DeviceQuery,  // closed while Windows asks whether its device may be removed
    };
    std::wstring path;
    // Guarded by the core's watchLock (LetGo runs on another thread).
    HANDLE handle = INVALID_HANDLE_VALUE;
    ReadBlock* read = nullptr;          // the read pending on handle
    std::vector<ReadBlock*> retired;    // reads of handles let go of, until they end
    HDEVNOTIFY device = nullptr;
    // Changed under the watchLock; read anywhere.
    std::atomic<State> state = State::Closed;
    // The worker's own.
    ULONGLONG retryAt = 0;
    ULONGLONG retryDelay = kFirstRetry;
    bool goneTold = false;
    Identity identity{};
    FILETIME lastWrite{};
    // Half a rename: the old name waits for its new one.
    std::wstring oldFolder, oldName;
    ULONGLONG oldSince = 0;
};

}  // namespace

struct FolderWatch::Subscription {
    // Guarded by the core's lock.
    HWND window = nullptr;
    UINT message = 0;
    std::wstring root;
    std::set<std::wstring> listed;
    std::vector<std::wstring> toRead;  // new to the tree: read once watched
    std::deque<FolderChange> queue;
    unsigned long long rebuiltAt = 0;  // the core's epoch at the tree's last rebuild
    bool posted = false;
    bool active = true;
};

struct FolderWatchService::Core {
    explicit Core(Strategy chosen) : strategy(chosen), wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

    // ---- the trees' side ----
    std::shared_ptr<Subscription> Subscribe(const std::shared_ptr<Core>& self);
    void Update(Subscription& subscription, const std::wstring& root, const std::vector<std::wstring>& folders,
                bool rebuilt);
    void Unsubscribe(Subscription& subscription);
    bool Take(Subscription& subscription, FolderChange* change);
    void PutBack(Subscription& subscription, FolderChange change);
    void LetGo(const std::wstring& folder);
    void TakeUp(const std::wstring& folder);
    void Stop();

    // ---- the worker ----
    // What a folder to be listed has gathered.
    struct Pending {
        std::vector<std::pair<std::wstring, std::wstring>> renames;
        std::vector<std::wstring> renamedAway;  // old names whose new names never came
        bool told = false;   // a watch told of it: every tree that lists it hears
        bool renew = false;  // its own watch told of it (a folder watched on its own)
        std::vector<std::shared_ptr<Subscription>> readers;  // trees it is new to
        ULONGLONG dueAt = 0;
        ULONGLONG retryDelay = 0;
    };

    struct Start {
        std::shared_ptr<Core> core;
        HMODULE module;
    };
    static DWORD WINAPI ThreadMain(void* parameter);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static void CALLBACK Completed(DWORD error, DWORD bytes, OVERLAPPED* overlapped);
    void Run();
    void Reconcile(ULONGLONG now);
    void OpenDue(ULONGLONG now);
    bool Open(Watch& watch, ULONGLONG now);
    bool IssueRead(Watch& watch);  // under the watchLock
    void Close(Watch& watch, bool keepDevice = false);
    void SetState(Watch& watch, Watch::State state);
    void Erase(std::map<std::wstring, std::unique_ptr<Watch>>::iterator it);
    void Failed(Watch& watch, DWORD error, ULONGLONG now);
    void Gone(const std::wstring& folder, ULONGLONG now);
    void OnRead(Watch& watch, ReadBlock* block, DWORD error, DWORD bytes);
    void Records(Watch& watch, const BYTE* records, DWORD bytes, ULONGLONG now);
    void Covered(const Watch& watch, ULONGLONG now);
    Pending* MarkTold(const std::wstring& folder, ULONGLONG now);
    void OldNameWentAway(Watch& watch, ULONGLONG now, bool lost);
    void RenewInTurn(ULONGLONG now);
    void Flush(ULONGLONG now);
    void Read(const std::wstring& folder, ULONGLONG now);
    void FindRenamed(const std::wstring& folder, const std::wstring& old, const FolderListing& listing,
                     std::vector<std::pair<std::wstring, std::wstring>>* renames);
    void Deliver(FolderChange change, const std::vector<std::shared_ptr<Subscription>>* readers,
                 unsigned long long begun);
    void RunReplays(ULONGLONG now);
    LRESULT DeviceChange(WPARAM event, LPARAM data);
    DWORD Timeout(ULONGLONG now);
    bool Stopping() {
        std::lock_guard<std::mutex> guard(lock);
        return stopping;
    }
    bool Held(const std::wstring& path) {
        std::lock_guard<std::mutex> guard(lock);
        return std::any_of(holds.begin(), holds.end(), [&](const std::wstring& hold) { return IsSameOrInside(path, hold); });
    }
    unsigned long long Epoch() {
        std::lock_guard<std::mutex> guard(lock);
        return epoch;
    }
    // The path a record names, relative to the folder watched: Windows may report a short
    // (8.3) name for any part of it, and the tree knows the long ones.
    std::wstring LongPath(const std::wstring& watched, const std::wstring& relative);

    const Strategy strategy;
    // What the trees and the worker share, guarded by the lock: the trees never wait for
    // more than a queue's change.
    mutable std::mutex lock;
    std::vector<std::shared_ptr<Subscription>> subscriptions;
    std::vector<std::pair<std::wstring, std::vector<BYTE>>> replays;
    // Folders let go of for a delete or rename: nothing at or below them is opened or listed
    // until they are taken up again.
    std::vector<std::wstring> holds;
    // Counts the trees' rebuilds: a listing begun before a tree's rebuild is older than
    // what the tree shows, and is not handed to it.
    unsigned long long epoch = 0;
    bool changed = false;
    bool stopping = false;
    bool started = false;
    HWND window = nullptr;
    UniqueKernelHandle wake;
    // The watches, changed by the worker under watchLock, which LetGo also takes: a read is
    // issued under it, so a handle is never closed under a call that uses it.
    mutable std::mutex watchLock;
    std::map<std::wstring, std::unique_ptr<Watch>> watches;
    std::atomic<long> openHandles{0};
    // The worker's own.
    std::map<std::wstring, std::vector<std::shared_ptr<Subscription>>> listedBy;
    std::map<std::wstring, Pending> pending;
    std::map<std::wstring, ULONGLONG> nextListing;  // not listed again before, while a burst goes on
    std::wstring renewedLast;
    ULONGLONG nextRenew = 0;
    int readsInFlight = 0;
};

// ---- the strategy ----

// Windows reports what changes anywhere below a folder watched with its sub-tree. Wine
// reports only the folder's own entries (measured: a file made two levels down goes
// untold). Wine is known by the export its developers' FAQ names for telling it apart:
// ntdll's wine_get_version.
Strategy FolderWatchService::PlatformStrategy() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const bool wine = ntdll && ::GetProcAddress(ntdll, "wine_get_version");
    return wine ? Strategy::PerFolder : Strategy::SubTree;
}

// ---- the service ----

namespace {

// The process's service: plain pointers that nothing destroys at unload.
std::mutex& ProcessLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
std::weak_ptr<FolderWatchService>& ProcessService() {
    static auto* service = new std::weak_ptr<FolderWatchService>;
    return *service;
}

}  // namespace

std::shared_ptr<FolderWatchService> FolderWatchService::ForProcess() {
    std::lock_guard<std::mutex> guard(ProcessLock());
    std::shared_ptr<FolderWatchService> service = ProcessService().lock();
    if (!service) {
        service = std::make_shared<FolderWatchService>(PlatformStrategy());
        ProcessService() = service;
    }
    return service;
}

std::shared_ptr<FolderWatchService> FolderWatchService::ProcessIfRunning() {
    std::lock_guard<std::mutex> guard(ProcessLock());
    return ProcessService().lock();
}

FolderWatchService::FolderWatchService(Strategy strategy) : core_(std::make_shared<Core>(strategy)) {}

FolderWatchService::~FolderWatchService() { core_->Stop(); }

Strategy FolderWatchService::WatchStrategy() const { return core_->strategy; }

long FolderWatchService::OpenHandles() const { return core_->openHandles; }

void FolderWatchService::LetGo(const std::wstring& folder) { core_->LetGo(folder); }

void FolderWatchService::TakeUp(const std::wstring& folder) { core_->TakeUp(folder); }

FolderWatchService::DeviceTarget FolderWatchService::DeviceTargetOf(const std::wstring& watched) const {
    HWND window;
    {
        std::lock_guard<std::mutex> guard(core_->lock);
        window = core_->window;
    }
    std::lock_guard<std::mutex> guard(core_->watchLock);
    const auto found = core_->watches.find(watched);
    if (found == core_->watches.end()) return {window, nullptr, nullptr};
    const Watch& watch = *found->second;
    return {window, watch.device, watch.handle == INVALID_HANDLE_VALUE ? nullptr : watch.handle};
}

void FolderWatchService::Replay(const std::wstring& watched, std::vector<BYTE> records) {
    {
        std::lock_guard<std::mutex> guard(core_->lock);
        core_->replays.emplace_back(watched, std::move(records));
    }
    ::SetEvent(core_->wake.get());
}

// ---- the trees' side ----

std::shared_ptr<Subscription> FolderWatchService::Core::Subscribe(const std::shared_ptr<Core>& self) {
    auto subscription = std::make_shared<Subscription>();
    std::lock_guard<std::mutex> guard(lock);
    subscriptions.push_back(subscription);
    if (started || stopping) return subscription;
    // The worker keeps the library loaded until it has ended, so that the application may
    // free the library at any time without waiting for it.
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Core::ThreadMain), &module);
    auto* start = new Start{self, module};
    HANDLE thread = ::CreateThread(nullptr, 0, &Core::ThreadMain, start, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        delete start;
        if (module) ::FreeLibrary(module);
        return subscription;
    }
    // Listing a folder of thousands of entries is work the user's thread goes before.
    ::SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
    ::ResumeThread(thread);
    ::CloseHandle(thread);
    started = true;
    return subscription;
}

void FolderWatchService::Core::Update(Subscription& subscription, const std::wstring& root,
                                      const std::vector<std::wstring>& folders, bool rebuilt) {
    std::set<std::wstring> listed(folders.begin(), folders.end());
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!subscription.active) return;
        if (rebuilt) {  // what waits was listed before the tree was
            subscription.queue.clear();
            subscription.rebuiltAt = ++epoch;
        }
        for (const std::wstring& folder : listed)
            if (!subscription.listed.count(folder)) subscription.toRead.push_back(folder);
        std::erase_if(subscription.queue, [&](const FolderChange& change) { return !listed.count(change.folder); });
        subscription.listed = std::move(listed);
        subscription.root = root;
        changed = true;
    }
    ::SetEvent(wake.get());
}

void FolderWatchService::Core::Unsubscribe(Subscription& subscription) {
    {
        std::lock_guard<std::mutex> guard(lock);
        subscription.active = false;
        subscription.queue.clear();
        std::erase_if(subscriptions, [&](const auto& each) { return each.get() == &subscription; });
        changed = true;
    }
    ::SetEvent(wake.get());
}

bool FolderWatchService::Core::Take(Subscription& subscription, FolderChange* change) {
    std::lock_guard<std::mutex> guard(lock);
    if (subscription.queue.empty()) {
        subscription.posted = false;
        return false;
    }
    *change = std::move(subscription.queue.front());
    subscription.queue.pop_front();
    return true;
}

void FolderWatchService::Core::PutBack(Subscription& subscription, FolderChange change) {
    std::lock_guard<std::mutex> guard(lock);
    if (!subscription.active || !subscription.listed.count(change.folder)) return;
    for (const FolderChange& queued : subscription.queue)
        if (queued.folder == change.folder) return;  // newer, and applied after what was applied already
    subscription.queue.push_front(std::move(change));
}

void FolderWatchService::Core::LetGo(const std::wstring& folder) {
    {
        std::lock_guard<std::mutex> guard(lock);
        holds.push_back(folder);
    }
    std::vector<HANDLE> handles;
    {
        std::lock_guard<std::mutex> guard(watchLock);
        for (auto& [path, watch] : watches) {
            if (!IsSameOrInside(path, folder)) continue;
            if (watch->handle != INVALID_HANDLE_VALUE) handles.push_back(std::exchange(watch->handle, INVALID_HANDLE_VALUE));
            if (watch->read) watch->retired.push_back(std::exchange(watch->read, nullptr));
            if (watch->state != Watch::State::DeviceQuery) watch->state = Watch::State::LetGo;
        }
    }
    for (HANDLE handle : handles) CloseWatchHandle(handle, openHandles);
}

void FolderWatchService::Core::TakeUp(const std::wstring& folder) {
    {
        std::lock_guard<std::mutex> guard(lock);
        const auto same = [&](const std::wstring& hold) {
            return SameText(WithoutBackslash(hold), WithoutBackslash(folder));
        };
        if (const auto found = std::find_if(holds.begin(), holds.end(), same); found != holds.end()) holds.erase(found);
        changed = true;  // the watches let go of are taken up again, and read
    }
    ::SetEvent(wake.get());
}

void FolderWatchService::Core::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    ::SetEvent(wake.get());
}

// ---- the worker ----

DWORD WINAPI FolderWatchService::Core::ThreadMain(void* parameter) {
    auto* start = static_cast<Start*>(parameter);
    const HMODULE module = start->module;
    {
        std::shared_ptr<Core> core = std::move(start->core);
        delete start;
        try {
            core->Run();
        } catch (...) {
            // Out of memory: following the disk ends; the trees keep what they show.
        }
    }
    if (module) ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

LRESULT CALLBACK FolderWatchService::Core::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        if (auto* core = reinterpret_cast<Core*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
            try {
                return core->DeviceChange(wParam, lParam);
            } catch (...) {
                return TRUE;
            }
        }
        return TRUE;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void FolderWatchService::Core::Run() {
    // A class of this worker's own: the worker before it may still be ending, and takes its
    // class away with it.
    const HINSTANCE module = com::ThisModule();
    const std::wstring className = L"Cartulane.FolderWatch." + std::to_wstring(reinterpret_cast<UINT_PTR>(this));
    WNDCLASSEXW windowClass{sizeof(windowClass)};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = className.c_str();
    ::RegisterClassExW(&windowClass);
    // Windows asks this window whether a watched folder's device may be removed.
    HWND hwnd = ::CreateWindowExW(0, className.c_str(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    if (hwnd) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    {
        std::lock_guard<std::mutex> guard(lock);
        window = hwnd;
    }
    while (!Stopping()) {
        const ULONGLONG now = Now();
        Reconcile(now);
        RunReplays(now);
        OpenDue(now);
        RenewInTurn(now);
        Flush(Now());
        HANDLE event = wake.get();
        ::MsgWaitForMultipleObjectsEx(1, &event, Timeout(Now()), QS_ALLINPUT, MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    }
    while (!watches.empty()) {
        Close(*watches.begin()->second);
        Erase(watches.begin());
    }
    // The cancelled reads end on this thread; a read whose cancel never ends keeps its block.
    for (int i = 0; readsInFlight > 0 && i < 40; ++i) ::SleepEx(50, TRUE);
    {
        std::lock_guard<std::mutex> guard(lock);
        window = nullptr;
    }
    if (hwnd) ::DestroyWindow(hwnd);
    ::UnregisterClassW(className.c_str(), module);
}

// The trees told what they list: watches no longer wanted go, new ones are made (and opened
// by OpenDue), and the folders new to a tree are read for it once their watch is open.
void FolderWatchService::Core::Reconcile(ULONGLONG now) {
    std::vector<std::pair<std::shared_ptr<Subscription>, std::vector<std::wstring>>> reads;
    std::set<std::wstring> wanted;
    std::vector<std::wstring> held;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!changed) return;
        changed = false;
        held = holds;
        listedBy.clear();
        for (const auto& subscription : subscriptions) {
            for (const std::wstring& folder : subscription->listed) listedBy[folder].push_back(subscription);
            if (!subscription->toRead.empty()) reads.emplace_back(subscription, std::exchange(subscription->toRead, {}));
            if (strategy == Strategy::SubTree && !subscription->listed.empty()) wanted.insert(subscription->root);
        }
    }
    {
        std::lock_guard<std::mutex> guard(watchLock);
        for (auto& [path, watch] : watches) {
            if (watch->state != Watch::State::LetGo) continue;
            if (std::any_of(held.begin(), held.end(), [&](const std::wstring& hold) { return IsSameOrInside(path, hold); }))
                continue;
            watch->state = Watch::State::Closed;
            watch->retryAt = 0;
        }
    }
    if (strategy == Strategy::PerFolder)
        for (const auto& [folder, readers] : listedBy) wanted.insert(folder);
    for (auto it = watches.begin(); it != watches.end();) {
        auto next = std::next(it);
        if (!wanted.count(it->first)) {
            Close(*it->second);
            Erase(it);
        }
        it = next;
    }
    for (const std::wstring& path : wanted) {
        if (watches.count(path)) continue;
        auto watch = std::make_unique<Watch>();
        watch->path = path;
        std::lock_guard<std::mutex> guard(watchLock);
        watches.emplace(path, std::move(watch));
    }
    for (auto& [subscription, folders] : reads) {
        for (const std::wstring& folder : folders) {
            // A watch not open yet reads all it covers when it opens.
            const bool open = std::any_of(watches.begin(), watches.end(), [&](const auto& each) {
                return each.second->state == Watch::State::Open &&
                       (strategy == Strategy::SubTree ? IsSameOrInside(folder, each.first)
                                                       : SameText(WithoutBackslash(folder), WithoutBackslash(each.first)));
            });
            if (!open || !listedBy.count(folder)) continue;
            auto [it, added] = pending.try_emplace(folder);
            if (added) it->second.dueAt = now;
            it->second.readers.push_back(subscription);
        }
    }
    std::erase_if(pending, [&](const auto& each) { return !listedBy.count(each.first); });
    std::erase_if(nextListing, [&](const auto& each) { return !listedBy.count(each.first); });
}

void FolderWatchService::Core::OpenDue(ULONGLONG now) {
    for (auto& [path, watch] : watches) {
        if (watch->state != Watch::State::Closed && watch->state != Watch::State::Retry) continue;
        if (watch->retryAt > now || Held(path)) continue;
        if (Stopping()) return;
        // What changed while the folder was not watched is read.
        if (Open(*watch, now)) Covered(*watch, Now());
    }
}

// Opens the folder and starts reading; one that cannot be opened is tried again later.
bool FolderWatchService::Core::Open(Watch& watch, ULONGLONG now) {
    HANDLE handle = ::CreateFileW(ExtendedPath(watch.path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Failed(watch, ::GetLastError(), now);
        return false;
    }
    ++openHandles;
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(handle, &info)) {
        watch.identity = IdentityOf(info);
        watch.lastWrite = info.ftLastWriteTime;
    }
    if (watch.device) ::UnregisterDeviceNotification(watch.device);
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof(filter);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = handle;
    HDEVNOTIFY device = window ? ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE) : nullptr;
    bool installed = false, reading = false;
    const bool ending = Stopping() || Held(watch.path);  // a LetGo may have come meanwhile
    {
        std::lock_guard<std::mutex> guard(watchLock);
        watch.device = device;
        if (watch.state != Watch::State::LetGo && !ending) {
            watch.handle = handle;
            watch.state = Watch::State::Open;
            installed = true;
            reading = IssueRead(watch);
        }
    }
    if (!installed) {
        Close(watch);
        CloseWatchHandle(handle, openHandles);
        SetState(watch, Watch::State::Closed);
        return false;
    }
    if (!reading) {  // a file system that tells nothing
        Close(watch);
        Failed(watch, ERROR_INVALID_FUNCTION, now);
        return false;
    }
    watch.retryDelay = kFirstRetry;
    watch.goneTold = false;
    return true;
}

bool FolderWatchService::Core::IssueRead(Watch& watch) {
    if (!watch.read) {
        auto* block = new ReadBlock;
        block->core = this;
        block->size = strategy == Strategy::SubTree ? kSubTreeBuffer : kFolderBuffer;
        block->buffer = std::make_unique<DWORD[]>(block->size / sizeof(DWORD));
        watch.read = block;
    }
    ReadBlock* block = watch.read;
    block->watch = &watch;
    block->overlapped = {};
    if (!::ReadDirectoryChangesW(watch.handle, block->buffer.get(), block->size, strategy == Strategy::SubTree,
                                 kNotifyFilter, nullptr, &block->overlapped, &Completed)) {
        delete std::exchange(watch.read, nullptr);
        return false;
    }
    ++readsInFlight;
    return true;
}

void FolderWatchService::Core::Close(Watch& watch, bool keepDevice) {
    OldNameWentAway(watch, Now(), false);  // its new name would come from a read that is gone
    HANDLE handle;
    HDEVNOTIFY device = nullptr;
    {
        std::lock_guard<std::mutex> guard(watchLock);
        handle = std::exchange(watch.handle, INVALID_HANDLE_VALUE);
        if (watch.read) watch.retired.push_back(std::exchange(watch.read, nullptr));
        if (watch.state == Watch::State::Open) watch.state = Watch::State::Closed;
        if (!keepDevice) device = std::exchange(watch.device, nullptr);
    }
    if (device) ::UnregisterDeviceNotification(device);
    CloseWatchHandle(handle, openHandles);
}

// The worker's changes of state leave a LetGo as it is.
void FolderWatchService::Core::SetState(Watch& watch, Watch::State state) {
    std::lock_guard<std::mutex> guard(watchLock);
    if (watch.state != Watch::State::LetGo) watch.state = state;
}

void FolderWatchService::Core::Erase(std::map<std::wstring, std::unique_ptr<Watch>>::iterator it) {
    std::lock_guard<std::mutex> guard(watchLock);
    Watch& watch = *it->second;
    for (ReadBlock* block : watch.retired) block->watch = nullptr;
    if (watch.read) watch.read->watch = nullptr;
    watches.erase(it);
}

// The folder could not be opened. Gone (a folder above it is still there): its trees are
// told. Otherwise out of reach for now (a share, a drive, a lock): the trees keep what
// they show, and it is tried again after a growing interval, one attempt at a time.
void FolderWatchService::Core::Failed(Watch& watch, DWORD, ULONGLONG now) {
    SetState(watch, Watch::State::Retry);
    watch.retryAt = now + watch.retryDelay;
    watch.retryDelay = std::min(watch.retryDelay * 2, kLastRetry);
    if (watch.goneTold || FileSystem().FolderExists(watch.path) || !AncestorExists(watch.path)) return;
    watch.goneTold = true;
    Gone(watch.path, now);
}

// A root gone is told to the trees of that root; a folder below a root goes with its
// parent's listing, which also tells a rename that Wine reported as the folder's end.
void FolderWatchService::Core::Gone(const std::wstring& folder, ULONGLONG now) {
    if (const std::wstring parent = ParentOf(folder); !parent.empty()) MarkTold(parent, now);
    std::vector<std::shared_ptr<Subscription>> roots;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (const auto& subscription : subscriptions)
            if (subscription->root == folder && subscription->listed.count(folder)) roots.push_back(subscription);
    }
    if (roots.empty()) return;
    FolderChange change;
    change.folder = folder;
    change.kind = FolderChange::Kind::Gone;
    Deliver(std::move(change), &roots, Epoch());
}

void CALLBACK FolderWatchService::Core::Completed(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
    auto* block = reinterpret_cast<ReadBlock*>(overlapped);
    Core* core = block->core;
    --core->readsInFlight;
    if (!block->watch) {
        delete block;
        return;
    }
    try {
        core->OnRead(*block->watch, block, error, bytes);
    } catch (...) {
    }
}

void FolderWatchService::Core::OnRead(Watch& watch, ReadBlock* block, DWORD error, DWORD bytes) {
    bool current;
    {
        std::lock_guard<std::mutex> guard(watchLock);
        current = watch.read == block;
        if (!current) std::erase(watch.retired, block);
    }
    const ULONGLONG now = Now();
    bool ended = false;
    if (error == ERROR_SUCCESS && bytes > 0) {
        Records(watch, reinterpret_cast<const BYTE*>(block->buffer.get()), bytes, now);
    } else if (error == ERROR_SUCCESS || error == ERROR_NOTIFY_ENUM_DIR) {
        // More than the buffer holds: everything is read again, and a new name that comes
        // next belongs to no old name waiting.
        OldNameWentAway(watch, now, false);
        Covered(watch, now);
    } else if (error != ERROR_OPERATION_ABORTED) {
        ended = current;  // the folder went, or the share: the watch is opened again or found gone
    }
    if (!current) {
        delete block;  // a read of a handle let go of: it told what it had, and is done
        return;
    }
    bool open = false, again = false;
    {
        std::lock_guard<std::mutex> guard(watchLock);
        if (watch.read != block) {  // let go of meanwhile: its read has ended already
            std::erase(watch.retired, block);
            delete block;
            return;
        }
        open = watch.state == Watch::State::Open && watch.handle != INVALID_HANDLE_VALUE;
        if (!ended && open) {
            again = IssueRead(watch);
        } else {
            delete std::exchange(watch.read, nullptr);
        }
    }
    if (open && !again) {
        Close(watch);
        watch.retryAt = now;  // Closed: opened again at once, or found gone
    }
}

// A read's records, in order. Each names an entry relative to the watched folder ("a\b\c.xlsx"
// below a sub-tree's root, "c.xlsx" in a folder of its own). The old name of a rename may end
// one read and its new name start the next (Wine tells them one by one): it waits in the watch.
void FolderWatchService::Core::Records(Watch& watch, const BYTE* records, DWORD bytes, ULONGLONG now) {
    constexpr DWORD kHeader = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    for (DWORD offset = 0; offset + kHeader <= bytes;) {
        const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(records + offset);
        if (info->FileNameLength > bytes - offset - kHeader) break;
        const std::wstring relative(info->FileName, info->FileNameLength / sizeof(WCHAR));
        const size_t slash = relative.rfind(L'\\');
        const std::wstring folder = slash == std::wstring::npos ? watch.path : LongPath(watch.path, relative.substr(0, slash));
        std::wstring name = slash == std::wstring::npos ? relative : relative.substr(slash + 1);
        if (info->Action == FILE_ACTION_RENAMED_NEW_NAME && name.find(L'~') != std::wstring::npos) {
            const std::wstring full = LongPath(folder, name);  // the new name's long form, which the listing has
            name = full.substr(full.rfind(L'\\') + 1);
        }
        if (info->Action == FILE_ACTION_RENAMED_OLD_NAME) {
            OldNameWentAway(watch, now, false);
            watch.oldFolder = folder;
            watch.oldName = std::move(name);
            watch.oldSince = now;
        } else if (info->Action == FILE_ACTION_RENAMED_NEW_NAME && !watch.oldName.empty()) {
            if (watch.oldFolder == folder) {
                if (Pending* entry = MarkTold(folder, now)) entry->renames.emplace_back(std::move(watch.oldName), std::move(name));
            } else {  // moved from one folder to another: both listings tell it
                MarkTold(watch.oldFolder, now);
                MarkTold(folder, now);
            }
            watch.oldName.clear();
        } else {
            OldNameWentAway(watch, now, false);
            if (Pending* entry = MarkTold(folder, now); entry && folder == watch.path) entry->renew = true;
        }
        if (info->NextEntryOffset == 0 || info->NextEntryOffset > bytes - offset) break;
        offset += info->NextEntryOffset;
    }
}

std::wstring FolderWatchService::Core::LongPath(const std::wstring& watched, const std::wstring& relative) {
    const std::wstring path = JoinPath(watched, relative);
    if (relative.find(L'~') == std::wstring::npos || listedBy.count(path)) return path;
    const std::wstring extended = ExtendedPath(path);
    std::wstring full(extended.size() + MAX_PATH, L'\0');
    const DWORD length = ::GetLongPathNameW(extended.c_str(), full.data(), static_cast<DWORD>(full.size()));
    if (length == 0 || length >= full.size()) return path;
    full.resize(length);
    // The relative part's components, long, after the watched path as the tree names it.
    const size_t parts = std::count(relative.begin(), relative.end(), L'\\') + 1;
    size_t start = full.size();
    for (size_t i = 0; i < parts; ++i) {
        start = start == 0 ? std::wstring::npos : full.rfind(L'\\', start - 1);
        if (start == std::wstring::npos) return path;
    }
    return JoinPath(watched, full.substr(start + 1));
}

// An old name with no new name after it: moved out of the folder, or (lost) a new name
// Wine never told, which the folder's listing may still find.
void FolderWatchService::Core::OldNameWentAway(Watch& watch, ULONGLONG now, bool lost) {
    if (watch.oldName.empty()) return;
    if (Pending* entry = MarkTold(watch.oldFolder, now); entry && lost) entry->renamedAway.push_back(watch.oldName);
    watch.oldName.clear();
}

// Every listed folder the watch covers is read: what it told is not all there is.
void FolderWatchService::Core::Covered(const Watch& watch, ULONGLONG now) {
    if (strategy == Strategy::PerFolder) {
        MarkTold(watch.path, now);
        return;
    }
    for (const auto& [folder, readers] : listedBy)
        if (IsSameOrInside(folder, watch.path)) MarkTold(folder, now);
}

// A listed folder a watch told of is listed once the burst it belongs to has settled;
// nullptr for a folder no tree lists.
FolderWatchService::Core::Pending* FolderWatchService::Core::MarkTold(const std::wstring& folder, ULONGLONG now) {
    if (!listedBy.count(folder)) return nullptr;
    auto [it, added] = pending.try_emplace(folder);
    Pending& entry = it->second;
    if (!entry.told) {
        const auto next = nextListing.find(folder);
        const ULONGLONG due = std::max(now + kSettle, next == nextListing.end() ? 0 : next->second);
        entry.dueAt = added ? due : std::min(entry.dueAt, due);
        entry.told = true;
    }
    return &entry;
}

// Where each listed folder is watched on its own (Wine), a folder deleted while watched
// stays on disk until its handle is closed, and its watch tells nothing: one watch in turn
// is let go of and taken up again, and read when its folder changed meanwhile.
void FolderWatchService::Core::RenewInTurn(ULONGLONG now) {
    if (strategy != Strategy::PerFolder || now < nextRenew || watches.empty()) return;
    nextRenew = now + kRenewPeriod;
    auto it = watches.upper_bound(renewedLast);
    if (it == watches.end()) it = watches.begin();
    renewedLast = it->first;
    Watch& watch = *it->second;
    if (watch.state != Watch::State::Open || !watch.oldName.empty() || pending.count(watch.path) || Held(watch.path))
        return;
    const FILETIME before = watch.lastWrite;
    const Identity identity = watch.identity;
    Close(watch);
    if (!Open(watch, now)) return;
    if (::CompareFileTime(&before, &watch.lastWrite) != 0 || identity != watch.identity) MarkTold(watch.path, now);
}

void FolderWatchService::Core::Flush(ULONGLONG now) {
    for (auto& [path, watch] : watches)
        if (!watch->oldName.empty() && now - watch->oldSince >= kRenameWait) OldNameWentAway(*watch, now, true);
    std::vector<std::wstring> due;
    for (const auto& [folder, entry] : pending) {
        if (entry.dueAt > now) continue;
        // Half a rename told in this folder: its new name may come with the next read.
        const bool waiting = std::any_of(watches.begin(), watches.end(), [&](const auto& each) {
            return !each.second->oldName.empty() && each.second->oldFolder == folder;
        });
        if (!waiting) due.push_back(folder);
    }
    for (const std::wstring& folder : due) {
        if (Stopping()) return;
        Read(folder, now);
    }
}

// Lists a folder and hands the listing, with the renames told, to the trees that list it.
void FolderWatchService::Core::Read(const std::wstring& folder, ULONGLONG now) {
    const auto found = pending.find(folder);
    if (found == pending.end()) return;
    Pending entry = std::move(found->second);
    pending.erase(found);
    if (Held(folder)) return;  // being deleted or renamed: read again once the trees tell
    const unsigned long long begun = Epoch();
    if (strategy == Strategy::PerFolder && entry.renew) {
        // Let go of and opened again before it is read: a folder deleted meanwhile goes now.
        if (const auto watch = watches.find(folder); watch != watches.end() && watch->second->state == Watch::State::Open) {
            Close(*watch->second);
            Open(*watch->second, now);
        }
    }
    const FileSystem files;
    FolderListing raw;
    const HRESULT listed = files.GetFolder(folder, &raw);
    const ULONGLONG took = Now() - now;
    if (FAILED(listed)) {
        if (!files.FolderExists(folder) && AncestorExists(folder)) {
            Gone(folder, now);
            return;
        }
        // Out of reach for now: the trees keep what they show; it is listed again later.
        entry.retryDelay = entry.retryDelay ? std::min(entry.retryDelay * 2, kLastRetry) : kFirstRetry;
        entry.dueAt = now + entry.retryDelay;
        auto [it, added] = pending.try_emplace(folder);
        if (added) {
            it->second = std::move(entry);
        } else {
            Pending& later = it->second;
            entry.renames.insert(entry.renames.end(), later.renames.begin(), later.renames.end());
            later.renames = std::move(entry.renames);
            later.told = later.told || entry.told;
            later.renew = later.renew || entry.renew;
        }
        return;
    }
    nextListing[folder] = Now() + std::max(kListGap, took * kListGapPerListing);
    auto listing = std::make_shared<FolderListing>();
    listing->subFolders = std::move(raw.subFolders);
    for (std::wstring& name : raw.files)
        if (IsWorkbookFile(name)) listing->files.push_back(std::move(name));
    for (const std::wstring& old : entry.renamedAway) FindRenamed(folder, old, *listing, &entry.renames);
    FolderChange change;
    change.folder = folder;
    change.renames = std::move(entry.renames);
    change.listing = std::move(listing);
    Deliver(std::move(change), entry.told ? nullptr : &entry.readers, begun);
}

// A folder renamed whose new name Wine never told: the new sub-folder in the listing that is
// the very folder its own watch had open (same volume and file index). Anything else is left
// to the listing.
void FolderWatchService::Core::FindRenamed(const std::wstring& folder, const std::wstring& old,
                                           const FolderListing& listing,
                                           std::vector<std::pair<std::wstring, std::wstring>>* renames) {
    const auto& names = listing.subFolders;
    if (std::find(names.begin(), names.end(), old) != names.end()) return;  // still there
    const auto watched = watches.find(JoinPath(folder, old));
    if (watched == watches.end() || watched->second->identity == Identity{}) return;
    for (const std::wstring& name : names) {
        const std::wstring path = JoinPath(folder, name);
        if (watches.count(path) || Held(path)) continue;  // listed under that name already, or being deleted
        UniqueFile other(::CreateFileW(ExtendedPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (other && ::GetFileInformationByHandle(other.get(), &info) && IdentityOf(info) == watched->second->identity) {
            renames->emplace_back(old, name);
            return;
        }
    }
}

// Into the queue of each tree that still lists the folder (readers, or every one), merged
// with a change for the same folder that waits there; the tree is told once.
void FolderWatchService::Core::Deliver(FolderChange change, const std::vector<std::shared_ptr<Subscription>>* readers,
                                       unsigned long long begun) {
    const auto listed = listedBy.find(change.folder);
    const std::vector<std::shared_ptr<Subscription>> none;
    const auto& recipients = readers ? *readers : listed == listedBy.end() ? none : listed->second;
    std::vector<std::pair<HWND, UINT>> posts;  // posted once the lock is let go
    std::unique_lock<std::mutex> guard(lock);
    for (const auto& subscription : recipients) {
        if (!subscription->active || !subscription->listed.count(change.folder)) continue;
        if (subscription->rebuiltAt > begun) continue;  // listed before the tree was rebuilt
        auto queued = std::find_if(subscription->queue.begin(), subscription->queue.end(),
                                   [&](const FolderChange& each) { return each.folder == change.folder; });
        if (queued == subscription->queue.end()) {
            subscription->queue.push_back(change);
        } else {
            queued->renames.insert(queued->renames.end(), change.renames.begin(), change.renames.end());
            queued->kind = change.kind;
            queued->listing = change.listing;
        }
        if (!subscription->posted && subscription->window) {
            subscription->posted = true;
            posts.emplace_back(subscription->window, subscription->message);
        }
    }
    guard.unlock();
    for (const auto& [window, message] : posts) ::PostMessageW(window, message, 0, 0);
}

void FolderWatchService::Core::RunReplays(ULONGLONG now) {
    std::vector<std::pair<std::wstring, std::vector<BYTE>>> taken;
    {
        std::lock_guard<std::mutex> guard(lock);
        taken.swap(replays);
    }
    for (auto& [path, records] : taken) {
        const auto found = watches.find(path);
        if (found == watches.end() || found->second->state != Watch::State::Open) continue;
        if (records.empty()) {
            Covered(*found->second, now);
        } else {
            Records(*found->second, records.data(), static_cast<DWORD>(records.size()), now);
        }
    }
}

// Windows asks whether a watched folder's device may go: the watch lets go of it (keeping
// the notification, which tells whether the removal failed), and takes it up again when
// the removal failed, or once the folder can be opened again.
LRESULT FolderWatchService::Core::DeviceChange(WPARAM event, LPARAM data) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_HANDLE) return TRUE;
    const auto* about = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(data);
    Watch* watch = nullptr;
    for (auto& [path, each] : watches)
        if (each->device && each->device == about->dbch_hdevnotify) watch = each.get();
    if (!watch) return TRUE;
    const ULONGLONG now = Now();
    switch (event) {
        case DBT_DEVICEQUERYREMOVE:
            Close(*watch, true);
            SetState(*watch, Watch::State::DeviceQuery);
            break;
        case DBT_DEVICEQUERYREMOVEFAILED:
            Close(*watch);
            SetState(*watch, Watch::State::Closed);
            watch->retryAt = now;
            break;
        case DBT_DEVICEREMOVEPENDING:
        case DBT_DEVICEREMOVECOMPLETE:
            Close(*watch);
            SetState(*watch, Watch::State::Retry);
            watch->retryDelay = kFirstRetry;
            watch->retryAt = now + watch->retryDelay;
            break;
        default:
            break;
    }
    return TRUE;
}

DWORD FolderWatchService::Core::Timeout(ULONGLONG now) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (changed || stopping || !replays.empty()) return 0;
    }
    ULONGLONG next = ULLONG_MAX;
    for (const auto& [folder, entry] : pending) {
        ULONGLONG due = entry.dueAt;
        for (const auto& [path, watch] : watches)  // a half rename told in it: its new name first
            if (!watch->oldName.empty() && watch->oldFolder == folder) due = std::max(due, watch->oldSince + kRenameWait);
        next = std::min(next, due);
    }
    bool open = false;
    for (const auto& [path, watch] : watches) {
        if (watch->state == Watch::State::Closed || watch->state == Watch::State::Retry) next = std::min(next, watch->retryAt);
        if (!watch->oldName.empty()) next = std::min(next, watch->oldSince + kRenameWait);
        open = open || watch->state == Watch::State::Open;
    }
    if (strategy == Strategy::PerFolder && open) next = std::min(next, nextRenew);
    if (next == ULLONG_MAX) return INFINITE;
    return next <= now ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(next - now, 60000));
}

// ---- FolderWatch ----

FolderWatch::FolderWatch(std::shared_ptr<FolderWatchService> service) : given_(std::move(service)) {}

FolderWatch::~FolderWatch() { Stop(); }

void FolderWatch::SetNotify(HWND window, UINT message) {
    window_ = window;
    message_ = message;
    if (!subscription_) return;
    std::lock_guard<std::mutex> guard(service_->core_->lock);
    subscription_->window = window;
    subscription_->message = message;
}

void FolderWatch::SetListed(const std::wstring& root, const std::vector<std::wstring>& folders, bool rebuilt) {
    if (!subscription_) {
        service_ = given_ ? given_ : FolderWatchService::ForProcess();
        subscription_ = service_->core_->Subscribe(service_->core_);
        SetNotify(window_, message_);
    }
    service_->core_->Update(*subscription_, root, folders, rebuilt);
}

void FolderWatch::Stop() {
    if (subscription_) service_->core_->Unsubscribe(*subscription_);
    subscription_.reset();
    service_.reset();
}

bool FolderWatch::Take(FolderChange* change) {
    return subscription_ && service_->core_->Take(*subscription_, change);
}

void FolderWatch::PutBack(FolderChange change) {
    if (subscription_) service_->core_->PutBack(*subscription_, std::move(change));
}

void FolderWatch::LetGo(const std::wstring& folder) {
    std::shared_ptr<FolderWatchService> service = service_ ? service_ : FolderWatchService::ProcessIfRunning();
    if (service) service->LetGo(folder);
}

void FolderWatch::TakeUp(const std::wstring& folder) {
    std::shared_ptr<FolderWatchService> service = service_ ? service_ : FolderWatchService::ProcessIfRunning();
    if (service) service->TakeUp(folder);
}

}  // namespace cartulane::control
