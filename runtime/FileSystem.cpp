#include "runtime/FileSystem.h"

#include "runtime/Error.h"
#include "runtime/Handles.h"

#include <algorithm>
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

bool SamePath(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// Whether inner is outer itself or lies below it.
bool IsSameOrInside(std::wstring_view inner, std::wstring_view outer) {
    while (EndsInSeparator(outer)) outer.remove_suffix(1);
    while (EndsInSeparator(inner)) inner.remove_suffix(1);
    if (inner.size() < outer.size() || !SamePath(inner.substr(0, outer.size()), outer)) return false;
    return inner.size() == outer.size() || inner[outer.size()] == L'\\';
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

// Where a folder really is, links followed; empty when that cannot be told.
std::wstring FinalPath(const std::wstring& folder) {
    UniqueFile file(::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return {};
    std::wstring path(MAX_PATH, L'\0');
    DWORD size = ::GetFinalPathNameByHandleW(file.get(), path.data(), static_cast<DWORD>(path.size()), 0);
    if (size >= path.size()) {
        path.resize(size);
        size = ::GetFinalPathNameByHandleW(file.get(), path.data(), static_cast<DWORD>(path.size()), 0);
    }
    if (size == 0 || size >= path.size()) return {};
    path.resize(size);
    return path;
}

// chain holds where the folders being copied really are, from the top one down to source. A
// linked folder that leads to one of them, or above one, would be copied into itself without
// end: the copy stops there with the system's failure for a link it cannot resolve.
HRESULT CopyTree(const std::wstring& source, const std::wstring& destination, std::vector<std::wstring>& chain) {
    if (!::CreateDirectoryW(destination.c_str(), nullptr)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS || !IsFolder(Attributes(destination))) return Win32Failure(error);
    }
    return ForEachEntry(source, [&](const WIN32_FIND_DATAW& entry) -> HRESULT {
        const std::wstring from = JoinPath(source, entry.cFileName);
        const std::wstring to = JoinPath(destination, entry.cFileName);
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return ::CopyFileW(from.c_str(), to.c_str(), FALSE) ? S_OK : LastErrorResult();
        std::wstring real;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            real = FinalPath(from);
            if (real.empty()) return LastErrorResult();
            for (const std::wstring& folder : chain) {
                if (IsSameOrInside(folder, real)) return HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME);
            }
        } else {
            real = JoinPath(chain.back(), entry.cFileName);
        }
        chain.push_back(std::move(real));
        const HRESULT hr = CopyTree(from, to, chain);
        chain.pop_back();
        return hr;
    });
}

HRESULT DeleteTree(const std::wstring& folder) {
    RETURN_IF_FAILED(ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry) -> HRESULT {
        const std::wstring path = JoinPath(folder, entry.cFileName);
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return ::DeleteFileW(path.c_str()) ? S_OK : LastErrorResult();
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return ::RemoveDirectoryW(path.c_str()) ? S_OK : LastErrorResult();
        return DeleteTree(path);
    }));
    return ::RemoveDirectoryW(folder.c_str()) ? S_OK : LastErrorResult();
}

}  // namespace

HRESULT DestinationInsideSourceError() { return HRESULT_FROM_WIN32(ERROR_CIRCULAR_DEPENDENCY); }

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

HRESULT FileSystem::CopyFolder(std::wstring_view source, std::wstring_view destination) const {
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
    if (IsSameOrInside(to, from)) return DestinationInsideSourceError();
    std::wstring real = FinalPath(from);
    std::vector<std::wstring> chain{real.empty() ? from : std::move(real)};
    return CopyTree(from, to, chain);
}

HRESULT FileSystem::DeleteFolder(std::wstring_view path) const {
    const std::wstring folder = ExtendedPath(path);
    const DWORD attributes = Attributes(folder);
    if (!IsFolder(attributes)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    if (IsVolumeRoot(folder)) return E_ACCESSDENIED;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return ::RemoveDirectoryW(folder.c_str()) ? S_OK : LastErrorResult();
    return DeleteTree(folder);
}

HRESULT FileSystem::CopyFileTo(std::wstring_view source, std::wstring_view destination) const {
    return ::CopyFileW(ExtendedPath(source).c_str(), ExtendedPath(destination).c_str(), FALSE) ? S_OK : LastErrorResult();
}

HRESULT FileSystem::RemoveFile(std::wstring_view path) const {
    return ::DeleteFileW(ExtendedPath(path).c_str()) ? S_OK : LastErrorResult();
}

HRESULT FileSystem::Rename(std::wstring_view from, std::wstring_view to) const {
    return ::MoveFileW(ExtendedPath(from).c_str(), ExtendedPath(to).c_str()) ? S_OK : LastErrorResult();
}

}  // namespace cartulane
