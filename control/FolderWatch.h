#pragma once
// FolderWatch: the folders the folder tree lists, each watched on its own for names made,
// deleted and renamed in it. Nothing runs on a thread of its own: the owner asks what
// changed (Take) from a timer of its window, and the asking never waits.

#include "runtime/Handles.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cartulane::control {

class FolderWatch {
public:
    // Renames told: old name and new name, in the order they happened.
    using Renames = std::vector<std::pair<std::wstring, std::wstring>>;

    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // What changed in one watched folder since it was last asked about.
    struct Change {
        unsigned id = 0;  // the watch; its key may change before the change is applied
        Renames renames;
        // The watch ended (the folder went, or could no longer be read).
        bool ended = false;
        // Half a rename was told: the folder is read at the next asking, with the new name.
        bool waiting = false;
        // Old names whose new names were never told (Wine loses some): the folder's listing
        // tells where they went.
        std::vector<std::wstring> renamedAway;
    };

    // Watches the folder at path under key, the key of the folder's node; a key that is
    // watched already keeps its watch. False when the folder cannot be watched. With
    // readAtOnce the folder is among the changed ones at the next asking.
    bool Add(const std::wstring& key, const std::wstring& path, bool readAtOnce = false);
    // For a rebuild of the tree: MarkAll, then Add every folder listed, then Prune ends
    // the watches that were not added again. The watches kept go on without a gap.
    void MarkAll();
    void Prune();
    // Ends the watch of key and of every folder below it; the keys that were watched, each
    // with whether it was deep.
    std::vector<std::pair<std::wstring, bool>> Remove(const std::wstring& key);
    // Whether the folder last watched under key is the one at path (a folder renamed).
    bool SameFolder(const std::wstring& key, const std::wstring& path) const;
    // A folder renamed: its watch and the watches below it go on under the new keys.
    void Rekey(const std::wstring& from, const std::wstring& to);
    // Lets go of the watched folder and watches it anew (an ended watch too); false when the
    // folder cannot be opened now (the watch stays, ended, and is tried again in its turn).
    // A folder deleted while it is watched stays on disk until its last handle is closed,
    // and its watch is not always told: letting go is what lets it go. The renames its watch
    // was told of since it was last asked are added to renames.
    bool Renew(unsigned id, Renames* renames);
    void Clear();

    size_t Count() const { return watches_.size(); }
    bool Watches(const std::wstring& key) const { return watches_.count(key) != 0; }
    // The key a watch has now; nullptr when the watch is gone.
    const std::wstring* KeyOf(unsigned id) const;
    // A folder whose sub-folders are listed too (the root, a folder the user expanded):
    // a folder made in it is listed at once.
    void SetDeep(const std::wstring& key);
    bool IsDeep(const std::wstring& key) const;

    // The watched folders in which something changed, each once, a folder before the
    // folders below it. Never waits.
    std::vector<Change> Take();

private:
    struct Watch;
    // Whether key is below folder (folder itself not included).
    static bool IsBelow(const std::wstring& key, const std::wstring& folder);
    // The watches of folder and of every folder below it.
    std::vector<std::map<std::wstring, std::unique_ptr<Watch>>::iterator> Subtree(const std::wstring& folder);
    static bool Finish(Watch& watch, Renames* renames);
    void Collect(Watch& watch, std::vector<Change>* changes);
    void RenewOne(std::vector<Change>* changes);

    std::map<std::wstring, std::unique_ptr<Watch>> watches_;
    std::wstring renewAfter_;  // the key of the watch renewed last
    unsigned nextId_ = 1;
};

}  // namespace cartulane::control
