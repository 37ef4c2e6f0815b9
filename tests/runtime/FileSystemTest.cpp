// FileSystem against the scripting runtime's FileSystemObject on the same random
// trees, and what only FileSystem promises: long paths and refusals that keep data.

#include "runtime/Dispatch.h"
#include "runtime/FileSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace cartulane {
namespace {

using test::Narrow;
using test::TempDir;

// The scripting runtime, reached late-bound as a script would.
class ScriptingFileSystem {
public:
    ScriptingFileSystem() {
        CLSID clsid;
        if (SUCCEEDED(::CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid)))
            ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&fso_));
    }
    explicit operator bool() const { return fso_ != nullptr; }

    bool FolderExists(const std::wstring& path) { return Ask(L"FolderExists", path); }
    bool FileExists(const std::wstring& path) { return Ask(L"FileExists", path); }
    HRESULT CopyFolder(const std::wstring& from, const std::wstring& to) {
        return dispatch::Call(fso_.Get(), L"CopyFolder", {from, to});
    }
    HRESULT DeleteFolder(const std::wstring& path) { return dispatch::Call(fso_.Get(), L"DeleteFolder", {path}); }

    HRESULT GetFolder(const std::wstring& path, FolderListing* listing) {
        ComPtr<IDispatch> folder;
        RETURN_IF_FAILED(dispatch::GetDispatch(fso_.Get(), L"GetFolder", &folder, {path}));
        RETURN_IF_FAILED(Names(folder.Get(), L"SubFolders", &listing->subFolders));
        return Names(folder.Get(), L"Files", &listing->files);
    }

private:
    bool Ask(const wchar_t* question, const std::wstring& path) {
        Variant answer;
        bool yes = false;
        EXPECT_HRESULT_SUCCEEDED(dispatch::Call(fso_.Get(), question, {path}, &answer));
        EXPECT_HRESULT_SUCCEEDED(answer.ToBool(&yes));
        return yes;
    }

    static HRESULT Names(IDispatch* folder, const wchar_t* collection, std::vector<std::wstring>* names) {
        ComPtr<IDispatch> items;
        RETURN_IF_FAILED(dispatch::GetDispatch(folder, collection, &items));
        names->clear();
        RETURN_IF_FAILED(dispatch::ForEach(items.Get(), [&](const Variant& item) {
            ComPtr<IDispatch> entry;
            RETURN_IF_FAILED(item.ToDispatch(&entry));
            std::wstring name;
            RETURN_IF_FAILED(dispatch::GetString(entry.Get(), L"Name", &name));
            names->push_back(name);
            return S_OK;
        }));
        Variant count;
        long n = -1;
        RETURN_IF_FAILED(dispatch::Get(items.Get(), L"Count", &count));
        RETURN_IF_FAILED(count.ToInt(&n));
        return n == static_cast<long>(names->size()) ? S_OK : E_UNEXPECTED;
    }

    ComPtr<IDispatch> fso_;
};

// Random folders and files; names with blanks, dots, Chinese characters and mixed case.
class RandomTree {
public:
    RandomTree(unsigned seed, const std::wstring& root) : random_(seed) { Fill(root, 0); }
    std::vector<std::wstring> folders, files;

private:
    std::wstring Name() {
        static const wchar_t* const parts[] = {L"Book", L"报表", L"a b", L"数据 2024", L"x", L"Q3.final",
                                               L"说明", L"ÄÖ",   L"NEW", L"v1.2", L"_", L"~tmp"};
        static const wchar_t* const endings[] = {L"", L".xls", L".XLSX", L".xlsm", L".txt", L".csv",
                                                 L".xls.bak", L" 副本"};
        std::wstring name = parts[random_() % std::size(parts)];
        if (random_() % 2) name += parts[random_() % std::size(parts)];
        return name + endings[random_() % std::size(endings)];
    }

    void Fill(const std::wstring& folder, int depth) {
        folders.push_back(folder);
        std::set<std::wstring> used;
        auto unique = [&] {
            for (;;) {
                std::wstring name = Name();
                std::wstring folded = name;
                ::CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
                if (used.insert(folded).second) return name;
            }
        };
        const int fileCount = random_() % 7;
        for (int i = 0; i < fileCount; ++i) {
            files.push_back(JoinPath(folder, unique()));
            test::MakeFile(files.back(), Narrow(files.back()));
        }
        const int folderCount = depth < 3 ? random_() % 5 : 0;
        for (int i = 0; i < folderCount; ++i) {
            const std::wstring sub = JoinPath(folder, unique());
            test::MakeFolder(sub);
            Fill(sub, depth + 1);
        }
    }

