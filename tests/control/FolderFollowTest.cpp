// The folder tree following the disk: real folders changed by another process while the
// tree lists them, the watches asked as the control's timer asks them.

#include "control/FolderTree.h"
#include "control/FolderWatch.h"
#include "control/NodeImages.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"
#include "tests/support/Probes.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

namespace cartulane::control {
namespace {

using test::ChangeDisk;
using test::MakeFile;
using test::MakeFolder;
using test::TempDir;
using Clock = std::chrono::steady_clock;

class FolderFollowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(tree_.Create(parent_.hwnd(), 1, nullptr));
        savedRoot_ = RootPath;
        root_ = dir_ / L"根 目录";
        MakeFolder(root_);
    }
    void TearDown() override {
        watch_.Clear();
        RootPath = savedRoot_;
    }

    void Build() {
        RootPath = root_;
        BuildFolderTree(tree_, &watch_);
    }
    std::wstring Key(const std::wstring& relative) const { return relative.empty() ? root_ : root_ + L"\\" + relative; }
    Node* Find(const std::wstring& relative) { return tree_.Nodes().Find(Key(relative)); }

    // Asks the watches as the control's timer does, more often, until done holds; the
    // time it took, or a second and more when it never held.
    Clock::duration ApplyUntil(const std::function<bool()>& done) {
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(2)) {
            ApplyFolderChanges(tree_, watch_);
            if (done()) return Clock::now() - start;
            test::PumpMessages();
            ::Sleep(20);
        }
        return std::chrono::seconds(10);
    }

    std::vector<std::wstring> ChildTexts(const std::wstring& relative) {
        std::vector<std::wstring> texts;
        if (Node* node = Find(relative))
            for (Node* child = node->Child(); child; child = child->Next()) texts.push_back(child->Text());
        return texts;
    }
    // What a fresh build shows under the folder: compared with the tree, it checks names,
    // order, keys and images at once.
    struct Shown {
        std::wstring key, text;
        int image;
        bool operator==(const Shown&) const = default;
    };
    static std::vector<Shown> Children(TreeView&, Node* node) {
        std::vector<Shown> shown;
        if (node)
            for (Node* child = node->Child(); child; child = child->Next())
                shown.push_back({child->Key(), child->Text(), child->Image()});
        return shown;
    }
    std::vector<Shown> FreshChildren(const std::wstring& relative) {
        TreeView fresh;
        EXPECT_HRESULT_SUCCEEDED(fresh.Create(parent_.hwnd(), 2, nullptr));
        const std::wstring key = Key(relative);
        ::cartulane::control::RootPath = key;
        BuildFolderTree(fresh);
        RootPath = root_;
        return Children(fresh, fresh.Nodes().Item(1));
    }

    TempDir dir_;
    std::wstring root_;
    test::HiddenWindow parent_{[](UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
        return TreeView::ReflectNotify(message, lParam, result);
    }};
    TreeView tree_;
    FolderWatch watch_;
    std::wstring savedRoot_;
};

TEST_F(FolderFollowTest, WatchesTheFoldersTheTreeListsAndOnlyThose) {
    MakeFolder(Key(L"A"));
    MakeFolder(Key(L"A\\inner"));
    MakeFolder(Key(L"A\\inner\\deeper"));
    MakeFolder(Key(L"B"));
    MakeFile(Key(L"one.xls"));
    Build();
    // The root and the first level: the folders whose entries the tree shows.
    EXPECT_EQ(watch_.Count(), 3u);
    EXPECT_TRUE(watch_.Watches(Key(L"")));
    EXPECT_TRUE(watch_.Watches(Key(L"A")));
    EXPECT_FALSE(watch_.Watches(Key(L"A\\inner")));
    EXPECT_TRUE(watch_.IsDeep(Key(L"")));
    EXPECT_FALSE(watch_.IsDeep(Key(L"A")));

    // Expanding A lists its folders' entries: those are watched too.
    FillSubFolders(*Find(L"A"), tree_, &watch_);
    EXPECT_TRUE(watch_.Watches(Key(L"A\\inner")));
    EXPECT_FALSE(watch_.Watches(Key(L"A\\inner\\deeper")));
    EXPECT_TRUE(watch_.IsDeep(Key(L"A")));
    EXPECT_EQ(watch_.Count(), 4u);

    // A refresh watches what the new tree lists; another root replaces every watch.
    Build();
    EXPECT_EQ(watch_.Count(), 3u);
    EXPECT_FALSE(watch_.IsDeep(Key(L"A")));
    RootPath = Key(L"A");
    BuildFolderTree(tree_, &watch_);
    EXPECT_EQ(watch_.Count(), 2u);
    EXPECT_TRUE(watch_.Watches(Key(L"A\\inner")));
    EXPECT_FALSE(watch_.Watches(Key(L"")));
    // A root that is no folder: nothing to watch.
    RootPath = Key(L"one.xls");
    BuildFolderTree(tree_, &watch_);
    EXPECT_EQ(watch_.Count(), 0u);
}

