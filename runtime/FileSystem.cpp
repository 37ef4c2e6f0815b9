#include "runtime/FileSystem.h"

#include "runtime/Error.h"
#include "runtime/Handles.h"

#include <shellapi.h>
#include <winternl.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

namespace cartulane {

namespace {

constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view kExtendedUncPrefix = L"\\\\?\\UNC\\";

DWORD Attributes(const std::wstring& extended) {
    return extended.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(extended.c_str());
}

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDots(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool EndsInSeparator(std::wstring_view path) {
    return !path.empty() && (path.back() == L'\\' || path.back() == L'/');
}

// A drive root (\\?\C:\) or a share root (\\?\UNC\server\share\).
bool IsVolumeRoot(std::wstring_view extended) {
    if (extended.starts_with(kExtendedUncPrefix)) {
        std::wstring_view rest = extended.substr(kExtendedUncPrefix.size());
        while (EndsInSeparator(rest)) rest.remove_suffix(1);
        const size_t server = rest.find(L'\\');
        return server == std::wstring_view::npos || rest.find(L'\\', server + 1) == std::wstring_view::npos;
    }
    std::wstring_view rest = extended.substr(kExtendedPrefix.size());
    return rest.size() <= 3 && rest.size() >= 2 && rest[1] == L':';
}

// Visits every entry of a folder (extended path) but "." and "..".
template <typename Visit>
HRESULT ForEachEntry(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileExW(JoinPath(folder, L"*").c_str(), FindExInfoBasic, &data,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        const DWORD error = ::GetLastError();
        // A drive root has no "." entry, so an empty one finds nothing at all.
        if (error == ERROR_FILE_NOT_FOUND && IsFolder(Attributes(folder))) return S_OK;
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        return Win32Failure(error);
    }
    do {
        if (!IsDots(data.cFileName)) RETURN_IF_FAILED(visit(data));
    } while (::FindNextFileW(find.get(), &data));
    const DWORD error = ::GetLastError();
    return error == ERROR_NO_MORE_FILES ? S_OK : Win32Failure(error);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether an item with these attributes and reparse tag stands for another (a junction, a
// symbolic link). Other reparse points (a cloud file's placeholder, a deduplicated file) are
// the item itself. A tag the file system did not tell counts as a link.
bool IsLink(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (tag == 0 || IsReparseTagNameSurrogate(tag));
}

// What a file or folder is, whatever path leads to it.
struct FileIdentity {
    DWORD volume = 0;
    ULONGLONG index = 0;
    bool operator==(const FileIdentity&) const = default;
};

ULONGLONG FileIndex(const BY_HANDLE_FILE_INFORMATION& info) {
    return (ULONGLONG{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
}

// Opens what a path leads to (links followed), to ask what it is; any kind, any sharing.
UniqueFile OpenToAsk(const std::wstring& extended) {
    return UniqueFile(::CreateFileW(extended.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::optional<FileIdentity> IdentityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, FileIndex(info)};
}

std::optional<FileIdentity> IdentityOf(const std::wstring& extended) {
    UniqueFile file = OpenToAsk(extended);
    if (!file) return std::nullopt;
    return IdentityOf(file.get());
}

// Where an opened item really is (\\?\C:\..., or \\?\Volume{...}\... on a volume without a
// letter); empty when that cannot be told.
std::wstring FinalPathOf(HANDLE file) {
    for (const DWORD volume : {VOLUME_NAME_DOS, VOLUME_NAME_GUID}) {
        std::wstring path(MAX_PATH, L'\0');
        DWORD size = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), volume);
        if (size >= path.size()) {
            path.resize(size);
            size = ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), volume);
        }
        if (size != 0 && size < path.size()) {
            path.resize(size);
            return path;
        }
    }
    return {};
}

// The length of an extended path's root: \\?\C:\, \\?\UNC\server\share\, \\?\Volume{...}\.
size_t RootLength(std::wstring_view extended) {
    if (extended.starts_with(kExtendedUncPrefix)) {
        const size_t server = extended.find(L'\\', kExtendedUncPrefix.size());
        const size_t share = server == std::wstring_view::npos ? server : extended.find(L'\\', server + 1);
        return share == std::wstring_view::npos ? extended.size() : share + 1;
    }
    if (!extended.starts_with(kExtendedPrefix)) return 0;
    const size_t volume = extended.find(L'\\', kExtendedPrefix.size());
    return volume == std::wstring_view::npos ? extended.size() : volume + 1;
}

// The folder an extended path is in; empty for a root.
std::wstring_view FolderAbove(std::wstring_view extended) {
    const size_t root = RootLength(extended);
    while (extended.size() > root && EndsInSeparator(extended)) extended.remove_suffix(1);
    if (root == 0 || extended.size() <= root) return {};
    const size_t separator = extended.rfind(L'\\');
    return extended.substr(0, separator < root ? root : separator);
}

// Whether inner (links followed) is outer, or lies below it where it really is.
bool IsSameOrBelow(const std::wstring& inner, const FileIdentity& outer) {
    UniqueFile file = OpenToAsk(inner);
    if (!file) return false;
    const std::optional<FileIdentity> identity = IdentityOf(file.get());
    if (!identity) return false;
    if (*identity == outer) return true;
    const std::wstring real = FinalPathOf(file.get());
    file.reset();
    for (std::wstring_view above = FolderAbove(real); !above.empty(); above = FolderAbove(above)) {
        if (IdentityOf(std::wstring(above)) == outer) return true;
    }
    return false;
}

// A path as people read it: without the extended prefix.
std::wstring Shown(std::wstring_view extended) {
    if (extended.starts_with(kExtendedUncPrefix)) return L"\\\\" + std::wstring(extended.substr(kExtendedUncPrefix.size()));
    if (extended.starts_with(kExtendedPrefix)) return std::wstring(extended.substr(kExtendedPrefix.size()));
    return std::wstring(extended);
}

// A path below a root, by its relative part ("" for the root itself).
std::wstring Below(const std::wstring& root, const std::wstring& relative) {
    return relative.empty() ? root : JoinPath(root, relative);
}

// The relative part of an item in a folder given by its own.
std::wstring RelativeIn(const std::wstring& folder, const wchar_t* name) {
    return folder.empty() ? std::wstring(name) : JoinPath(folder, name);
}

// ---- Copying

// One file being copied by CopyFileExW, and what its progress routine saw.
struct FileCopy {
    FileProgress* progress;
    bool stopped = false;
    std::exception_ptr thrown;  // by progress, kept to be thrown again outside the system's call
};

DWORD CALLBACK OnCopyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE,
                              HANDLE, void* data) {
    auto* copy = static_cast<FileCopy*>(data);
    try {
        if (!copy->progress->Stopping()) return PROGRESS_CONTINUE;
        copy->stopped = true;
    } catch (...) {
        copy->thrown = std::current_exception();
    }
    return PROGRESS_CANCEL;
}

const HRESULT kFileExists = HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);

// Copies a file to a name where nothing is: kFileExists, with nothing written, when something
// is there. What it wrote of a copy that fails or is stopped is removed.
HRESULT CopyToNewName(const std::wstring& from, const std::wstring& to, FileProgress* progress) {
    FileCopy copy{progress};
    if (::CopyFileExW(from.c_str(), to.c_str(), progress ? OnCopyProgress : nullptr, &copy, nullptr,
                      COPY_FILE_FAIL_IF_EXISTS))
        return S_OK;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return kFileExists;
    ::DeleteFileW(to.c_str());
    if (copy.thrown) std::rethrow_exception(copy.thrown);
    return copy.stopped ? CancelledError() : Win32Failure(error);
}

// Replaces a file with a copy: written to a new name beside it first and moved over it only
// when whole, so that a stop or a failure leaves the old file as it was.
HRESULT CopyOver(const std::wstring& from, const std::wstring& to, FileProgress* progress) {
    const std::wstring folder = to.substr(0, to.rfind(L'\\'));
    const std::wstring stem = L"~cartulane-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::wstring temporary = JoinPath(folder, stem + std::to_wstring(attempt) + L".tmp");
        const HRESULT hr = CopyToNewName(from, temporary, progress);
        if (hr == kFileExists) continue;
        RETURN_IF_FAILED(hr);
        if (::MoveFileExW(temporary.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return S_OK;
        const HRESULT moved = LastErrorResult();
        ::DeleteFileW(temporary.c_str());
        return moved;
    }
    return kFileExists;
}

// Copies a file, replacing one of the same name. mayExist is false where the file's folder
// was made by this copy: no file there can be in the way, and none is looked for.
HRESULT CopyOneFile(const std::wstring& from, const std::wstring& to, bool mayExist, FileProgress* progress) {
    if (!mayExist || Attributes(to) == INVALID_FILE_ATTRIBUTES) {
        const HRESULT hr = CopyToNewName(from, to, progress);
        if (hr != kFileExists) return hr;
    }
    return CopyOver(from, to, progress);
}

// One item of a copy: a folder to make or a file to copy, by its path below the source.
struct CopyItem {
    std::wstring relative;
    size_t folder;  // the item of the folder it goes in (none for the source itself)
    bool isFolder;
};

// A folder on the way down the counting pass, with the folders in it still to be walked.
struct CopyFrame {
    size_t item;
    bool linked;  // reached through a linked folder
    std::vector<std::pair<std::wstring, bool>> folders;  // name, linked
    size_t next = 0;
};

class FolderCopy {
public:
    FolderCopy(std::wstring from, std::wstring to, FileProgress* progress)
        : from_(std::move(from)), to_(std::move(to)), progress_(progress) {}

    HRESULT Run() {
        RETURN_IF_FAILED(CheckDestination());
        RETURN_IF_FAILED(Count());
        if (progress_) progress_->Counted(plan_.size());
        return Copy();
    }

private:
    // The folder where the copy lands, or the nearest one above it that exists.
    std::wstring LandingFolder() const {
        std::wstring_view folder = to_;
        while (!folder.empty() && !IsFolder(Attributes(std::wstring(folder)))) folder = FolderAbove(folder);
        return std::wstring(folder);
    }

    // A destination inside the source would be copied into itself, whatever path names it.
    HRESULT CheckDestination() {
        if (IsSameOrInside(to_, from_)) return DestinationInsideSourceError();
        source_ = IdentityOf(from_);
        if (!source_) return LastErrorResult();
        landing_ = LandingFolder();
        if (!landing_.empty() && IsSameOrBelow(landing_, *source_)) return DestinationInsideSourceError();
        destination_ = IsFolder(Attributes(to_)) ? IdentityOf(to_) : std::nullopt;
        return S_OK;
    }

    // A folder merged into one that exists: a link there that leads into the source would
    // have the copy write over what it reads.
    HRESULT CheckMergedFolder(const std::wstring& relative) const {
        if (!destination_) return S_OK;  // everything below is made by the copy
        const std::wstring there = Below(to_, relative);
        const DWORD attributes = Attributes(there);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return S_OK;
        return IsSameOrBelow(there, *source_) ? DestinationInsideSourceError() : S_OK;
    }

    HRESULT List(CopyFrame* frame) {
        return ForEachEntry(Below(from_, plan_[frame->item].relative), [&](const WIN32_FIND_DATAW& entry) {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                frame->folders.emplace_back(entry.cFileName, IsLink(entry.dwFileAttributes, entry.dwReserved0));
            } else {
                plan_.push_back({RelativeIn(plan_[frame->item].relative, entry.cFileName), frame->item, false});
            }
            return S_OK;
        });
    }

    // A linked folder is copied through, unless it leads to a folder being copied or above
    // one (the copy would never end), or into the destination or above it (the copy would
    // read what it writes): the system's failure for a link it cannot resolve.
    HRESULT CheckLink(const std::vector<CopyFrame>& down, const std::wstring& link) const {
        UniqueFile target = OpenToAsk(link);
        if (!target) return LastErrorResult();
        const std::optional<FileIdentity> identity = IdentityOf(target.get());
        if (!identity) return LastErrorResult();
        target.reset();
        const HRESULT refused = HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME);
        // The folders on the way down lie one inside the other between links: the deepest
        // before each link stands for those above it.
        for (size_t i = 0; i < down.size(); ++i) {
            if (i + 1 < down.size() && !down[i + 1].linked) continue;
            if (IsSameOrBelow(Below(from_, plan_[down[i].item].relative), *identity)) return refused;
        }
        if (!landing_.empty() && IsSameOrBelow(landing_, *identity)) return refused;
        if (destination_ && IsSameOrBelow(link, *destination_)) return refused;
        return S_OK;
    }

