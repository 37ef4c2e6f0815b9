// The folder tree built from real folders: keys, texts, images, levels and the
// filter, for the kinds of root a user can choose.

#include "control/FolderTree.h"
#include "control/NodeImages.h"
#include "runtime/FileSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <set>

namespace cartulane::control {
namespace {

using test::MakeFile;
using test::MakeFolder;
using test::TempDir;

class FolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(tree_.Create(parent_.hwnd(), 1, nullptr));
    }

    void Build(const std::wstring& root) {
        root_ = root;
        BuildFolderTree(root_, tree_);
    }

    Node* Root() { return tree_.Nodes().Item(1); }

    std::vector<std::wstring> ChildTexts(const Node* node) {
        std::vector<std::wstring> texts;
        for (Node* child = node->Child(); child; child = child->Next()) texts.push_back(child->Text());
        return texts;
    }

    // The names in a folder as the file system orders them, sub-folders first, files
    // kept only when listed in wanted.
    std::vector<std::wstring> Expected(const std::wstring& folder, const std::set<std::wstring>& wantedFiles) {
        FolderListing listing;
        EXPECT_HRESULT_SUCCEEDED(FileSystem().GetFolder(folder, &listing));
        std::vector<std::wstring> names = listing.subFolders;
        for (const auto& file : listing.files)
            if (wantedFiles.count(file)) names.push_back(file);
        return names;
    }

    test::HiddenWindow parent_{[](UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
        return TreeView::ReflectNotify(message, lParam, result);
    }};
    TreeView tree_;
    std::wstring root_;  // the root path of the last build
};

TEST_F(FolderTreeTest, BuildsTwoLevelsOfFoldersAndWorkbookFiles) {
    TempDir dir;
    const std::wstring root = dir / L"工作 目录";
    MakeFolder(root);
    MakeFolder(root + L"\\子文件夹 A");
    MakeFolder(root + L"\\子文件夹 A\\inner");
    MakeFile(root + L"\\子文件夹 A\\inner\\deep.xls");
    MakeFile(root + L"\\子文件夹 A\\a1.xls");
    MakeFile(root + L"\\子文件夹 A\\notes.txt");
    MakeFolder(root + L"\\no workbooks");
    MakeFile(root + L"\\no workbooks\\a.txt");
    const std::set<std::wstring> workbooks = {L"Book1.xls", L"Report.XLSX", L"Macro.xlsm", L"Data.xlsb",
                                              L"MYXLSFILE", L"年度 报表.xls"};
    for (const auto& name : workbooks) MakeFile(root + L"\\" + name);
    for (const auto* name : {L"Notes.csv", L"Book1.xls.bak", L"readme", L"xls.txt"}) MakeFile(root + L"\\" + name);

    Build(root);

    Node* top = Root();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->Key(), root);
    EXPECT_EQ(top->Text(), L"工作 目录");
    EXPECT_EQ(top->Image(), kImageFolder);
    EXPECT_TRUE(top->Expanded());
    EXPECT_EQ(ChildTexts(top), Expected(root, workbooks));

    Node* sub = tree_.Nodes().Find(root + L"\\子文件夹 A");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->Image(), kImageFolder);
    EXPECT_FALSE(sub->Expanded());
    EXPECT_EQ(ChildTexts(sub), Expected(root + L"\\子文件夹 A", {L"a1.xls"}));
    EXPECT_EQ(tree_.Nodes().Find(root + L"\\子文件夹 A\\a1.xls")->Image(), kImageWorkbook);
    // The second level is there; the third is not read.
    Node* inner = tree_.Nodes().Find(root + L"\\子文件夹 A\\inner");
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->Children(), 0);
    EXPECT_EQ(tree_.Nodes().Find(root + L"\\no workbooks")->Children(), 0);

    // Nodes come in order of addition: the root, its entries, then each first-level folder's.
    EXPECT_EQ(tree_.Nodes().Count(), 1 + 8 + 2);
    EXPECT_EQ(tree_.Nodes().Item(2)->Parent(), top);
    EXPECT_EQ(tree_.Nodes().Item(10)->Parent(), sub);

    // A rebuild starts from scratch: the same tree, not a doubled one.
    BuildFolderTree(root_, tree_);
    EXPECT_EQ(tree_.Nodes().Count(), 11);
}