// Keys are the nodes' keys: a drive's root keeps its backslash, and a folder whose name
// begins like another's is not below it.
TEST_F(FolderFollowTest, WatchesBelowAFolderAreFoundUnderADriveRootToo) {
    MakeFolder(Key(L"x"));
    MakeFolder(Key(L"x\\y"));
    ASSERT_TRUE(watch_.Add(L"D:\\", root_));
    ASSERT_TRUE(watch_.Add(L"D:\\x", Key(L"x")));
    ASSERT_TRUE(watch_.Add(L"D:\\x\\y", Key(L"x\\y")));
    ASSERT_TRUE(watch_.Add(L"D:\\x y", Key(L"x")));
    watch_.Rekey(L"D:\\x", L"D:\\z");
    EXPECT_TRUE(watch_.Watches(L"D:\\z"));
    EXPECT_TRUE(watch_.Watches(L"D:\\z\\y"));
    EXPECT_TRUE(watch_.Watches(L"D:\\x y"));
    EXPECT_FALSE(watch_.Watches(L"D:\\x\\y"));
    watch_.Remove(L"D:\\");
    EXPECT_EQ(watch_.Count(), 0u);
}

TEST_F(FolderFollowTest, MadeDeletedAndRenamedElsewhereShowWithinASecondInPlace) {
    MakeFolder(Key(L"A"));
    MakeFolder(Key(L"A\\inner"));
    MakeFile(Key(L"A\\inner\\x.xls"));
    MakeFile(Key(L"A\\a.xls"));
    MakeFolder(Key(L"B"));
    MakeFile(Key(L"B\\b.xls"));
    MakeFile(Key(L"old.xls"));
    MakeFile(Key(L"notes.txt"));
    Build();
    Node* a = Find(L"A");
    a->SetExpanded(true);
    FillSubFolders(*a, tree_, &watch_);
    Find(L"A\\inner")->SetExpanded(true);
    Node* selected = Find(L"A\\inner\\x.xls");
    tree_.Select(*selected);
    Node* b = Find(L"B");

    ASSERT_EQ(ChangeDisk({L"file", Key(L"new.xls"), L"mkdir", Key(L"C"), L"file", Key(L"C\\c.xlsx"), L"del",
                          Key(L"old.xls"), L"ren", Key(L"B"), Key(L"B2"), L"ren", Key(L"A\\inner\\x.xls"),
                          Key(L"A\\inner\\y.xls"), L"file", Key(L"A\\inner\\skip.txt"), L"ren", Key(L"notes.txt"),
                          Key(L"notes.xls")}),
              0);
    const auto took = ApplyUntil([&] {
        return Find(L"new.xls") && Find(L"C\\c.xlsx") && !Find(L"old.xls") && Find(L"B2\\b.xls") &&
               Find(L"A\\inner\\y.xls") && Find(L"notes.xls");
    });
    EXPECT_LT(took, std::chrono::seconds(1));
    EXPECT_EQ(Find(L"B"), nullptr);
    EXPECT_EQ(Find(L"B\\b.xls"), nullptr);
    EXPECT_EQ(Find(L"B2"), b) << "renamed in place";
    EXPECT_EQ(Find(L"A\\inner\\x.xls"), nullptr);
    EXPECT_EQ(Find(L"A\\inner\\skip.txt"), nullptr);
    // In the order and with the keys and images a fresh listing gives.
    EXPECT_EQ(Children(tree_, Find(L"")), FreshChildren(L""));
    EXPECT_EQ(Children(tree_, Find(L"A\\inner")), FreshChildren(L"A\\inner"));
    EXPECT_EQ(Children(tree_, Find(L"B2")), FreshChildren(L"B2"));
    // The renamed file is the node that was selected, still selected; what was expanded is.
    EXPECT_EQ(Find(L"A\\inner\\y.xls"), selected);
    EXPECT_EQ(tree_.SelectedItem(), selected);
    EXPECT_EQ(selected->Text(), L"y.xls");
    EXPECT_TRUE(Find(L"A")->Expanded());
    EXPECT_TRUE(Find(L"A\\inner")->Expanded());
    EXPECT_TRUE(Find(L"")->Expanded());

    // The renamed folder's watch goes on under its new key.
    EXPECT_TRUE(watch_.Watches(Key(L"B2")));
    EXPECT_FALSE(watch_.Watches(Key(L"B")));
    ASSERT_EQ(ChangeDisk({L"file", Key(L"B2\\later.xls"), L"mkdir", Key(L"A\\inner\\sub")}), 0);
    EXPECT_LT(ApplyUntil([&] { return Find(L"B2\\later.xls") && Find(L"A\\inner\\sub"); }), std::chrono::seconds(1));
    // A folder made in a folder whose sub-folders are listed is listed (and watched) too.
    EXPECT_TRUE(watch_.Watches(Key(L"C")));
    EXPECT_FALSE(watch_.Watches(Key(L"A\\inner\\sub")));
}

