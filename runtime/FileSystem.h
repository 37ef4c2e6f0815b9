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

class FileSystem {
public:
    bool FolderExists(std::wstring_view path) const;
    // True only for an existing file, false for a folder or nothing.
    bool FileExists(std::wstring_view path) const;
    HRESULT GetFolder(std::wstring_view path, FolderListing* listing) const;
    // Copies a folder with everything in it, replacing files that exist. A destination that
    // ends in a backslash is a folder to copy into; otherwise it is the new folder's path.
    HRESULT CopyFolder(std::wstring_view source, std::wstring_view destination) const;
    // Deletes a folder with everything in it; a read-only file stops the deletion. Linked
    // folders inside are unlinked, never entered. A drive root is refused.
    HRESULT DeleteFolder(std::wstring_view path) const;
    HRESULT CopyFileTo(std::wstring_view source, std::wstring_view destination) const;  // replacing
    HRESULT RemoveFile(std::wstring_view path) const;
    // Renames or moves a file or folder; an existing target is not replaced.
    HRESULT Rename(std::wstring_view from, std::wstring_view to) const;
};

// The error of a copy whose destination lies inside its source.
HRESULT DestinationInsideSourceError();

// The full, extended-length form of a path ("" when it cannot be formed).
std::wstring ExtendedPath(std::wstring_view path);

// folder & "\" & name, with the backslash only when folder does not end in one.
std::wstring JoinPath(std::wstring_view folder, std::wstring_view name);

// An environment variable's value; "" when it is not set.
std::wstring EnvironmentVariable(const wchar_t* name);

}  // namespace cartulane