TEST_F(FolderTreeTest, EmptyMissingAndUnreadableRootsGiveTheRootOnly) {
    TempDir dir;
    Build(dir.path());
    EXPECT_EQ(tree_.Nodes().Count(), 1);

    Build(dir / L"missing");
    ASSERT_EQ(tree_.Nodes().Count(), 1);
    EXPECT_EQ(Root()->Text(), L"missing");

    MakeFile(dir / L"a file.xls");
    Build(dir / L"a file.xls");
    EXPECT_EQ(tree_.Nodes().Count(), 1);

    Build(L"");
    EXPECT_EQ(tree_.Nodes().Count(), 1);
}

TEST_F(FolderTreeTest, ARootEndingInABackslashKeepsItsTextAndGivesSingleBackslashKeys) {
    TempDir dir;
    MakeFolder(dir / L"Data");
    MakeFolder(dir / L"Data\\sub");
    MakeFile(dir / L"Data\\book.xls");
    const std::wstring root = dir / L"Data\\";
    Build(root);
    EXPECT_EQ(Root()->Key(), root);
    EXPECT_EQ(Root()->Text(), root);
    EXPECT_EQ(Root()->Image(), kImageFolder);
    EXPECT_NE(tree_.Nodes().Find(dir / L"Data\\book.xls"), nullptr);
    EXPECT_NE(tree_.Nodes().Find(dir / L"Data\\sub"), nullptr);
}

TEST_F(FolderTreeTest, DriveRootsGetTheDriveImage) {
    // T: is a real drive of this prefix, mapped to a scratch folder.
    TempDir onDrive(L"T:\\");
    const std::wstring name = onDrive.path().substr(3);
    MakeFile(onDrive / L"book.xls");

    for (const std::wstring root : {L"T:\\", L"T:"}) {
        Build(root);
        EXPECT_EQ(Root()->Key(), root);
        EXPECT_EQ(Root()->Text(), root);
        EXPECT_EQ(Root()->Image(), kImageDrive);
        Node* folder = tree_.Nodes().Find(L"T:\\" + name);
        ASSERT_NE(folder, nullptr) << "root " << test::Narrow(root);
        EXPECT_EQ(folder->Parent(), Root());
        EXPECT_NE(tree_.Nodes().Find(L"T:\\" + name + L"\\book.xls"), nullptr);
    }
}

TEST_F(FolderTreeTest, TheDesktopAndMyDocumentsGetTheirOwnImages) {
    TempDir profile;
    wchar_t saved[MAX_PATH * 2] = {};
    ::GetEnvironmentVariableW(L"USERPROFILE", saved, MAX_PATH * 2);
    ::SetEnvironmentVariableW(L"USERPROFILE", profile.path().c_str());
    MakeFolder(profile / L"桌面");
    MakeFile(profile / L"桌面\\a.xls");
    MakeFolder(profile / L"My Documents");

    EXPECT_EQ(DefaultRootPath(), profile / L"桌面");
    Build(DefaultRootPath());
    EXPECT_EQ(Root()->Text(), L"桌面");
    EXPECT_EQ(Root()->Image(), kImageDesktop);
    EXPECT_EQ(ChildTexts(Root()), std::vector<std::wstring>{L"a.xls"});

    Build(profile / L"My Documents");
    EXPECT_EQ(Root()->Text(), L"My Documents");
    EXPECT_EQ(Root()->Image(), kImageDocumentsFolder);

    // The comparison is exact: another case is an ordinary folder.
    Build(profile / L"my documents");
    EXPECT_EQ(Root()->Image(), kImageFolder);

    // No "桌面" in the profile (Windows Vista and later): the desktop the system knows, still
    // shown as 桌面.
    ASSERT_HRESULT_SUCCEEDED(FileSystem().DeleteFolder(profile / L"桌面"));
    wchar_t* known = nullptr;
    ASSERT_HRESULT_SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Desktop, KF_FLAG_DONT_VERIFY, nullptr, &known));
    const std::wstring desktop = known;
    ::CoTaskMemFree(known);
    EXPECT_EQ(DefaultRootPath(), desktop);
    Build(DefaultRootPath());
    EXPECT_EQ(Root()->Text(), L"桌面");
    EXPECT_EQ(Root()->Image(), kImageDesktop);
    ::SetEnvironmentVariableW(L"USERPROFILE", saved);
}