    std::mt19937 random_;
};

// Relative path -> content ("/" for a folder), read through FileSystem.
void Snapshot(const std::wstring& folder, const std::wstring& relative, std::map<std::wstring, std::string>* out) {
    FolderListing listing;
    ASSERT_HRESULT_SUCCEEDED(FileSystem().GetFolder(folder, &listing));
    for (const auto& name : listing.files) (*out)[relative + name] = test::ReadFile(JoinPath(folder, name));
    for (const auto& name : listing.subFolders) {
        (*out)[relative + name] = "/";
        Snapshot(JoinPath(folder, name), relative + name + L"\\", out);
    }
}

std::map<std::wstring, std::string> Snapshot(const std::wstring& folder) {
    std::map<std::wstring, std::string> out;
    Snapshot(folder, L"", &out);
    return out;
}

TEST(FileSystem, AnswersAsTheScriptingRuntimeDoesOnRandomTrees) {
    ScriptingFileSystem scripting;
    ASSERT_TRUE(scripting);
    const FileSystem ours;
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        TempDir dir;
        RandomTree tree(seed, dir.path());
        SCOPED_TRACE("seed " + std::to_string(seed));

        for (const auto& folder : tree.folders) {
            FolderListing mine, theirs;
            ASSERT_HRESULT_SUCCEEDED(ours.GetFolder(folder, &mine));
            ASSERT_HRESULT_SUCCEEDED(scripting.GetFolder(folder, &theirs));
            EXPECT_EQ(mine.subFolders, theirs.subFolders) << Narrow(folder);
            EXPECT_EQ(mine.files, theirs.files) << Narrow(folder);
        }

        std::vector<std::wstring> probes = tree.folders;
        probes.insert(probes.end(), tree.files.begin(), tree.files.end());
        for (const auto& path : std::vector<std::wstring>(probes)) {
            std::wstring upper = path;
            ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
            probes.push_back(upper);
            probes.push_back(path + L"\\");
            probes.push_back(path + L"\\missing");
        }
        probes.push_back(L"");
        probes.push_back(L"T:\\");
        for (const auto& path : probes) {
            EXPECT_EQ(ours.FolderExists(path), scripting.FolderExists(path)) << Narrow(path);
            EXPECT_EQ(ours.FileExists(path), scripting.FileExists(path)) << Narrow(path);
        }

        // Copies of the same folder, one by each, to a new path and into an existing folder.
        const std::wstring& source = tree.folders[tree.folders.size() / 2];
        TempDir targets;
        ASSERT_HRESULT_SUCCEEDED(ours.CopyFolder(source, targets / L"ours 副本"));
        ASSERT_HRESULT_SUCCEEDED(scripting.CopyFolder(source, targets / L"theirs 副本"));
        EXPECT_EQ(Snapshot(targets / L"ours 副本"), Snapshot(targets / L"theirs 副本"));
        EXPECT_EQ(Snapshot(targets / L"ours 副本"), Snapshot(source));

        test::MakeFolder(targets / L"into ours");
        test::MakeFolder(targets / L"into theirs");
        ASSERT_HRESULT_SUCCEEDED(ours.CopyFolder(source, targets / L"into ours\\"));
        ASSERT_HRESULT_SUCCEEDED(scripting.CopyFolder(source, targets / L"into theirs\\"));
        EXPECT_EQ(Snapshot(targets / L"into ours"), Snapshot(targets / L"into theirs"));

        // Copying over an earlier copy replaces its files and keeps what the source lacks.
        test::MakeFile(targets / L"ours 副本\\extra.xls", "keep");
        ASSERT_HRESULT_SUCCEEDED(ours.CopyFolder(source, targets / L"ours 副本"));
        EXPECT_EQ(test::ReadFile(targets / L"ours 副本\\extra.xls"), "keep");

        ASSERT_HRESULT_SUCCEEDED(ours.DeleteFolder(targets / L"ours 副本"));
        ASSERT_HRESULT_SUCCEEDED(scripting.DeleteFolder(targets / L"theirs 副本"));
        EXPECT_FALSE(ours.FolderExists(targets / L"ours 副本"));
        EXPECT_FALSE(scripting.FolderExists(targets / L"theirs 副本"));
    }
}