    // The counting pass: every item, in the order they are copied, before anything is written.
    HRESULT Count() {
        plan_.push_back({L"", SIZE_MAX, true});
        std::vector<CopyFrame> down(1, CopyFrame{0, false});
        RETURN_IF_FAILED(List(&down.back()));
        while (!down.empty()) {
            CopyFrame& frame = down.back();
            if (frame.next == frame.folders.size()) {
                down.pop_back();
                continue;
            }
            auto [name, linked] = std::move(frame.folders[frame.next++]);
            std::wstring relative = RelativeIn(plan_[frame.item].relative, name.c_str());
            if (linked) RETURN_IF_FAILED(CheckLink(down, JoinPath(from_, relative)));
            RETURN_IF_FAILED(CheckMergedFolder(relative));
            plan_.push_back({std::move(relative), frame.item, true});
            down.push_back(CopyFrame{plan_.size() - 1, linked});
            RETURN_IF_FAILED(List(&down.back()));
        }
        return S_OK;
    }

    HRESULT Copy() {
        const std::wstring shown = Shown(from_);
        std::vector<bool> made(plan_.size(), false);  // folders this copy made
        for (size_t i = 0; i < plan_.size(); ++i) {
            const CopyItem& item = plan_[i];
            if (progress_ && !progress_->Next(i, Below(shown, item.relative))) return CancelledError();
            const std::wstring to = Below(to_, item.relative);
            if (!item.isFolder) {
                RETURN_IF_FAILED(CopyOneFile(Below(from_, item.relative), to, !made[item.folder], progress_));
            } else if (::CreateDirectoryW(to.c_str(), nullptr)) {
                made[i] = true;
            } else {
                const DWORD error = ::GetLastError();
                if (error != ERROR_ALREADY_EXISTS || !IsFolder(Attributes(to))) return Win32Failure(error);
            }
        }
        return S_OK;
    }