TEST_F(FolderTreeTest, BlanksAroundTheRootAreTrimmedForTheListingOnly) {
    TempDir dir;
    MakeFile(dir / L"a.xls");
    const std::wstring padded = dir.path() + L"  ";
    Build(padded);
    EXPECT_EQ(Root()->Key(), padded);
    EXPECT_EQ(root_, dir.path());
    EXPECT_NE(tree_.Nodes().Find(dir / L"a.xls"), nullptr);
}

TEST_F(FolderTreeTest, TrimPathTrimsTheCallersTextAndOneBackslash) {
    std::wstring path = L"  C:\\a b\\  ";
    EXPECT_EQ(TrimPath(path), L"C:\\a b");
    EXPECT_EQ(path, L"C:\\a b\\");
    path = L"C:\\a\\\\";
    EXPECT_EQ(TrimPath(path), L"C:\\a\\");
    path = L"   ";
    EXPECT_EQ(TrimPath(path), L"");
    EXPECT_EQ(path, L"");
}

TEST_F(FolderTreeTest, FillFolderAddsOneLevelOnceAndNothingForFilesOrVanishedFolders) {
    TempDir dir;
    MakeFolder(dir / L"a");
    MakeFolder(dir / L"a\\b");
    MakeFolder(dir / L"a\\b\\c");
    MakeFile(dir / L"a\\b\\c.xls");
    MakeFolder(dir / L"gone");
    MakeFolder(dir / L"gone\\x");
    Build(dir.path());
    Node* b = tree_.Nodes().Find(dir / L"a\\b");
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->Children(), 0);

    FillFolder(b->Key(), tree_);
    EXPECT_EQ(ChildTexts(b), Expected(dir / L"a\\b", {L"c.xls"}));
    const int count = tree_.Nodes().Count();
    FillFolder(b->Key(), tree_);  // already listed: the first entry exists, nothing is added
    EXPECT_EQ(tree_.Nodes().Count(), count);

    FillFolder(dir / L"a\\b\\c.xls", tree_);  // a file
    FillFolder(dir / L"nowhere", tree_);
    EXPECT_EQ(tree_.Nodes().Count(), count);

    // A folder that vanished after the build: its node stays, nothing is listed.
    Node* x = tree_.Nodes().Find(dir / L"gone\\x");
    ASSERT_NE(x, nullptr);
    ASSERT_HRESULT_SUCCEEDED(FileSystem().DeleteFolder(dir / L"gone"));
    FillFolder(x->Key(), tree_);
    EXPECT_EQ(tree_.Nodes().Count(), count);
}

TEST_F(FolderTreeTest, AListingStopsAtItsFirstFailureAndTheBuildGoesOn) {
    TempDir dir;
    MakeFolder(dir / L"a");
    MakeFolder(dir / L"b");
    MakeFile(dir / L"b\\b.xls");
    Build(dir.path());
    const int before = tree_.Nodes().Count();

    // Listing the root again under the root: its first entry's key exists, so nothing is added.
    std::wstring path = dir.path();
    FillFolder(path, tree_);
    EXPECT_EQ(tree_.Nodes().Count(), before);

    // A listing under a key that names no node fails at once.
    std::wstring other = dir / L"b";
    tree_.Nodes().Clear();
    EXPECT_EQ(ListFolder(other, other, FileFilter, tree_), ElementNotFoundError());
    EXPECT_EQ(tree_.Nodes().Count(), 0);
}

}  // namespace
}  // namespace cartulane::control