TEST(FileSystem, MissingFoldersFailAsTheScriptingRuntimeDoes) {
    ScriptingFileSystem scripting;
    TempDir dir;
    test::MakeFile(dir / L"a.xls");
    FolderListing listing;
    for (const std::wstring& path : {dir / L"missing", dir / L"a.xls", std::wstring()}) {
        EXPECT_HRESULT_FAILED(FileSystem().GetFolder(path, &listing)) << Narrow(path);
        EXPECT_HRESULT_FAILED(scripting.GetFolder(path, &listing)) << Narrow(path);
        EXPECT_HRESULT_FAILED(FileSystem().CopyFolder(path, dir / L"copy"));
        EXPECT_HRESULT_FAILED(FileSystem().DeleteFolder(path));
    }
    EXPECT_TRUE(FileSystem().FileExists(dir / L"a.xls"));
}

TEST(FileSystem, LongPathsWork) {
    TempDir dir;
    const FileSystem fs;
    std::wstring deep = dir.path();
    while (deep.size() < 400) {
        deep = JoinPath(deep, L"很长的文件夹名称 with blanks 0123456789");
        test::MakeFolder(deep);
    }
    ASSERT_GT(deep.size(), static_cast<size_t>(MAX_PATH));
    const std::wstring book = JoinPath(deep, L"工作簿 1.xlsx");
    test::MakeFile(book, "data");
    EXPECT_TRUE(fs.FolderExists(deep));
    EXPECT_TRUE(fs.FileExists(book));

    FolderListing listing;
    ASSERT_HRESULT_SUCCEEDED(fs.GetFolder(deep, &listing));
    EXPECT_EQ(listing.files, std::vector<std::wstring>{L"工作簿 1.xlsx"});

    ASSERT_HRESULT_SUCCEEDED(fs.CopyFileTo(book, JoinPath(deep, L"copy.xlsx")));
    ASSERT_HRESULT_SUCCEEDED(fs.Rename(JoinPath(deep, L"copy.xlsx"), JoinPath(deep, L"renamed.xlsx")));
    EXPECT_EQ(test::ReadFile(JoinPath(deep, L"renamed.xlsx")), "data");
    ASSERT_HRESULT_SUCCEEDED(fs.RemoveFile(JoinPath(deep, L"renamed.xlsx")));
    EXPECT_FALSE(fs.FileExists(JoinPath(deep, L"renamed.xlsx")));

    const std::wstring top = dir / L"很长的文件夹名称 with blanks 0123456789";
    ASSERT_HRESULT_SUCCEEDED(fs.CopyFolder(top, dir / L"copy"));
    EXPECT_TRUE(fs.FileExists(dir / L"copy" + deep.substr(top.size()) + L"\\工作簿 1.xlsx"));
    ASSERT_HRESULT_SUCCEEDED(fs.DeleteFolder(top));
    EXPECT_FALSE(fs.FolderExists(top));
}

// Windows drops blanks and dots at the end of a name when it makes a path whole; a name
// that has them must still name its own item, never the one beside it.
TEST(FileSystem, NamesEndingInABlankOrADotNameTheirOwnItem) {
    TempDir dir;
    const FileSystem fs;
    const std::wstring extended = ExtendedPath(dir.path());
    for (const wchar_t* name : {L"\\x", L"\\x ", L"\\y."}) ASSERT_TRUE(::CreateDirectoryW((extended + name).c_str(), nullptr));
    test::MakeFile(dir / L"x\\keep.xlsx", "keep");
    test::MakeFile(extended + L"\\x \\gone.xlsx", "gone");
    test::MakeFile(extended + L"\\z.xls", "z");
    test::MakeFile(extended + L"\\z.xls ", "z blank");

    EXPECT_TRUE(fs.FolderExists(dir / L"y."));
    EXPECT_FALSE(fs.FolderExists(dir / L"y"));
    EXPECT_TRUE(fs.FileExists(dir / L"x \\gone.xlsx"));
    EXPECT_FALSE(fs.FileExists(dir / L"x\\gone.xlsx"));
    ASSERT_HRESULT_SUCCEEDED(fs.DeleteFolder(dir / L"x "));
    EXPECT_TRUE(fs.FileExists(dir / L"x\\keep.xlsx"));
    ASSERT_HRESULT_SUCCEEDED(fs.RemoveFile(dir / L"z.xls "));
    EXPECT_EQ(test::ReadFile(dir / L"z.xls"), "z");
    ASSERT_HRESULT_SUCCEEDED(fs.CopyFileTo(dir / L"z.xls", dir / L"y.\\copy.xls"));
    EXPECT_EQ(test::ReadFile(extended + L"\\y.\\copy.xls"), "z");

    // "." and ".." and forward slashes still resolve as Windows resolves them.
    EXPECT_TRUE(fs.FileExists(dir.path() + L"/x/./../x/keep.xlsx"));
    EXPECT_EQ(ExtendedPath(dir.path() + L"\\x\\..\\y.\\"), extended + L"\\y.\\");
}