    const std::wstring from_, to_;
    FileProgress* const progress_;
    std::wstring landing_;
    std::optional<FileIdentity> source_;
    std::optional<FileIdentity> destination_;  // when it exists
    std::vector<CopyItem> plan_;
};

// ---- Deleting

// The failure of a deletion that finds an item other than the one it listed.
HRESULT ItemChangedError() { return HRESULT_FROM_WIN32(ERROR_FILE_INVALID); }

// What a deletion tells apart: a file (or a file link), a folder to enter, a folder link.
enum class ItemKind { File, Folder, FolderLink };

ItemKind KindOf(DWORD attributes, DWORD tag) {
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ItemKind::File;
    return IsLink(attributes, tag) ? ItemKind::FolderLink : ItemKind::Folder;
}

// An entry of a folder as listed through its handle.
struct ListedItem {
    std::wstring name;
    ULONGLONG index;  // 0 where the file system tells none
    ItemKind kind;
    LONGLONG written = 0;  // last written, and size: what a move's removal compares with the copy
    LONGLONG size = 0;
};

// Opens the folder a deletion starts at, itself (never what a link leads to), to be deleted
// and, when it is a plain folder, listed.
UniqueFile OpenTopToDelete(const std::wstring& path, ItemKind kind) {
    const DWORD access = DELETE | FILE_READ_ATTRIBUTES | (kind == ItemKind::Folder ? FILE_LIST_DIRECTORY | FILE_TRAVERSE : 0);
    return UniqueFile(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The native functions the deletion uses, taken from the ntdll every process has loaded
// rather than imported: an import would have an elevated program that links this look for
// ntdll by name, beside itself first.
struct NativeFunctions {
    decltype(&::NtCreateFile) createFile;
    decltype(&::NtQueryInformationFile) queryInformationFile;
    decltype(&::RtlNtStatusToDosError) statusToError;
};

const NativeFunctions& Native() {
    static const NativeFunctions functions = [] {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        const auto find = [&](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(ntdll, name)); };
        return NativeFunctions{reinterpret_cast<decltype(&::NtCreateFile)>(find("NtCreateFile")),
                               reinterpret_cast<decltype(&::NtQueryInformationFile)>(find("NtQueryInformationFile")),
                               reinterpret_cast<decltype(&::RtlNtStatusToDosError)>(find("RtlNtStatusToDosError"))};
    }();
    return functions;
}

HRESULT NtFailure(NTSTATUS status) { return Win32Failure(Native().statusToError(status)); }

// Statuses of an entry gone since it was listed (deleted, or being deleted, by another).
constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034L);
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003AL);
constexpr NTSTATUS kDeletePending = static_cast<NTSTATUS>(0xC0000056L);

