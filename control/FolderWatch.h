#pragma once
// FolderWatch: what changes on disk in the folders a tree lists. All the watching runs on
// one worker thread per process: it opens the folders, reads what Windows reports, lists a
// folder once something changed in it and hands each tree finished changes. The tree's
// thread only tells which folders it lists and takes those changes; it never opens a
// folder for watching, never waits for the worker and never lists because of a watch.
//
// Windows reports what changes anywhere below a folder watched with its sub-tree: there the
// root alone is watched, and no folder below it is held open (Windows refuses to rename or
// move a folder while a handle is open below it). Wine reports only the folder's own
// entries: there each listed folder is watched on its own.

#include "runtime/FileSystem.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cartulane::control {

// One folder's news, for a tree that lists it.
struct FolderChange {
    enum class Kind {
        Listed,  // the entries the folder has now, after the renames told
        Gone,    // a root that is no more (a folder below a root goes with its parent's listing)
    };
    std::wstring folder;  // the path the tree listed it by
    Kind kind = Kind::Listed;
    // Entries renamed in the folder, old name and new name, in the order they happened.
    std::vector<std::pair<std::wstring, std::wstring>> renames;
    // Listed: its sub-folders, then its workbook files, in the order the file system gives
    // them; one listing shared by every tree that lists the folder.
    std::shared_ptr<const FolderListing> listing;
};

class FolderWatchService {
public:
    enum class Strategy {
        SubTree,    // one watch of each root, reporting what changes below it
        PerFolder,  // one watch of each listed folder, reporting its own entries
    };
    // The strategy of the platform we run on, decided here and nowhere else.
    static Strategy PlatformStrategy();
    // The service every tree of the process shares, started for the first and stopped
    // once the last one lets go of it.
    static std::shared_ptr<FolderWatchService> ForProcess();
    // The process's service when one is running; nullptr otherwise.
    static std::shared_ptr<FolderWatchService> ProcessIfRunning();

    explicit FolderWatchService(Strategy strategy);
    // Tells the worker to stop; never waits for it.
    ~FolderWatchService();
    FolderWatchService(const FolderWatchService&) = delete;
    FolderWatchService& operator=(const FolderWatchService&) = delete;

    Strategy WatchStrategy() const;
    // The folder handles the worker holds open for watching now.
    long OpenHandles() const;
    // Closes at once, from the calling thread and without waiting, the watches of folder
    // and of every folder below it: the caller is about to delete or rename it. Until the
    // caller takes it up again, nothing at or below it is opened or listed; then what is
    // still listed is watched and read again.
    void LetGo(const std::wstring& folder);
    void TakeUp(const std::wstring& folder);

    // What Windows addresses when it asks whether the device holding a watched folder may
    // go: the worker's window, the notification registered for the watch and its handle.
    struct DeviceTarget {
        HWND window = nullptr;
        HDEVNOTIFY notification = nullptr;
        HANDLE handle = nullptr;
    };
    DeviceTarget DeviceTargetOf(const std::wstring& watched) const;
    // Hands the watch of watched what its read would have ended with (FILE_NOTIFY_INFORMATION
    // records; none for a buffer that overflowed), through the code that handles a real read.
    void Replay(const std::wstring& watched, std::vector<BYTE> records);

    struct Core;

private:
    friend class FolderWatch;
    std::shared_ptr<Core> core_;
};

// One tree's place at the service: the folders it lists, and the changes waiting for it.
class FolderWatch {
public:
    // A tree of the process's service, or of the service given.
    explicit FolderWatch(std::shared_ptr<FolderWatchService> service = nullptr);
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Where news is posted (the message, without arguments): once, until Take finds none.
    void SetNotify(HWND window, UINT message);
    // The folders the tree lists now (root, the path of the tree's root). A folder new to
    // the list is read once it is watched: what changed before the watch saw it comes too.
    // After a rebuild (the tree listed every folder anew) what waits, and what is being
    // listed, is older than the tree and goes.
    void SetListed(const std::wstring& root, const std::vector<std::wstring>& folders, bool rebuilt = false);
    // Nothing is followed for this tree any more; what was waiting goes.
    void Stop();
    // The oldest change waiting, if any.
    bool Take(FolderChange* change);
    // A change only partly applied goes back in front, unless a newer one for its folder
    // came meanwhile (which then stands for both).
    void PutBack(FolderChange change);
    // The service this tree is followed by, nullptr while it follows nothing.
    FolderWatchService* Service() const { return service_.get(); }
    // LetGo and TakeUp on the service this tree is followed by, or else on the process's.
    void LetGo(const std::wstring& folder);
    void TakeUp(const std::wstring& folder);

    struct Subscription;

private:
    std::shared_ptr<FolderWatchService> given_;
    std::shared_ptr<FolderWatchService> service_;
    std::shared_ptr<Subscription> subscription_;
    HWND window_ = nullptr;
    UINT message_ = 0;
};

}  // namespace cartulane::control
