// FileSystem against the scripting runtime's FileSystemObject on the same random
// trees, and what only FileSystem promises: long paths and refusals that keep data.

#include "runtime/Dispatch.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

// Tells what a copy or delete reports, and answers as the test says.
class Progress final : public FileProgress {
public:
    void Counted(size_t total) override { counted = total; }
    bool Next(size_t done, const std::wstring& path) override {
        told.emplace_back(done, path);
        return next(path);
    }
    bool Stopping() override {
        ++stoppingAsked;
        return stopping;
    }

    std::function<bool(const std::wstring& path)> next = [](const std::wstring&) { return true; };
    bool stopping = false;
    size_t counted = SIZE_MAX;
    int stoppingAsked = 0;
    std::vector<std::pair<size_t, std::wstring>> told;  // done, path
};

// The path of a folder on the test drive T: through drive Z:, which Wine maps to the host's
// root: the same folder by another name, as a subst drive or a share would give it.
std::wstring ThroughDriveZ(const std::wstring& onT) {
    wchar_t program[MAX_PATH];
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring build = program;  // ...\build\<configuration>\bin\this.exe
    for (int up = 0; up < 3; ++up) build.erase(build.rfind(L'\\'));
    return build + L"\\testdrive" + onT.substr(2);
}

bool IsLink(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(ExtendedPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A source of nine files, one in a sub-folder, with "new <name>" in each.
std::vector<std::wstring> MakeSource(const std::wstring& source) {
    test::MakeFolder(source);
    test::MakeFolder(JoinPath(source, L"sub"));
    std::vector<std::wstring> files;
    for (const wchar_t* name : {L"a.xls", L"b.xls", L"c.xls", L"d.xls", L"e.xls", L"f.xls", L"g.xls", L"h.xls",
                                L"sub\\i.xls"}) {
        files.push_back(name);
        test::MakeFile(JoinPath(source, name), "new " + Narrow(name));
    }
    return files;
}

// What a copy left in dst: every file it was told about before stopper is whole, the others
// are as they were (absent, or old for b.xls), and nothing else is there.
void ExpectStoppedCopy(const std::wstring& src, const std::wstring& dst, const std::vector<std::wstring>& files,
                       const Progress& progress, const std::wstring& stopper) {
    std::set<std::wstring> before;
    for (const auto& [done, path] : progress.told) {
        if (path == stopper) break;
        before.insert(path);
    }
    for (const auto& file : files) {
        const std::wstring copy = JoinPath(dst, file);
        if (before.count(JoinPath(src, file)))
            EXPECT_EQ(test::ReadFile(copy), "new " + Narrow(file)) << Narrow(file);
        else if (file == L"b.xls")
            EXPECT_EQ(test::ReadFile(copy), "old") << "the file to be replaced";
        else
            EXPECT_FALSE(FileSystem().FileExists(copy)) << Narrow(file);
    }
    for (const auto& [relative, content] : Snapshot(dst)) {
        EXPECT_TRUE(content == "/" || std::count(files.begin(), files.end(), relative)) << Narrow(relative);
    }
}

TEST(FileSystem, ACopyCountsItsItemsAndStopsBetweenThemLeavingOnlyWholeFiles) {
    TempDir dir;
    const FileSystem fs;
    const std::wstring src = dir / L"src";
    const std::vector<std::wstring> files = MakeSource(src);

    // Every folder made and every file, told before it is touched, by the source's path.
    Progress whole;
    ASSERT_HRESULT_SUCCEEDED(fs.CopyFolder(src, dir / L"whole", &whole));
    EXPECT_EQ(whole.counted, 11u);
    ASSERT_EQ(whole.told.size(), 11u);
    std::set<std::wstring> told;
    for (size_t i = 0; i < whole.told.size(); ++i) {
        EXPECT_EQ(whole.told[i].first, i);
        told.insert(whole.told[i].second);
    }
    std::set<std::wstring> items{src, JoinPath(src, L"sub")};
    for (const auto& file : files) items.insert(JoinPath(src, file));
    EXPECT_EQ(told, items);
    EXPECT_EQ(Snapshot(dir / L"whole"), Snapshot(src));

    // Stopped at the file that replaces one: that one keeps its old content.
    const std::wstring dst = dir / L"dst";
    test::MakeFolder(dst);
    test::MakeFile(JoinPath(dst, L"b.xls"), "old");
    Progress stopped;
    stopped.next = [&](const std::wstring& path) { return path != JoinPath(src, L"b.xls"); };
    EXPECT_EQ(fs.CopyFolder(src, dst, &stopped), CancelledError());
    ExpectStoppedCopy(src, dst, files, stopped, JoinPath(src, L"b.xls"));

    // Stopped half way, after some files were copied: those stay whole.
    TempDir again;
    test::MakeFile(again / L"b.xls", "old");
    Progress halfWay;
    halfWay.next = [&](const std::wstring&) { return halfWay.told.size() <= 6; };
    EXPECT_EQ(fs.CopyFolder(src, again.path(), &halfWay), CancelledError());
    ASSERT_EQ(halfWay.told.size(), 7u);
    ExpectStoppedCopy(src, again.path(), files, halfWay, halfWay.told.back().second);

    // Stopped inside a large file that replaces one. Wine's CopyFileExW never calls its
    // progress routine, so there the copy runs to its end.
    const std::wstring big = dir / L"big.xls";
    test::MakeFile(big, std::string(8 << 20, 'n'));
    test::MakeFile(dir / L"dst\\big.xls", "old");
    Progress stopping;
    stopping.stopping = true;
    const HRESULT hr = fs.CopyFileTo(big, dir / L"dst\\big.xls", &stopping);
    if (stopping.stoppingAsked) {
        EXPECT_EQ(hr, CancelledError());
        EXPECT_EQ(test::ReadFile(dir / L"dst\\big.xls"), "old");
    } else {
        EXPECT_HRESULT_SUCCEEDED(hr);
        EXPECT_EQ(test::ReadFile(dir / L"dst\\big.xls").size(), size_t{8 << 20});
    }
    FolderListing listing;
    ASSERT_HRESULT_SUCCEEDED(fs.GetFolder(dst, &listing));
    for (const auto& name : listing.files) EXPECT_TRUE(name.ends_with(L".xls")) << Narrow(name) << " left behind";
}

TEST(FileSystem, ACopyThatFailsAtAFileSaysWhichAndLeavesTheFileItWasToReplaceWhole) {
    TempDir dir;
    const FileSystem fs;
    const std::wstring src = dir / L"src", dst = dir / L"dst";
    const std::vector<std::wstring> files = MakeSource(src);
    test::MakeFolder(dst);
    test::MakeFile(JoinPath(dst, L"b.xls"), "old");
    {
        UniqueFile held(::CreateFileW(ExtendedPath(JoinPath(src, L"b.xls")).c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        Progress progress;
        EXPECT_EQ(fs.CopyFolder(src, dst, &progress), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
        ASSERT_FALSE(progress.told.empty());
        EXPECT_EQ(progress.told.back().second, JoinPath(src, L"b.xls"));
        ExpectStoppedCopy(src, dst, files, progress, JoinPath(src, L"b.xls"));
    }
    // The same with a new file: nothing of it is left.
    test::MakeFolder(dir / L"fresh");
    UniqueFile held(::CreateFileW(ExtendedPath(JoinPath(src, L"sub\\i.xls")).c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    Progress progress;
    EXPECT_EQ(fs.CopyFolder(src, dir / L"fresh", &progress), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(progress.told.back().second, JoinPath(src, L"sub\\i.xls"));
    EXPECT_FALSE(fs.FileExists(dir / L"fresh\\sub\\i.xls"));
}

TEST(FileSystem, ADeletionCountsItsItemsAndAStoppedOneLeavesTheRest) {
    TempDir dir;
    const FileSystem fs;
    const std::wstring top = dir / L"top";
    MakeSource(top);
    test::MakeFolder(top + L"\\sub\\deeper");
    test::MakeFile(top + L"\\sub\\deeper\\j.xls");

    Progress stopped;
    stopped.next = [&](const std::wstring&) { return stopped.told.size() <= 7; };
    EXPECT_EQ(fs.DeleteFolder(top, &stopped), CancelledError());
    EXPECT_EQ(stopped.counted, 13u);  // ten files, two folders and the top
    ASSERT_EQ(stopped.told.size(), 8u);
    EXPECT_EQ(stopped.told.front(), std::make_pair(size_t{0}, top));
    // What was not done is all there, the item it stopped at included.
    EXPECT_EQ(Snapshot(top).size() + 1, stopped.counted - stopped.told.back().first);
    EXPECT_TRUE(fs.FileExists(stopped.told.back().second) || fs.FolderExists(stopped.told.back().second));

    // What another program deletes meanwhile is done, not a failure.
    Progress whole;
    std::wstring taken;
    whole.next = [&](const std::wstring& path) {
        if (taken.empty() && fs.FileExists(path) && SUCCEEDED(fs.RemoveFile(path))) taken = path;
        return true;
    };
    ASSERT_HRESULT_SUCCEEDED(fs.DeleteFolder(top, &whole));
    EXPECT_FALSE(taken.empty());
    EXPECT_FALSE(fs.FolderExists(top));
    EXPECT_EQ(whole.told.size(), whole.counted);
}

// The linked folders below T:\links are made before this program runs (the testdrive_links
// step), on the host's side: only there can links be made.
TEST(FileSystem, ALinkedFolderIsCopiedThroughButOneLeadingBackOrIntoTheDestinationIsRefusedFirst) {
    const FileSystem fs;
    for (const wchar_t* link : {L"T:\\links\\plain\\out", L"T:\\links\\loop\\sub\\back", L"T:\\links\\todest\\src\\in"})
        ASSERT_TRUE(IsLink(link)) << Narrow(link) << " is not a linked folder";
    TempDir dir;
    EXPECT_HRESULT_SUCCEEDED(fs.CopyFolder(L"T:\\links\\plain", dir / L"plain"));
    EXPECT_EQ(test::ReadFile(dir / L"plain\\out\\there.xls"), "2\n");

    // loop\sub\back leads to loop itself, above sub: refused before anything is written.
    const HRESULT unresolved = HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME);
    Progress progress;
    EXPECT_EQ(fs.CopyFolder(L"T:\\links\\loop", dir / L"loop", &progress), unresolved);
    EXPECT_EQ(fs.CopyFolder(L"T:\\links\\loop\\sub", dir / L"sub", &progress), unresolved);
    EXPECT_TRUE(progress.told.empty());
    EXPECT_FALSE(fs.FolderExists(dir / L"loop"));
    EXPECT_FALSE(fs.FolderExists(dir / L"sub"));

    // todest\src\in leads into the folder it is copied into.
    const auto destination = Snapshot(L"T:\\links\\todest\\dest");
    EXPECT_EQ(fs.CopyFolder(L"T:\\links\\todest\\src", L"T:\\links\\todest\\dest"), unresolved);
    EXPECT_EQ(Snapshot(L"T:\\links\\todest\\dest"), destination);

    // merge\dest\src\x, where the copy of merge\src\x would be merged, leads back to
    // merge\src\y: the copy would write over its own source.
    ASSERT_TRUE(IsLink(L"T:\\links\\merge\\dest\\src\\x"));
    EXPECT_EQ(fs.CopyFolder(L"T:\\links\\merge\\src", L"T:\\links\\merge\\dest\\"), DestinationInsideSourceError());
    EXPECT_EQ(test::ReadFile(L"T:\\links\\merge\\src\\y\\f.xls"), "1\n");
}

TEST(FileSystem, ADeletionRemovesLinksWithoutTouchingWhatTheyLeadTo) {
    const FileSystem fs;
    for (const wchar_t* link : {L"T:\\links\\holder\\out", L"T:\\links\\holder\\empty"})
        ASSERT_TRUE(IsLink(link)) << Narrow(link) << " is not a linked folder";
    const HRESULT hr = fs.DeleteFolder(L"T:\\links\\holder");
    EXPECT_EQ(test::ReadFile(L"T:\\links\\kept\\keep.xls"), "3\n");
    EXPECT_TRUE(fs.FolderExists(L"T:\\links\\keptempty"));
    if (SUCCEEDED(hr)) {
        EXPECT_FALSE(fs.FolderExists(L"T:\\links\\holder"));
    } else {
        // Wine opens what a link leads to even when asked for the link itself: the deletion
        // then finds a folder other than the link it listed, and stops there.
        EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_FILE_INVALID));
        EXPECT_TRUE(IsLink(L"T:\\links\\holder\\out") || IsLink(L"T:\\links\\holder\\empty"));
    }
}

// A folder swapped for a link after it was listed, as another program could do it: the
// deletion finds another item where it listed the folder and stops, leaving what the link
// leads to alone.
TEST(FileSystem, ADeletionStopsAtAFolderSwappedForALink) {
    const std::wstring link = L"T:\\links\\swap\\link";
    ASSERT_TRUE(IsLink(link)) << "no linked folder at " << Narrow(link);
    TempDir dir(L"T:\\");
    const std::wstring top = dir / L"top", sub = dir / L"top\\sub";
    test::MakeFolder(top);
    test::MakeFile(top + L"\\a.xls");
    test::MakeFolder(sub);
    test::MakeFile(sub + L"\\inner.xls");

    bool swapped = false;
    Progress progress;
    progress.next = [&](const std::wstring& path) {
        if (path == sub) {
            swapped = ::MoveFileW(ExtendedPath(sub).c_str(), ExtendedPath(dir / L"away").c_str()) &&
                      ::MoveFileW(ExtendedPath(link).c_str(), ExtendedPath(sub).c_str());
        }
        return true;
    };
    EXPECT_EQ(FileSystem().DeleteFolder(top, &progress), HRESULT_FROM_WIN32(ERROR_FILE_INVALID));
    ASSERT_TRUE(swapped);
    EXPECT_EQ(test::ReadFile(sub + L"\\keep.xls"), "4\n");
    EXPECT_EQ(test::ReadFile(dir / L"away\\inner.xls"), "x");
}

// Another drive, a short name, other case and a link name the same folders; what they lead
// to decides, whatever the paths' text says.
TEST(FileSystem, SameItemAndIsSameOrBelowGoByWhatPathsLeadTo) {
    TempDir dir(L"T:\\");
    const std::wstring folder = dir / L"Folder With A Long Name", inner = folder + L"\\Inner";
    test::MakeFolder(folder);
    test::MakeFolder(inner);
    test::MakeFolder(folder + L" 2");
    const std::wstring viaZ = ThroughDriveZ(folder);
    std::wstring shortName(MAX_PATH, L'\0');
    shortName.resize(::GetShortPathNameW(folder.c_str(), shortName.data(), MAX_PATH));
    ASSERT_FALSE(shortName.empty());
    ASSERT_NE(shortName, folder);
    std::wstring upper = inner;
    ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    ASSERT_TRUE(IsLink(L"T:\\links\\plain\\out"));

    for (const std::wstring& alias : {viaZ, shortName, upper.substr(0, folder.size())})
        EXPECT_TRUE(SameItem(folder, alias)) << Narrow(alias);
    EXPECT_TRUE(SameItem(L"T:\\links\\plain\\out", L"T:\\links\\elsewhere"));
    EXPECT_FALSE(SameItem(folder, inner));
    EXPECT_FALSE(SameItem(folder, folder + L"\\missing"));
    EXPECT_FALSE(SameItem(L"", L""));

    for (const std::wstring& outer : {folder, viaZ, shortName}) {
        EXPECT_TRUE(IsSameOrBelow(inner, outer)) << Narrow(outer);
        EXPECT_TRUE(IsSameOrBelow(upper, outer)) << Narrow(outer);
        EXPECT_TRUE(IsSameOrBelow(viaZ + L"\\Inner", outer)) << Narrow(outer);
        EXPECT_TRUE(IsSameOrBelow(outer, folder)) << Narrow(outer);
        EXPECT_FALSE(IsSameOrBelow(outer, inner)) << Narrow(outer);
        EXPECT_FALSE(IsSameOrBelow(folder + L" 2", outer)) << Narrow(outer);
    }
    EXPECT_TRUE(IsSameOrBelow(L"T:\\links\\plain\\out", L"T:\\links\\elsewhere"));
    EXPECT_TRUE(IsSameOrBelow(L"T:\\links\\elsewhere", L"T:\\links\\plain\\out"));
    EXPECT_TRUE(IsSameOrBelow(L"T:\\links\\plain\\out", L"T:\\links"));
    EXPECT_FALSE(IsSameOrBelow(L"T:\\links\\plain\\out", L"T:\\links\\plain"));
    EXPECT_FALSE(IsSameOrBelow(folder + L"\\missing", folder));

    // A copy into the source under another name is refused as one by the same name is.
    EXPECT_EQ(FileSystem().CopyFolder(folder, viaZ + L"\\Inner\\copy"), DestinationInsideSourceError());
    EXPECT_FALSE(FileSystem().FolderExists(inner + L"\\copy"));
}

DWORD WINAPI RunWork(void* work) {
    (*static_cast<std::function<void()>*>(work))();
    return 0;
}

// Drive V: is another file system than T: where the machine has one (scripts/common.sh).
bool HasSecondVolume() { return FileSystem().FolderExists(L"V:\\"); }

TEST(FileSystem, AMoveOnOneVolumeRenamesAndKeepsTheItemsIdentity) {
    const FileSystem fs;
    TempDir dir(L"T:\\");
    const std::wstring book = dir / L"book.xls", folder = dir / L"folder", into = dir / L"into";
    test::MakeFile(book, "data");
    const std::vector<std::wstring> files = MakeSource(folder);
    test::MakeFolder(into);
    const auto bookId = test::Identity(book), folderId = test::Identity(folder);
    const auto insideId = test::Identity(JoinPath(folder, L"sub\\i.xls"));
    ASSERT_NE(bookId.second, 0u);

    ASSERT_HRESULT_SUCCEEDED(fs.Move(book, JoinPath(into, L"book.xls"), false));
    ASSERT_HRESULT_SUCCEEDED(fs.Move(folder, JoinPath(into, L"folder"), false));
    EXPECT_FALSE(fs.FileExists(book));
    EXPECT_FALSE(fs.FolderExists(folder));
    EXPECT_EQ(test::Identity(JoinPath(into, L"book.xls")), bookId) << "renamed, not copied";
    EXPECT_EQ(test::Identity(JoinPath(into, L"folder")), folderId);
    EXPECT_EQ(test::Identity(JoinPath(into, L"folder\\sub\\i.xls")), insideId);
    EXPECT_EQ(Snapshot(JoinPath(into, L"folder")).size(), files.size() + 1);

    // An item of that name: refused unless replaced; a file replaced, a folder merged into.
    test::MakeFile(book, "newer");
    test::MakeFolder(folder);
    test::MakeFile(JoinPath(folder, L"a.xls"), "newer a");
    test::MakeFile(JoinPath(folder, L"extra.xls"), "extra");
    EXPECT_EQ(fs.Move(book, JoinPath(into, L"book.xls"), false), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(fs.Move(folder, JoinPath(into, L"folder"), false), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(test::ReadFile(book), "newer");
    EXPECT_EQ(test::ReadFile(JoinPath(into, L"book.xls")), "data");
    ASSERT_HRESULT_SUCCEEDED(fs.Move(book, JoinPath(into, L"book.xls"), true));
    ASSERT_HRESULT_SUCCEEDED(fs.Move(folder, JoinPath(into, L"folder"), true));
    EXPECT_FALSE(fs.FileExists(book));
    EXPECT_FALSE(fs.FolderExists(folder));
    EXPECT_EQ(test::ReadFile(JoinPath(into, L"book.xls")), "newer");
    EXPECT_EQ(test::ReadFile(JoinPath(into, L"folder\\a.xls")), "newer a");
    EXPECT_EQ(test::ReadFile(JoinPath(into, L"folder\\extra.xls")), "extra");
    EXPECT_EQ(test::ReadFile(JoinPath(into, L"folder\\sub\\i.xls")), "new sub\\i.xls") << "kept by the merge";
}

TEST(FileSystem, AMoveAcrossVolumesCopiesThenRemovesAndAStoppedOneLeavesTheSourceWhole) {
    if (!HasSecondVolume()) GTEST_SKIP() << "no drive V: on another file system";
    const FileSystem fs;
    TempDir source(L"T:\\"), target(L"V:\\");
    const std::wstring folder = source / L"folder", book = source / L"book.xls";
    const std::vector<std::wstring> files = MakeSource(folder);
    test::MakeFile(book, "data");
    const auto bookId = test::Identity(book);

    // Stopped at its fourth file: the source is all there, only whole files were copied.
    Progress stopped;
    int seen = 0;
    stopped.next = [&](const std::wstring&) { return ++seen < 5; };
    EXPECT_EQ(fs.Move(folder, target / L"folder", false, &stopped), CancelledError());
    for (const auto& file : files) EXPECT_EQ(test::ReadFile(JoinPath(folder, file)), "new " + Narrow(file));
    for (const auto& [relative, content] : Snapshot(target / L"folder"))
        EXPECT_TRUE(content == "/" || content == "new " + Narrow(relative)) << Narrow(relative);

    Progress progress;
    ASSERT_HRESULT_SUCCEEDED(fs.Move(folder, target / L"folder", true, &progress));
    ASSERT_HRESULT_SUCCEEDED(fs.Move(book, target / L"book.xls", false));
    EXPECT_FALSE(fs.FolderExists(folder));
    EXPECT_FALSE(fs.FileExists(book));
    for (const auto& file : files) EXPECT_EQ(test::ReadFile(JoinPath(target / L"folder", file)), "new " + Narrow(file));
    EXPECT_EQ(test::ReadFile(target / L"book.xls"), "data");
    EXPECT_NE(test::Identity(target / L"book.xls"), bookId) << "a copy on the other volume";
    EXPECT_EQ(progress.counted, files.size() + 2) << "the copy's items";
}

TEST(FileSystem, AMoveAcrossVolumesLeavesWhatAnotherProgramChangedOrAddedMeanwhile) {
    if (!HasSecondVolume()) GTEST_SKIP() << "no drive V: on another file system";
    const FileSystem fs;
    TempDir source(L"T:\\"), target(L"V:\\");
    const std::wstring folder = source / L"folder";
    const std::vector<std::wstring> files = MakeSource(folder);
    // Halfway through the copy: a file copied already is written again, and a new file comes
    // in the sub-folder.
    Progress progress;
    std::wstring changed;
    progress.next = [&](const std::wstring& path) {
        if (progress.told.size() == 6) {
            for (const auto& [done, told] : progress.told)
                if (told != path && told.ends_with(L".xls") && changed.empty()) changed = told;
            test::MakeFile(changed, "written again");
            test::MakeFile(JoinPath(folder, L"sub\\new.xls"), "new");
        }
        return true;
    };
    EXPECT_EQ(fs.Move(folder, target / L"folder", false, &progress), ChangedWhileMovedError());
    ASSERT_FALSE(changed.empty());
    EXPECT_EQ(test::ReadFile(changed), "written again");
    EXPECT_EQ(test::ReadFile(JoinPath(folder, L"sub\\new.xls")), "new");
    size_t left = 0;
    for (const auto& file : files) left += fs.FileExists(JoinPath(folder, file));
    EXPECT_EQ(left, 1u) << "every other file moved whole";
    for (const auto& file : files) EXPECT_EQ(test::ReadFile(JoinPath(target / L"folder", file)), "new " + Narrow(file));
}

// Runs work on a thread of 64 KB of stack: fewer nested calls than a tree of 250 levels
// takes to walk by recursion (a find record alone is 592 bytes).
void OnSmallStack(std::function<void()> work) {
    UniqueKernelHandle thread(
        ::CreateThread(nullptr, 64 * 1024, &RunWork, &work, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(::WaitForSingleObject(thread.get(), 10 * 60 * 1000), WAIT_OBJECT_0);
}

TEST(FileSystem, ATreeDeeperThanTheStackCopiesAndDeletes) {
    TempDir dir(L"T:\\");
    const FileSystem fs;
    std::wstring deep = dir / L"tree";
    test::MakeFolder(deep);
    for (int level = 0; level < 250; ++level) {
        deep += L"\\d";
        test::MakeFolder(deep);
    }
    test::MakeFile(deep + L"\\book.xls", "deep");
    const std::wstring copiedBook = dir / L"copy" + deep.substr((dir / L"tree").size()) + L"\\book.xls";
    HRESULT copied = E_FAIL, deletedCopy = E_FAIL, deleted = E_FAIL;
    std::string copiedContent;
    OnSmallStack([&] {
        copied = fs.CopyFolder(dir / L"tree", dir / L"copy");
        copiedContent = test::ReadFile(copiedBook);
        deletedCopy = fs.DeleteFolder(dir / L"copy");
        deleted = fs.DeleteFolder(dir / L"tree");
    });
    EXPECT_HRESULT_SUCCEEDED(copied);
    EXPECT_EQ(copiedContent, "deep");
    EXPECT_HRESULT_SUCCEEDED(deletedCopy);
    EXPECT_HRESULT_SUCCEEDED(deleted);
    EXPECT_FALSE(fs.FolderExists(dir / L"copy"));
    EXPECT_FALSE(fs.FolderExists(dir / L"tree"));
}

}  // namespace
}  // namespace cartulane