// Opens an entry of a folder held open, by its name in that folder, itself (never what a
// link leads to): whatever happens to the paths above, it is the held folder's entry.
// A file (or a file link) is deleted whatever file now has its name: it is the folder's, as
// the deletion means, and a folder, which could lead out, is not opened as a file. Without
// posix it is opened to be deleted when it is closed. A folder or folder link is opened to
// be checked first. S_FALSE, with nothing opened, when the entry has gone meanwhile.
HRESULT OpenEntryToDelete(HANDLE folder, const ListedItem& listed, bool posix, UniqueFile* entry) {
    const std::wstring& name = listed.name;
    UNICODE_STRING text{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                        static_cast<USHORT>(name.size() * sizeof(wchar_t)), const_cast<wchar_t*>(name.c_str())};
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    const bool isFile = listed.kind == ItemKind::File;
    const ACCESS_MASK access =
        DELETE | SYNCHRONIZE |
        (isFile ? 0 : FILE_READ_ATTRIBUTES | (listed.kind == ItemKind::Folder ? FILE_LIST_DIRECTORY | FILE_TRAVERSE : 0));
    const ULONG options = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT |
                          (isFile ? FILE_NON_DIRECTORY_FILE | (posix ? 0 : FILE_DELETE_ON_CLOSE) : FILE_DIRECTORY_FILE);
    IO_STATUS_BLOCK status;
    HANDLE opened = nullptr;
    const NTSTATUS result = Native().createFile(&opened, access, &object, &status, nullptr, 0, kShareAll, FILE_OPEN,
                                           options, nullptr, 0);
    if (result == kNameNotFound || result == kPathNotFound || result == kDeletePending) return S_FALSE;
    if (result < 0) return NtFailure(result);
    entry->reset(opened);
    return S_OK;
}