// A folder renamed with what the user opened inside it: the whole sub-tree takes the new
// keys, stays open, and what is made inside it afterwards is still followed.
TEST_F(FolderFollowTest, AnOpenedFolderRenamedKeepsItsSubTreeAndItsWatches) {
    MakeFolder(Key(L"A"));
    MakeFolder(Key(L"A\\inner"));
    MakeFile(Key(L"A\\inner\\x.xls"));
    MakeFolder(Key(L"A\\inner\\deeper"));
    Build();
    Node* a = Find(L"A");
    a->SetExpanded(true);
    FillSubFolders(*a, tree_, &watch_);
    Node* inner = Find(L"A\\inner");
    inner->SetExpanded(true);
    FillSubFolders(*inner, tree_, &watch_);
    Node* x = Find(L"A\\inner\\x.xls");
    tree_.Select(*x);
    ASSERT_TRUE(watch_.Watches(Key(L"A\\inner\\deeper")));

    ASSERT_EQ(ChangeDisk({L"ren", Key(L"A"), Key(L"甲")}), 0);
    EXPECT_LT(ApplyUntil([&] { return Find(L"甲") != nullptr; }), std::chrono::seconds(1));
    EXPECT_EQ(Find(L"甲"), a);
    EXPECT_EQ(a->Text(), L"甲");
    EXPECT_EQ(Find(L"甲\\inner"), inner);
    EXPECT_EQ(Find(L"甲\\inner\\x.xls"), x);
    EXPECT_EQ(Find(L"甲\\inner\\deeper"), inner->Child());
    EXPECT_EQ(Find(L"A\\inner\\x.xls"), nullptr);
    EXPECT_TRUE(a->Expanded());
    EXPECT_TRUE(inner->Expanded());
    EXPECT_EQ(tree_.SelectedItem(), x);
    EXPECT_TRUE(watch_.Watches(Key(L"甲\\inner\\deeper")));
    EXPECT_FALSE(watch_.Watches(Key(L"A\\inner")));
    EXPECT_TRUE(watch_.IsDeep(Key(L"甲")));

    ASSERT_EQ(ChangeDisk({L"file", Key(L"甲\\inner\\new.xls"), L"file", Key(L"甲\\inner\\deeper\\d.xls")}), 0);
    EXPECT_LT(ApplyUntil([&] { return Find(L"甲\\inner\\new.xls") && Find(L"甲\\inner\\deeper\\d.xls"); }),
              std::chrono::seconds(1));
    EXPECT_EQ(Children(tree_, Find(L"甲\\inner")), FreshChildren(L"甲\\inner"));
}

