#include "control/FolderWatch.h"

#include "runtime/FileSystem.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace cartulane::control {

namespace {

constexpr DWORD kNotifyFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;
// Room for the names of one poll; a larger burst overflows and is read as "changed".
constexpr size_t kBufferBytes = 8 * 1024;

}  // namespace

// What a pending read writes into, kept together: a read that will not end when it is
// cancelled keeps both for good rather than have them written after they are freed.
struct PendingRead {
    OVERLAPPED overlapped{};
    DWORD buffer[kBufferBytes / sizeof(DWORD)]{};
};

// One folder's open handle, with its read of changes pending.
struct FolderWatch::Watch {
    unsigned id = 0;
    std::wstring path;
    UniqueFile folder;
    UniqueKernelHandle event;
    std::unique_ptr<PendingRead> read;
    std::wstring renamedFrom;  // an old name whose new name comes with the next read
    bool pending = false;
    bool ended = false;
    bool deep = false;
    bool marked = false;
    bool owed = false;  // to be read at the next asking, told or not
    // The folder last opened (volume and file index): it is known by it once renamed.
    std::array<DWORD, 3> identity{};

    Watch() = default;
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
    ~Watch() { Stop(); }

    // Lets go of the folder and opens it again. What the read let go of had told is added to
    // renames; news says whether it had told anything.
    bool Reopen(bool* news = nullptr, Renames* renames = nullptr) {
        const bool told = Stop(renames);
        if (news) *news = told;
        folder.reset(::CreateFileW(ExtendedPath(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
        ended = true;
        if (!folder) return false;
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(folder.get(), &info))
            identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
        if (!event) event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ended = !event || !Read();
        if (ended) folder.reset();
        return !ended;
    }

    bool Read() {
        if (!read) read = std::make_unique<PendingRead>();
        ::ResetEvent(event.get());
        read->overlapped = {};
        read->overlapped.hEvent = event.get();
        pending = ::ReadDirectoryChangesW(folder.get(), read->buffer, kBufferBytes, FALSE, kNotifyFilter, nullptr,
                                          &read->overlapped, nullptr) != FALSE;
        return pending;
    }

    // Cancels the pending read, waits for it to end and closes the folder; true when the
    // read had ended with something to tell before it was cancelled (its renames are added).
    bool Stop(Renames* renames = nullptr) {
        bool news = false;
        if (pending) {
            ::CancelIoEx(folder.get(), &read->overlapped);
            if (::WaitForSingleObject(event.get(), 2000) != WAIT_OBJECT_0) {
                read.release();  // NOLINT: written to by a read that never ended
                event.release();
                pending = false;
            } else {
                Renames ignored;
                news = FolderWatch::Finish(*this, renames ? renames : &ignored);
            }
        }
        folder.reset();
        return news;
    }
};

FolderWatch::FolderWatch() = default;
FolderWatch::~FolderWatch() { Clear(); }

bool FolderWatch::IsBelow(const std::wstring& key, const std::wstring& folder) {
    // The root of a drive keeps its backslash ("C:\"); every other key has none at its end.
    const size_t length = !folder.empty() && folder.back() == L'\\' ? folder.size() - 1 : folder.size();
    return key.size() > length + 1 && key.compare(0, length, folder, 0, length) == 0 && key[length] == L'\\';
}

std::vector<std::map<std::wstring, std::unique_ptr<FolderWatch::Watch>>::iterator> FolderWatch::Subtree(
    const std::wstring& folder) {
    std::vector<decltype(watches_)::iterator> found;
    if (auto self = watches_.find(folder); self != watches_.end()) found.push_back(self);
    // Keys below folder sort right after folder & "\" (the folder itself, when its key ends
    // in a backslash, comes first).
    std::wstring prefix = folder;
    if (prefix.empty() || prefix.back() != L'\\') prefix += L'\\';
    auto it = watches_.lower_bound(prefix);
    if (it != watches_.end() && it->first == folder) ++it;
    for (; it != watches_.end() && IsBelow(it->first, folder); ++it) found.push_back(it);
    return found;
}

bool FolderWatch::Add(const std::wstring& key, const std::wstring& path, bool readAtOnce) {
    if (auto found = watches_.find(key); found != watches_.end()) {
        found->second->marked = false;
        return !found->second->ended;
    }
    auto watch = std::make_unique<Watch>();
    watch->path = path;
    if (!watch->Reopen()) return false;
    watch->owed = readAtOnce;
    watch->id = nextId_++;
    watches_.emplace(key, std::move(watch));
    return true;
}

void FolderWatch::MarkAll() {
    for (auto& [key, watch] : watches_) {
        watch->marked = true;
        watch->deep = false;
    }
}

void FolderWatch::Prune() {
    std::erase_if(watches_, [](const auto& entry) { return entry.second->marked; });
}

std::vector<std::pair<std::wstring, bool>> FolderWatch::Remove(const std::wstring& key) {
    std::vector<std::pair<std::wstring, bool>> removed;
    for (auto it : Subtree(key)) {
        removed.emplace_back(it->first, it->second->deep);
        watches_.erase(it);
    }
    return removed;
}

bool FolderWatch::SameFolder(const std::wstring& key, const std::wstring& path) const {
    const auto found = watches_.find(key);
    if (found == watches_.end() || found->second->identity == std::array<DWORD, 3>{}) return false;
    UniqueFile other(::CreateFileW(ExtendedPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    return other && ::GetFileInformationByHandle(other.get(), &info) &&
           found->second->identity == std::array<DWORD, 3>{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

void FolderWatch::Rekey(const std::wstring& from, const std::wstring& to) {
    std::vector<std::pair<std::wstring, std::unique_ptr<Watch>>> moved;
    for (auto it : Subtree(from)) {
        std::wstring key = to + it->first.substr(from.size());
        it->second->path = key;  // only the root's key has blanks trimmed off its path, and it is not renamed
        moved.emplace_back(std::move(key), std::move(it->second));
        watches_.erase(it);
    }
    for (auto& [key, watch] : moved) watches_.insert_or_assign(std::move(key), std::move(watch));
}

bool FolderWatch::Renew(unsigned id, Renames* renames) {
    for (auto it = watches_.begin(); it != watches_.end(); ++it) {
        Watch& watch = *it->second;
        if (watch.id != id) continue;
        // What was told since the watch was last asked is not lost with it. A folder that
        // cannot be opened now keeps its place: the turns try it again.
        return watch.Reopen(nullptr, renames);
    }
    return false;
}

void FolderWatch::Clear() { watches_.clear(); }

const std::wstring* FolderWatch::KeyOf(unsigned id) const {
    for (const auto& [key, watch] : watches_)
        if (watch->id == id) return &key;
    return nullptr;
}

void FolderWatch::SetDeep(const std::wstring& key) {
    if (auto found = watches_.find(key); found != watches_.end()) found->second->deep = true;
}

bool FolderWatch::IsDeep(const std::wstring& key) const {
    const auto found = watches_.find(key);
    return found != watches_.end() && found->second->deep;
}

// The renames a finished read reported, in order; false when the read failed (the folder
// was deleted, or the share went away). No bytes is a success: more changed than the buffer
// holds, and the folder is read again anyway.
bool FolderWatch::Finish(Watch& watch, Renames* renames) {
    DWORD bytes = 0;
    watch.pending = false;
    if (!::GetOverlappedResult(watch.folder.get(), &watch.read->overlapped, &bytes, FALSE))
        return ::GetLastError() == ERROR_NOTIFY_ENUM_DIR;
    // The old name of a rename may come at the end of one read and the new name at the
    // start of the next (Wine tells them one by one): the old name waits in the watch.
    std::wstring renamedFrom = std::exchange(watch.renamedFrom, {});
    const auto* base = reinterpret_cast<const BYTE*>(watch.read->buffer);
    for (DWORD offset = 0; offset + sizeof(FILE_NOTIFY_INFORMATION) <= bytes;) {
        const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(base + offset);
        if (offset + offsetof(FILE_NOTIFY_INFORMATION, FileName) + info->FileNameLength > bytes) break;
        std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
        if (info->Action == FILE_ACTION_RENAMED_OLD_NAME) {
            renamedFrom = std::move(name);
        } else if (info->Action == FILE_ACTION_RENAMED_NEW_NAME && !renamedFrom.empty()) {
            renames->emplace_back(std::move(renamedFrom), std::move(name));
            renamedFrom.clear();
        } else {
            renamedFrom.clear();  // an old name with no new one here: moved out of the folder
        }
        if (info->NextEntryOffset == 0) break;
        offset += info->NextEntryOffset;
    }
    watch.renamedFrom = std::move(renamedFrom);
    return true;
}

// Reads what the finished read of one watch reported and starts the next read.
void FolderWatch::Collect(Watch& watch, std::vector<Change>* changes) {
    Change change;
    change.id = watch.id;
    watch.ended = !Finish(watch, &change.renames) || !watch.Read();
    if (watch.ended) watch.folder.reset();
    change.ended = watch.ended;
    change.waiting = !watch.ended && !watch.renamedFrom.empty();
    changes->push_back(std::move(change));
}

std::vector<FolderWatch::Change> FolderWatch::Take() {
    std::vector<Change> changes;
    std::vector<Watch*> watches;
    std::vector<HANDLE> events;
    watches.reserve(watches_.size());
    events.reserve(watches_.size());
    std::vector<Watch*> waited;  // told half a rename last time
    for (auto& [key, watch] : watches_) {
        if (std::exchange(watch->owed, false)) {
            changes.push_back({watch->id, {}, watch->ended});
            continue;  // what it was told comes with the next asking
        }
        if (watch->ended) continue;
        watches.push_back(watch.get());
        events.push_back(watch->event.get());
        if (!watch->renamedFrom.empty()) waited.push_back(watch.get());
    }
    // A wait on up to 64 events at a time, without waiting: each answer is the first event
    // set from where it starts, so the next wait starts after it.
    for (size_t start = 0; start < events.size();) {
        const DWORD count = static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, events.size() - start));
        const DWORD result = ::WaitForMultipleObjects(count, events.data() + start, FALSE, 0);
        if (result >= WAIT_OBJECT_0 + count) {
            start += count;
            continue;
        }
        const size_t index = start + (result - WAIT_OBJECT_0);
        Collect(*watches[index], &changes);
        start = index + 1;
    }
    // A new name that did not follow its old name by now will not: the folder is read as it is.
    for (Watch* watch : waited) {
        if (watch->renamedFrom.empty()) continue;
        if (std::any_of(changes.begin(), changes.end(), [&](const Change& c) { return c.id == watch->id && c.waiting; }))
            continue;
        changes.push_back({watch->id, {}, false, false, {std::exchange(watch->renamedFrom, {})}});
    }
    RenewOne(&changes);
    if (changes.size() < 2) return changes;  // the idle tick: nothing to order
    // A folder before the folders below it, as the keys sort.
    std::unordered_map<unsigned, size_t> place;
    for (const auto& [key, watch] : watches_) place.emplace(watch->id, place.size());
    std::sort(changes.begin(), changes.end(), [&](const Change& a, const Change& b) { return place[a.id] < place[b.id]; });
    return changes;
}

// One watch in turn is let go and taken up again, which lets a folder deleted while
// watched go (Windows ends the watch of a deleted folder, Wine tells nothing). A change
// made between the two shows in the folder's time of last change.
void FolderWatch::RenewOne(std::vector<Change>* changes) {
    if (watches_.empty()) return;
    auto it = watches_.upper_bound(renewAfter_);
    if (it == watches_.end()) it = watches_.begin();
    renewAfter_ = it->first;
    Watch& watch = *it->second;
    FILETIME before{}, after{};
    ::GetFileTime(watch.folder.get(), nullptr, nullptr, &before);
    // One told of a change is read anyway, now or at the next turn.
    if (std::any_of(changes->begin(), changes->end(), [&](const Change& c) { return c.id == watch.id; })) return;
    if (watch.ended) {  // could not be opened the last time: once it can, it is read again
        if (watch.Reopen()) changes->push_back({watch.id, {}, false});
        return;
    }
    if (!watch.renamedFrom.empty() || ::WaitForSingleObject(watch.event.get(), 0) == WAIT_OBJECT_0) return;
    bool news = false;
    if (!watch.Reopen(&news)) {
        changes->push_back({watch.id, {}, true});
        return;
    }
    ::GetFileTime(watch.folder.get(), nullptr, nullptr, &after);
    if (news || ::CompareFileTime(&before, &after) != 0) changes->push_back({watch.id, {}, false});
}

}  // namespace cartulane::control