// Whether an opened folder is the one listed: the same folder, and of the same kind (a link
// only where a link was listed). The identifier is asked of the file system alone:
// GetFileInformationByHandle also asks for the volume's serial number, which Wine answers
// through its mount manager, at more than the deletion itself costs.
HRESULT CheckListed(HANDLE item, const ListedItem& listed) {
    IO_STATUS_BLOCK status;
    FILE_INTERNAL_INFORMATION identifier;
    const NTSTATUS asked =
        Native().queryInformationFile(item, &status, &identifier, sizeof(identifier), FileInternalInformation);
    if (asked < 0) return NtFailure(asked);
    if (listed.index != 0 && static_cast<ULONGLONG>(identifier.IndexNumber.QuadPart) != listed.index)
        return ItemChangedError();
    FILE_ATTRIBUTE_TAG_INFO kind;
    if (!::GetFileInformationByHandleEx(item, FileAttributeTagInfo, &kind, sizeof(kind))) return LastErrorResult();
    return KindOf(kind.FileAttributes, kind.ReparseTag) == listed.kind ? S_OK : ItemChangedError();
}

// Deletes an opened item. With posix (while the volume takes it), its name goes at once even
// when another program (a virus scanner, an indexer) has it open too, so that its folder can
// go next; otherwise it goes when the last handle to it closes.
HRESULT DeleteOpened(HANDLE item, bool* posix) {
    if (*posix) {
        // FILE_DISPOSITION_INFO_EX and its class, which MinGW's headers lack.
        struct {
            ULONG flags;
        } disposition{0x1 | 0x2};  // FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS
        constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
        if (::SetFileInformationByHandle(item, kDispositionInfoEx, &disposition, sizeof(disposition))) return S_OK;
        const DWORD error = ::GetLastError();
        if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION)
            return Win32Failure(error);
        *posix = false;  // an older system, or a volume without it
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    return ::SetFileInformationByHandle(item, FileDispositionInfo, &disposition, sizeof(disposition))
               ? S_OK
               : LastErrorResult();
}

// A folder being deleted: held open from its listing to its own deletion.
struct DeleteFrame {
    std::wstring path;
    UniqueFile folder;
    std::vector<ListedItem> items;
    size_t next = 0;
    bool spared = false;  // something below stays: the folder stays too
};