TEST_F(FolderFollowTest, ABurstOfTwoThousandFilesIsAFewUpdates) {
    MakeFolder(Key(L"burst"));
    MakeFile(Key(L"burst\\first.xls"));
    Build();
    tree_.Select(*Find(L"burst\\first.xls"));
    // The other process makes the files while the watches are asked every half second.
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + test::LibraryPath(L"diskchanger.exe") + L"\" files \"" + Key(L"burst") + L"\" 2000";
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    UniqueKernelHandle thread(process.hThread), changer(process.hProcess);
    int updates = 0;
    bool done = false;
    const auto start = Clock::now();
    while (!done && Clock::now() - start < std::chrono::seconds(60)) {
        ::Sleep(500);
        updates += ApplyFolderChanges(tree_, watch_);
        done = ::WaitForSingleObject(changer.get(), 0) == WAIT_OBJECT_0 && Find(L"burst")->Children() == 2001;
    }
    ASSERT_TRUE(done);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // One update of the folder each half second at most, whatever the number of files.
    EXPECT_LE(updates, static_cast<int>(seconds / 0.5) + 1);
    EXPECT_LE(updates, 12);
    ApplyFolderChanges(tree_, watch_);  // what was told last
    EXPECT_EQ(Children(tree_, Find(L"burst")), FreshChildren(L"burst"));
    EXPECT_EQ(tree_.SelectedItem(), Find(L"burst\\first.xls"));
}

// A watched folder keeps a handle open: deleted, it would stay on disk for as long as the
// watch does.
TEST_F(FolderFollowTest, WatchedFoldersDeletedElsewhereGoWithTheirWatches) {
    MakeFolder(Key(L"A"));
    MakeFolder(Key(L"A\\inner"));
    MakeFile(Key(L"A\\inner\\x.xls"));
    MakeFolder(Key(L"A\\inner\\deeper"));
    MakeFolder(Key(L"B"));
    MakeFile(Key(L"B\\b.xls"));
    MakeFile(Key(L"keep.xls"));
    Build();
    FillSubFolders(*Find(L"A"), tree_, &watch_);
    tree_.Select(*Find(L"keep.xls"));
    ASSERT_TRUE(watch_.Watches(Key(L"A\\inner")));
    ASSERT_EQ(watch_.Count(), 4u);

    // A folder the user expanded into, and a folder of the first level.
    ASSERT_EQ(ChangeDisk({L"rmtree", Key(L"A\\inner"), L"rmtree", Key(L"B")}), 0);
    EXPECT_LT(ApplyUntil([&] { return !Find(L"A\\inner") && !Find(L"B"); }), std::chrono::seconds(1));
    EXPECT_FALSE(FileSystem().FolderExists(Key(L"A\\inner")));
    EXPECT_FALSE(FileSystem().FolderExists(Key(L"B")));
    EXPECT_EQ(Find(L"A\\inner\\x.xls"), nullptr);
    EXPECT_EQ(Find(L"B\\b.xls"), nullptr);
    EXPECT_FALSE(watch_.Watches(Key(L"A\\inner")));
    EXPECT_FALSE(watch_.Watches(Key(L"B")));
    EXPECT_EQ(watch_.Count(), 2u);
    EXPECT_EQ(tree_.SelectedItem(), Find(L"keep.xls"));
    EXPECT_EQ(ChildTexts(L""), (std::vector<std::wstring>{L"A", L"keep.xls"}));
    // What is left is still followed.
    ASSERT_EQ(ChangeDisk({L"mkdir", Key(L"A\\again")}), 0);
    EXPECT_LT(ApplyUntil([&] { return Find(L"A\\again") != nullptr; }), std::chrono::seconds(1));
}

TEST_F(FolderFollowTest, TheRootDeletedElsewhereLeavesTheRootNodeOnly) {
    MakeFolder(Key(L"A"));
    MakeFile(Key(L"A\\a.xls"));
    MakeFile(Key(L"r.xls"));
    Build();
    ASSERT_EQ(watch_.Count(), 2u);
    // The first level's watched folder keeps the root from going until the pane lets go.
    ASSERT_EQ(ChangeDisk({L"rmtree", root_}, [&] { ApplyFolderChanges(tree_, watch_); }), 0);
    EXPECT_LT(ApplyUntil([&] { return tree_.Nodes().Count() == 1 && watch_.Count() == 0; }), std::chrono::seconds(1));
    EXPECT_FALSE(FileSystem().FolderExists(root_));  // the root's own watch let it go
    EXPECT_EQ(Find(L"")->Text(), L"根 目录");
    EXPECT_EQ(watch_.Count(), 0u);
    // Asked again and again, nothing more happens; the tree still takes a rebuild.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ApplyFolderChanges(tree_, watch_), 0);
    Build();
    EXPECT_EQ(tree_.Nodes().Count(), 1);
    EXPECT_EQ(watch_.Count(), 0u);
}

}  // namespace
}  // namespace cartulane::control