TEST(FileSystem, RefusalsLeaveEverythingInPlace) {
    TempDir dir;
    const FileSystem fs;
    test::MakeFolder(dir / L"a");
    test::MakeFolder(dir / L"a\\b");
    test::MakeFile(dir / L"a\\b\\book.xls", "1");

    // Into itself or below itself: refused, not copied without end.
    EXPECT_EQ(fs.CopyFolder(dir / L"a", dir / L"a\\"), DestinationInsideSourceError());
    EXPECT_EQ(fs.CopyFolder(dir / L"a", dir / L"A\\b\\copy"), DestinationInsideSourceError());
    EXPECT_EQ(fs.CopyFolder(dir / L"a", dir / L"a"), DestinationInsideSourceError());
    EXPECT_EQ(Snapshot(dir / L"a").size(), 2u);
    // A sibling whose name starts the same is not inside.
    EXPECT_HRESULT_SUCCEEDED(fs.CopyFolder(dir / L"a", dir / L"ab"));

    // Rename does not replace.
    test::MakeFile(dir / L"other.xls", "2");
    EXPECT_HRESULT_FAILED(fs.Rename(dir / L"other.xls", dir / L"a\\b\\book.xls"));
    EXPECT_EQ(test::ReadFile(dir / L"a\\b\\book.xls"), "1");

    // A read-only file stops a folder deletion.
    ::SetFileAttributesW((dir / L"a\\b\\book.xls").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_HRESULT_FAILED(fs.DeleteFolder(dir / L"a"));
    EXPECT_TRUE(fs.FileExists(dir / L"a\\b\\book.xls"));
    ::SetFileAttributesW((dir / L"a\\b\\book.xls").c_str(), FILE_ATTRIBUTE_NORMAL);

    // A drive root is never deleted.
    TempDir onDrive(L"T:\\");
    EXPECT_EQ(fs.DeleteFolder(L"T:\\"), E_ACCESSDENIED);
    EXPECT_EQ(fs.DeleteFolder(L"T:"), E_ACCESSDENIED);
    EXPECT_TRUE(fs.FolderExists(onDrive.path()));
}

// The linked folders below T:\links are made before this program runs (the testdrive_links
// step), on the host's side: only there can links be made.
TEST(FileSystem, ALinkedFolderIsCopiedThroughButOneLeadingBackUpIsRefused) {
    const FileSystem fs;
    for (const wchar_t* link : {L"T:\\links\\plain\\out", L"T:\\links\\loop\\sub\\back"}) {
        const DWORD attributes = ::GetFileAttributesW(link);
        ASSERT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            << Narrow(link) << " is not a linked folder";
    }
    TempDir dir;
    EXPECT_HRESULT_SUCCEEDED(fs.CopyFolder(L"T:\\links\\plain", dir / L"plain"));
    EXPECT_EQ(test::ReadFile(dir / L"plain\\out\\there.xls"), "2\n");

    // loop\sub\back leads to loop itself.
    EXPECT_EQ(fs.CopyFolder(L"T:\\links\\loop", dir / L"loop"), HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME));
    EXPECT_FALSE(fs.FolderExists(dir / L"loop\\sub\\back\\sub"));
    // Deleting a copy or a tree with links removes the links, not what they lead to.
    EXPECT_HRESULT_SUCCEEDED(fs.DeleteFolder(dir / L"loop"));
}

}  // namespace
}  // namespace cartulane