// A file's time of last writing and size, as a listing gives them; false when it cannot be read.
bool WrittenAndSize(const std::wstring& path, LONGLONG* written, LONGLONG* size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    *written = (LONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    *size = (LONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
}

// Whether the copy at path is the listed file as it was copied: the same size and time of
// last writing (a copy keeps the time).
bool CopiedWhole(const ListedItem& listed, const std::wstring& path) {
    LONGLONG written = 0, size = 0;
    return WrittenAndSize(path, &written, &size) && size == listed.size && written == listed.written;
}

class FolderDeletion {
public:
    // With copy (the extended path of the top's copy), a file is deleted only where its copy
    // is whole; a file that changed or came after the copy stays, and so do its folders.
    FolderDeletion(std::wstring top, ItemKind kind, FileProgress* progress, std::wstring copy = {})
        : top_(std::move(top)), kind_(kind), progress_(progress), copy_(std::move(copy)) {}

    HRESULT Run() {
        size_t total = 1;
        if (kind_ == ItemKind::Folder) RETURN_IF_FAILED(Count(&total));
        if (progress_) progress_->Counted(total);
        return Delete();
    }

private:
    // The counting pass: each file, link and folder (links are not entered).
    HRESULT Count(size_t* total) const {
        std::vector<std::wstring> pending{top_};
        while (!pending.empty()) {
            const std::wstring folder = std::move(pending.back());
            pending.pop_back();
            RETURN_IF_FAILED(ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry) {
                ++*total;
                if (KindOf(entry.dwFileAttributes, entry.dwReserved0) == ItemKind::Folder)
                    pending.push_back(JoinPath(folder, entry.cFileName));
                return S_OK;
            }));
        }
        return S_OK;
    }

    bool Next(const std::wstring& path) { return !progress_ || progress_->Next(done_, Shown(path)); }

    HRESULT List(DeleteFrame* frame) {
        if (buffer_.empty()) buffer_.resize(8192);
        for (;;) {
            if (!::GetFileInformationByHandleEx(frame->folder.get(), FileIdBothDirectoryInfo, buffer_.data(),
                                                static_cast<DWORD>(buffer_.size() * sizeof(buffer_[0])))) {
                const DWORD error = ::GetLastError();
                return error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND ? S_OK : Win32Failure(error);
            }
            const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_.data());
            for (;;) {
                const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
                std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
                // A reparse point's tag comes where extended attributes' size would.
                if (name != L"." && name != L"..")
                    frame->items.push_back({std::move(name), static_cast<ULONGLONG>(entry->FileId.QuadPart),
                                            KindOf(entry->FileAttributes, entry->EaSize),
                                            entry->LastWriteTime.QuadPart, entry->EndOfFile.QuadPart});
                if (entry->NextEntryOffset == 0) break;
                bytes += entry->NextEntryOffset;
            }
        }
    }

    // Opens a plain folder where one was found, and lists it.
    HRESULT Enter(std::wstring path, UniqueFile folder) {
        down_.push_back(DeleteFrame{std::move(path), std::move(folder)});
        return List(&down_.back());
    }

    HRESULT Delete() {
        if (!Next(top_)) return CancelledError();
        UniqueFile top = OpenTopToDelete(top_, kind_);
        if (!top) return LastErrorResult();
        RETURN_IF_FAILED(CheckListed(top.get(), ListedItem{{}, 0, kind_}));
        if (kind_ != ItemKind::Folder) return DeleteOpened(top.get(), &posix_);
        RETURN_IF_FAILED(Enter(top_, std::move(top)));
        while (!down_.empty()) {
            DeleteFrame& frame = down_.back();
            if (frame.next == frame.items.size()) {
                if (!frame.spared) RETURN_IF_FAILED(DeleteOpened(frame.folder.get(), &posix_));
                down_.pop_back();
                ++done_;
                continue;
            }
            const ListedItem& listed = frame.items[frame.next++];
            std::wstring path = JoinPath(frame.path, listed.name);
            if (!Next(path)) return CancelledError();
            if (!copy_.empty() && listed.kind == ItemKind::File && !CopiedWhole(listed, copy_ + path.substr(top_.size()))) {
                for (DeleteFrame& above : down_) above.spared = true;
                spared_ = true;
                ++done_;
                continue;
            }
            UniqueFile item;
            const bool posix = posix_;
            const HRESULT opened = OpenEntryToDelete(frame.folder.get(), listed, posix, &item);
            RETURN_IF_FAILED(opened);
            if (opened == S_FALSE) {  // gone already
                ++done_;
                continue;
            }
            if (listed.kind != ItemKind::File) RETURN_IF_FAILED(CheckListed(item.get(), listed));
            if (listed.kind == ItemKind::Folder) {
                RETURN_IF_FAILED(Enter(std::move(path), std::move(item)));
                continue;
            }
            if (listed.kind == ItemKind::FolderLink || posix) RETURN_IF_FAILED(DeleteOpened(item.get(), &posix_));
            ++done_;  // a file opened without posix goes as it is closed
        }
        return spared_ ? ChangedWhileMovedError() : S_OK;
    }

    const std::wstring top_;
    const ItemKind kind_;
    FileProgress* const progress_;
    const std::wstring copy_;
    bool spared_ = false;
    bool posix_ = true;  // deletes with POSIX semantics while the volume takes them
    size_t done_ = 0;
    std::vector<DeleteFrame> down_;
    std::vector<ULONGLONG> buffer_;  // listings, aligned as they must be
};

// The reparse tag of an item that is a reparse point, as its folder lists it.
DWORD ReparseTagOf(const std::wstring& extended) {
    WIN32_FIND_DATAW data;
    UniqueFind find(::FindFirstFileExW(extended.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    return find ? data.dwReserved0 : 0;
}

}  // namespace

HRESULT DestinationInsideSourceError() { return HRESULT_FROM_WIN32(ERROR_CIRCULAR_DEPENDENCY); }

HRESULT CancelledError() { return HRESULT_FROM_WIN32(ERROR_CANCELLED); }

HRESULT ChangedWhileMovedError() { return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0210); }

bool SameItem(std::wstring_view a, std::wstring_view b) {
    const std::optional<FileIdentity> first = IdentityOf(ExtendedPath(a));
    return first && IdentityOf(ExtendedPath(b)) == first;
}

