#pragma once
// The file-system object the control works with: existence tests, folder
// listings, folder copy and delete, and the single-file copy, delete and rename.
// Wide functions throughout; paths of any length are passed to Windows in the
// extended (\\?\) form, after the usual normalisation of a full path.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace cartulane {

// A folder's entries, read in one pass, each kind in the order the file system gives them.
struct FolderListing {
    std::vector<std::wstring> subFolders;
    std::vector<std::wstring> files;
};

// What a long copy or delete tells as it goes, on the thread doing it, and how it is stopped.
class FileProgress {
public:
    virtual ~FileProgress() = default;
    // The items the work takes (each file, and each folder made or removed), counted before
    // the first one is touched.
    virtual void Counted(size_t total) = 0;
    // Before each item: how many are done, and the item's path. False stops the work there
    // (it ends with CancelledError()).
    virtual bool Next(size_t done, const std::wstring& path) = 0;
    // Asked while a large file is being copied: true stops it there, and what was written
    // of it is removed.
    virtual bool Stopping() = 0;
};

// The failure of a copy or delete that its progress stopped.
HRESULT CancelledError();
// The failure of a move across volumes that left in the source what another program changed
// or added there while it was copied.
HRESULT ChangedWhileMovedError();

class FileSystem {
public:
    bool FolderExists(std::wstring_view path) const;
    // True only for an existing file, false for a folder or nothing.
    bool FileExists(std::wstring_view path) const;
    HRESULT GetFolder(std::wstring_view path, FolderListing* listing) const;
    // Copies a folder with everything in it, replacing files that exist. A destination that
    // ends in a backslash is a folder to copy into; otherwise it is the new folder's path.
    // Linked folders inside are copied through; one that leads back to a folder being copied,
    // or into the destination, is refused before anything is written. A file that replaces
    // one is written beside it first, so that a stop or failure leaves the old one whole; a
    // new file only partly written is removed. Stopped between items by progress.
    HRESULT CopyFolder(std::wstring_view source, std::wstring_view destination, FileProgress* progress = nullptr) const;
    // Deletes a folder with everything in it; a read-only file stops the deletion. Each folder
    // is held open from its listing to its own deletion, and its entries are opened by name in
    // it, never by a path that could lead elsewhere: linked folders inside are unlinked, never
    // entered, and a folder that is no longer the one listed (swapped for a link meanwhile)
    // stops the deletion. A drive root is refused.
    HRESULT DeleteFolder(std::wstring_view path, FileProgress* progress = nullptr) const;
    // One file, replacing (as CopyFolder does its files).
    HRESULT CopyFileTo(std::wstring_view source, std::wstring_view destination, FileProgress* progress = nullptr) const;
    HRESULT RemoveFile(std::wstring_view path) const;
    // Renames or moves a file or folder; an existing target is not replaced.
    HRESULT Rename(std::wstring_view from, std::wstring_view to) const;
    // Moves a file or folder to destination, its new path. On one volume it is renamed: the
    // same file, at once. Across volumes it is copied (as CopyFolder or CopyFileTo copy, with
    // progress) and only then removed (as DeleteFolder removes), so that a stop or failure
    // while copying leaves the source whole; a file another program changed or added in the
    // source meanwhile stays there, with its folders, and the move ends with
    // ChangedWhileMovedError. An item at destination is an error, unless replace: then a file
    // is replaced and a folder merged into, as by a copy and removal.
    HRESULT Move(std::wstring_view source, std::wstring_view destination, bool replace,
                 FileProgress* progress = nullptr) const;

private:
    HRESULT DeleteFolderSparing(std::wstring_view path, FileProgress* progress, std::wstring_view copy) const;
};

// The error of a copy whose destination lies inside its source.
HRESULT DestinationInsideSourceError();

// Whether two paths lead to the same file or folder: the same volume and file identifier,
// so that links, subst drives, short names, case variants and UNC aliases of one another
// compare as one. False when either cannot be opened.
bool SameItem(std::wstring_view a, std::wstring_view b);
// Whether folder inner is folder outer or lies below it, by what they lead to: inner and
// each folder above where inner really is (its links resolved) against outer.
bool IsSameOrBelow(std::wstring_view inner, std::wstring_view outer);

// The full, extended-length form of a path ("" when it cannot be formed).
std::wstring ExtendedPath(std::wstring_view path);

// Paths compared as text, as Windows compares names: ordinal, without regard to case.
bool SameText(std::wstring_view a, std::wstring_view b);
// The path without the backslashes or slashes at its end.
std::wstring_view WithoutBackslash(std::wstring_view path);
// Whether inner is outer itself or lies below it, as text (a trailing backslash not counted),
// ignoring case as Windows does, or letter for letter where the text is a key of our own.
// What the paths lead to is compared by SameItem and IsSameOrBelow.
enum class TextCase { Ignored, Kept };
bool IsSameOrInside(std::wstring_view inner, std::wstring_view outer, TextCase textCase = TextCase::Ignored);
// The folder that holds path, without its backslash; "" for a path with none.
std::wstring ParentPath(std::wstring_view path);

// folder & "\" & name, with the backslash only when folder does not end in one.
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

// The paths of the files a dragged or copied data object carries (CF_HDROP); none when it
// carries no files.
std::vector<std::wstring> DroppedFiles(IDataObject* data);

// An environment variable's value; "" when it is not set.
std::wstring EnvironmentVariable(const wchar_t* name);

}  // namespace cartulane