bool IsSameOrBelow(std::wstring_view inner, std::wstring_view outer) {
    const std::optional<FileIdentity> identity = IdentityOf(ExtendedPath(outer));
    return identity && IsSameOrBelow(ExtendedPath(inner), *identity);
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::wstring_view WithoutBackslash(std::wstring_view path) {
    while (EndsInSeparator(path)) path.remove_suffix(1);
    return path;
}

bool IsSameOrInside(std::wstring_view inner, std::wstring_view outer, TextCase textCase) {
    inner = WithoutBackslash(inner);
    outer = WithoutBackslash(outer);
    if (inner.size() < outer.size()) return false;
    const std::wstring_view start = inner.substr(0, outer.size());
    if (textCase == TextCase::Ignored ? !SameText(start, outer) : start != outer) return false;
    return inner.size() == outer.size() || inner[outer.size()] == L'\\';
}

std::wstring ParentPath(std::wstring_view path) {
    path = WithoutBackslash(path);
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, slash));
}

std::wstring JoinPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring joined;
    joined.reserve(folder.size() + 1 + name.size());
    joined.append(folder);
    if (joined.empty() || joined.back() != L'\\') joined.push_back(L'\\');
    joined.append(name);
    return joined;
}

namespace {

// An absolute path in the extended form, its "." and ".." parts resolved by hand:
// GetFullPathNameW would also drop the blanks and dots at the ends of names, and "x " would
// then name the item "x" beside it. root is the drive (C:\) or the share (server\share\).
std::wstring ExtendedAbsolute(std::wstring_view prefix, std::wstring_view root, std::wstring_view rest) {
    std::vector<std::wstring_view> parts;
    size_t at = 0;
    while (at <= rest.size()) {
        const size_t end = std::min(rest.find(L'\\', at), rest.size());
        const std::wstring_view part = rest.substr(at, end - at);
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    std::wstring extended(prefix);
    extended.append(root);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) extended.push_back(L'\\');
        extended.append(parts[i]);
    }
    if (!parts.empty() && EndsInSeparator(rest)) extended.push_back(L'\\');
    return extended;
}

}  // namespace

std::wstring ExtendedPath(std::wstring_view path) {
    if (path.empty()) return {};
    if (path.starts_with(kExtendedPrefix)) return std::wstring(path);
    std::wstring input(path);
    std::replace(input.begin(), input.end(), L'/', L'\\');
    const bool drive = input.size() >= 3 && input[1] == L':' && input[2] == L'\\' &&
                       ((input[0] >= L'A' && input[0] <= L'Z') || (input[0] >= L'a' && input[0] <= L'z'));
    if (drive) return ExtendedAbsolute(kExtendedPrefix, std::wstring_view(input).substr(0, 3), std::wstring_view(input).substr(3));
    if (input.starts_with(L"\\\\") && !input.starts_with(L"\\\\.\\") && !input.starts_with(L"\\\\?\\")) {
        const size_t server = input.find(L'\\', 2);
        const size_t share = server == std::wstring::npos ? server : input.find(L'\\', server + 1);
        if (share != std::wstring::npos)
            return ExtendedAbsolute(kExtendedUncPrefix, std::wstring_view(input).substr(2, share - 1),
                                    std::wstring_view(input).substr(share + 1));
    }
    // A relative path, a drive's current folder, a device: the system's own resolution.
    DWORD size = ::GetFullPathNameW(input.c_str(), 0, nullptr, nullptr);
    if (size == 0) return {};
    std::wstring full(size, L'\0');
    size = ::GetFullPathNameW(input.c_str(), size, full.data(), nullptr);
    if (size == 0 || size >= full.size()) return {};
    full.resize(size);
    if (full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return std::wstring(kExtendedUncPrefix) + full.substr(2);
    return std::wstring(kExtendedPrefix) + full;
}

std::vector<std::wstring> DroppedFiles(IDataObject* data) {
    std::vector<std::wstring> paths;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (!data || FAILED(data->GetData(&format, &medium))) return paths;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        auto* drop = static_cast<HDROP>(medium.hGlobal);
        const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT index = 0; index < count; ++index) {
            const UINT length = ::DragQueryFileW(drop, index, nullptr, 0);
            std::wstring path(length, L'\0');
            if (length > 0 && ::DragQueryFileW(drop, index, path.data(), length + 1) == length) paths.push_back(path);
        }
    }
    ::ReleaseStgMedium(&medium);
    return paths;
}

std::wstring EnvironmentVariable(const wchar_t* name) {
    std::wstring value(::GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    if (value.empty()) return value;
    value.resize(::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

bool FileSystem::FolderExists(std::wstring_view path) const { return IsFolder(Attributes(ExtendedPath(path))); }

bool FileSystem::FileExists(std::wstring_view path) const {
    const DWORD attributes = Attributes(ExtendedPath(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HRESULT FileSystem::GetFolder(std::wstring_view path, FolderListing* listing) const {
    listing->subFolders.clear();
    listing->files.clear();
    const std::wstring folder = ExtendedPath(path);
    if (folder.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    return ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry) {
        auto& list = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? listing->subFolders : listing->files;
        list.emplace_back(entry.cFileName);
        return S_OK;
    });
}

HRESULT FileSystem::CopyFolder(std::wstring_view source, std::wstring_view destination, FileProgress* progress) const {
    const std::wstring from = ExtendedPath(source);
    if (!IsFolder(Attributes(from))) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    std::wstring target(destination);
    if (EndsInSeparator(destination)) {
        std::wstring_view name = from;
        while (EndsInSeparator(name)) name.remove_suffix(1);
        target = JoinPath(destination, name.substr(name.rfind(L'\\') + 1));
    }
    const std::wstring to = ExtendedPath(target);
    if (to.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    return FolderCopy(from, to, progress).Run();
}

HRESULT FileSystem::DeleteFolder(std::wstring_view path, FileProgress* progress) const {
    return DeleteFolderSparing(path, progress, {});
}

// DeleteFolder; with copy (a complete copy of path), sparing what is not in the copy as it is
// in path.
HRESULT FileSystem::DeleteFolderSparing(std::wstring_view path, FileProgress* progress, std::wstring_view copy) const {
    const std::wstring folder = ExtendedPath(path);
    const DWORD attributes = Attributes(folder);
    if (!IsFolder(attributes)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    if (IsVolumeRoot(folder)) return E_ACCESSDENIED;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // A folder that is a drive's root by another name (Wine's Z: path of a drive's folder).
        UniqueFile file = OpenToAsk(folder);
        const std::wstring real = file ? FinalPathOf(file.get()) : std::wstring();
        if (!real.empty() && FolderAbove(real).empty()) return E_ACCESSDENIED;
    }
    const DWORD tag = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? ReparseTagOf(folder) : 0;
    return FolderDeletion(folder, KindOf(attributes, tag), progress, copy.empty() ? std::wstring() : ExtendedPath(copy))
        .Run();
}

HRESULT FileSystem::CopyFileTo(std::wstring_view source, std::wstring_view destination, FileProgress* progress) const {
    const std::wstring from = ExtendedPath(source), to = ExtendedPath(destination);
    if (from.empty() || to.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    if (progress) {
        progress->Counted(1);
        if (!progress->Next(0, Shown(from))) return CancelledError();
    }
    return CopyOneFile(from, to, true, progress);
}

HRESULT FileSystem::RemoveFile(std::wstring_view path) const {
    return ::DeleteFileW(ExtendedPath(path).c_str()) ? S_OK : LastErrorResult();
}

HRESULT FileSystem::Rename(std::wstring_view from, std::wstring_view to) const {
    return ::MoveFileW(ExtendedPath(from).c_str(), ExtendedPath(to).c_str()) ? S_OK : LastErrorResult();
}

HRESULT FileSystem::Move(std::wstring_view source, std::wstring_view destination, bool replace,
                         FileProgress* progress) const {
    const std::wstring from = ExtendedPath(source), to = ExtendedPath(destination);
    if (from.empty() || to.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    const DWORD attributes = Attributes(from);
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastErrorResult();
    const bool folder = IsFolder(attributes);
    const DWORD existing = Attributes(to);
    if (existing != INVALID_FILE_ATTRIBUTES && !replace) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    if (progress) {
        progress->Counted(1);
        if (!progress->Next(0, Shown(from))) return CancelledError();
    }
    // A folder of that name is merged into by a copy; anything else is renamed where it can be.
    if (!(folder && IsFolder(existing))) {
        const DWORD flags = existing != INVALID_FILE_ATTRIBUTES ? MOVEFILE_REPLACE_EXISTING : 0;
        if (::MoveFileExW(from.c_str(), to.c_str(), flags)) return S_OK;
        if (::GetLastError() != ERROR_NOT_SAME_DEVICE) return LastErrorResult();
    }
    RETURN_IF_FAILED(folder ? CopyFolder(source, destination, progress) : CopyFileTo(source, destination, progress));
    // Copied whole: the source goes, whatever is asked of the progress meanwhile, but for what
    // another program changed or added while it was copied.
    if (folder) return DeleteFolderSparing(source, nullptr, destination);
    ListedItem listed{{}, 0, ItemKind::File};
    if (!WrittenAndSize(from, &listed.written, &listed.size)) return LastErrorResult();
    if (!CopiedWhole(listed, to)) return ChangedWhileMovedError();
    return RemoveFile(source);
}

}  // namespace cartulane
