// Moving in the folder tree: cut and paste, and drag and drop with the real pointer and
// OLE's own drag loop, within a tree, between the panes of two drives, from another
// program, and out onto the application. Files are real, on the test drive T: and, for
// moves across volumes, on drive V: of another file system.

#include "runtime/FileSystem.h"
#include "runtime/Handles.h"
#include "tests/support/FolderPaneFixture.h"

#include <atomic>
#include <thread>

namespace cartulane {
namespace {

using test::Snapshot;

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new test::ControlEnvironment);

class MoveTest : public test::FolderPaneFixture {
protected:
    // The centre of an item's label on the screen.
    POINT OnScreen(HWND tree, HTREEITEM item) {
        RECT r{};
        TreeView_GetItemRect(tree, item, &r, TRUE);
        POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ::ClientToScreen(tree, &at);
        return at;
    }
    static std::wstring Last(const test::MessageBoxes& boxes) {
        return boxes.Seen().empty() ? L"<none>" : boxes.Seen().back().text;
    }
    HTREEITEM DropHighlight() { return TreeView_GetDropHilight(folderTree_); }
    // 甲 with 内 and 账.xlsx, and 乙, in the pane's root.
    void TwoFoldersAndABook() {
        Folder(L"甲");
        Folder(L"甲\\内");
        Folder(L"乙");
        File(L"甲\\账.xlsx", "账");
        UseRoot(dir_->path());
    }

    // A stop of the hand: where it goes, and what it waits for there (both asked on its
    // thread as it gets there: the tree may have changed on the way).
    struct Stop {
        std::function<POINT()> at;
        std::function<bool()> reached;
    };
    std::function<POINT()> At(HWND tree, HTREEITEM item) {
        return [this, tree, item] { return OnScreen(tree, item); };
    }
    // A drag with the real pointer by a hand of its own thread, while this thread serves the
    // host (and, inside it, the drag loop): the left button goes down at from and the pointer
    // moves on until the drag has begun; the hand goes to each stop and waits there; then key
    // (VK_CONTROL, VK_SHIFT) goes down, and Esc when told, and the button goes up.
    void DragWithPointer(POINT from, std::vector<Stop> stops, WORD key = 0, bool escape = false) {
        const DWORD self = ::GetCurrentThreadId();
        HWND tree = folderTree_;
        // The user's hand is on this window: its thread has the keyboard.
        ::SetForegroundWindow(::GetAncestor(tree, GA_ROOT));
        ::SetFocus(tree);
        std::atomic<bool> done{false}, begun{false}, allReached{true};
        std::thread hand([&] {
            auto wait = [](const std::function<bool()>& condition) {
                for (const ULONGLONG until = ::GetTickCount64() + 20000; !condition();) {
                    if (::GetTickCount64() > until) return false;
                    ::Sleep(20);
                }
                return true;
            };
            // A press soon after the last one at the same place would be a double-click.
            ::Sleep(::GetDoubleClickTime() + 50);
            test::PointerTo(from);
            test::PointerTo(from, MOUSEEVENTF_LEFTDOWN);
            POINT now = from;
            // Past the drag threshold, along the label, until the drag loop has the pointer.
            begun = wait([&] {
                now.x += now.x < from.x + 12 ? 3 : 0;
                test::PointerTo(now);
                GUITHREADINFO info{sizeof(info)};
                return ::GetGUIThreadInfo(self, &info) && info.hwndCapture && info.hwndCapture != tree;
            });
            for (const Stop& stop : stops) {
                const POINT at = stop.at();
                test::SlidePointer(now, at);
                now = at;
                if (!wait([&] {
                        test::PointerTo(now);
                        return stop.reached();
                    }))
                    allReached = false;
            }
            // The keys once the pointer is still: Wine takes the modifiers anew from the X
            // server's pointer events, where no key is down.
            // A pointer event still on its way may take them back: they go down again until
            // the key is seen down.
            const auto keyDown = [&] {
                for (int tries = 0; tries < 20 && ::GetAsyncKeyState(key) >= 0; ++tries) {
                    test::PressKey(key, true);
                    ::Sleep(50);
                }
            };
            if (key) keyDown();
            if (escape) test::PressKey(VK_ESCAPE, true);
            ::Sleep(300);
            if (key) keyDown();
            test::PointerTo(now, MOUSEEVENTF_LEFTUP);
            ::Sleep(300);
            if (escape) test::PressKey(VK_ESCAPE, false);
            if (key) test::PressKey(key, false);
            done = true;
        });
        const bool ended = Until([&] { return done.load(); });
        hand.join();
        ASSERT_TRUE(ended);
        ASSERT_TRUE(begun) << "the drag began";
        ASSERT_TRUE(allReached) << "every stop of the hand was reached";
    }
    // The target highlighted under the hand.
    std::function<bool()> Highlighted(HWND tree, HTREEITEM item) {
        return [tree, item] { return TreeView_GetDropHilight(tree) == item; };
    }

    // Runs the other program that drags files onto a point of the screen, holding key
    // ("none", "shift", "ctrl") as it drops; its exit code, the effect it was told.
    DWORD DropFromAnotherProgram(POINT at, const wchar_t* key, const std::vector<std::wstring>& files) {
        std::vector<std::wstring> arguments{std::to_wstring(at.x), std::to_wstring(at.y), key};
        arguments.insert(arguments.end(), files.begin(), files.end());
        // This thread serves the drop target's calls while the other program drags.
        return test::RunProgram(L"dragsource.exe", arguments, [this] { host_.PumpMessages(); });
    }
};

TEST_F(MoveTest, ACutItemShowsCutAndAPasteMovesItOnOneVolumeAsTheSameFile) {
    TwoFoldersAndABook();
    const auto book = test::Identity(Path(L"甲\\账.xlsx"));
    test::MessageBoxes boxes(IDNO);

    // The root stays; Ctrl+X is the tree's, not the application's.
    Select({});
    ::SetFocus(folderTree_);
    Key('X', true);
    EXPECT_EQ(Last(boxes), L"不能剪切根目录！");
    Select({L"甲", L"账.xlsx"});
    const size_t hostKeys = host_.HostKeys().size();
    Key('X', true);
    EXPECT_EQ(host_.HostKeys().size(), hostKeys) << "the host saw no Ctrl+X";
    EXPECT_EQ(Last(boxes), L"已剪切文件:账.xlsx, 请选择要粘贴的文件夹，然后点击“粘贴”");
    EXPECT_TRUE(TreeView_GetItemState(folderTree_, Item({L"甲", L"账.xlsx"}), TVIS_CUT) & TVIS_CUT);

    // Into the folder that holds it: refused, nothing moves.
    Select({L"甲"});
    Press(L"粘贴");
    EXPECT_EQ(Last(boxes), L"复制粘贴所选择的文件及路径相同，无法完成复制粘贴操作！");
    EXPECT_TRUE(FileSystem().FileExists(Path(L"甲\\账.xlsx")));

    Select({L"乙"});
    Press(L"粘贴");
    EXPECT_EQ(Last(boxes), L"文件 账.xlsx 移动成功！");
    EXPECT_FALSE(FileSystem().FileExists(Path(L"甲\\账.xlsx")));
    EXPECT_EQ(test::Identity(Path(L"乙\\账.xlsx")), book) << "renamed, not copied";
    EXPECT_EQ(SelectedText(), L"账.xlsx") << "the moved item is shown";
    EXPECT_FALSE(TreeView_GetItemState(folderTree_, Item({L"乙", L"账.xlsx"}), TVIS_CUT) & TVIS_CUT);
    Press(L"粘贴");
    EXPECT_EQ(Last(boxes), L"请先选择要复制的文件或文件夹，然后点击“复制”！") << "a cut pastes once";

    // A folder cut, from the context menu: not into its own sub-folder; a copy then ends the cut.
    {
        test::MenuAnswer menu(L"剪切");
        RightClick({L"甲"});
        EXPECT_NE(std::find(menu.Items().begin(), menu.Items().end(), test::MenuAnswer::Item{L"剪切", false}),
                  menu.Items().end());
    }
    EXPECT_TRUE(TreeView_GetItemState(folderTree_, Item({L"甲"}), TVIS_CUT) & TVIS_CUT);
    Select({L"甲", L"内"});
    Press(L"粘贴");
    EXPECT_EQ(Last(boxes), L"不能将文件夹粘贴到它自身或其子文件夹中！");
    EXPECT_TRUE(TreeView_GetItemState(folderTree_, Item({L"甲"}), TVIS_CUT) & TVIS_CUT) << "still cut";
    Select({L"乙"});
    Key('C', true);
    EXPECT_FALSE(TreeView_GetItemState(folderTree_, Item({L"甲"}), TVIS_CUT) & TVIS_CUT);
    Select({L"甲"});
    Press(L"粘贴");
    EXPECT_TRUE(FileSystem().FolderExists(Path(L"乙"))) << "a copy is no move";
    EXPECT_TRUE(FileSystem().FileExists(Path(L"甲\\乙\\账.xlsx")));
}

TEST_F(MoveTest, AMoveToAnotherVolumeCopiesThenDeletesAndACancelLeavesTheSourceWhole) {
    if (!FileSystem().FolderExists(L"V:\\")) GTEST_SKIP() << "no drive V: on another file system";
    test::TempDir other(L"V:\\");
    // Enough files that the copy still runs when 取消 comes, half a second in and later on a
    // loaded machine: 1,800 were not always enough.
    Folder(L"大");
    for (int f = 0; f < 6; ++f) {
        Folder(L"大\\" + std::to_wstring(f));
        for (int i = 0; i < 1000; ++i)
            File(L"大\\" + std::to_wstring(f) + L"\\" + std::to_wstring(i) + L".xls", std::to_string(f * 1000 + i));
    }
    UseRoot(dir_->path());
    const auto original = Snapshot(Path(L"大"));
    test::MessageBoxes boxes(IDYES);
    Select({L"大"});
    ::SetFocus(folderTree_);
    Key('X', true);

    // The second pane shows drive V:; its paste moves what the first pane cut.
    HWND control = SecondPane();
    HWND tree = test::FindTrees(control).folder;
    ASSERT_NE(tree, nullptr);
    {
        test::FolderBrowserAnswer answer(other.path());
        ::SendMessageW(::FindWindowExW(control, nullptr, L"Button", L"换目录"), BM_CLICK, 0, 0);
        host_.PumpMessages();
    }
    TreeView_SelectItem(tree, TreeView_GetRoot(tree));
    ::SendMessageW(::FindWindowExW(control, nullptr, L"Button", L"粘贴"), BM_CLICK, 0, 0);
    HWND form = nullptr;
    ASSERT_TRUE(Until([&] { return (form = ::FindWindowW(L"Form", L"移动")) != nullptr; })) << test::Narrow(Last(boxes));
    ::SendMessageW(::FindWindowExW(form, nullptr, L"Button", L"取消"), BM_CLICK, 0, 0);
    AwaitFileWork(control);
    EXPECT_TRUE(Last(boxes).starts_with(L"移动已取消：已完成 ")) << test::Narrow(Last(boxes));
    EXPECT_TRUE(Last(boxes).ends_with(L"未移动完的项目都留在原处。"));
    EXPECT_EQ(Snapshot(Path(L"大")), original) << "the source is whole";
    for (const auto& entry : Snapshot(other / L"大"))
        EXPECT_NE(std::find(original.begin(), original.end(), entry), original.end()) << test::Narrow(entry.first);

    // Again, replacing what the first try copied: all of it moves.
    ::SendMessageW(::FindWindowExW(control, nullptr, L"Button", L"粘贴"), BM_CLICK, 0, 0);
    host_.PumpMessages();
    ASSERT_TRUE(Until([&] { return Last(boxes) == L"文件 大 移动成功！"; }));
    AwaitFileWork(control);
    EXPECT_FALSE(FileSystem().FolderExists(Path(L"大")));
    EXPECT_EQ(Snapshot(other / L"大"), original);
    EXPECT_TRUE(Until([&] { return !test::FindItem(folderTree_, TreeView_GetRoot(folderTree_), L"大"); }))
        << "the first pane follows";
}

TEST_F(MoveTest, ANodeDraggedOntoAFolderMovesOnOneDriveCopiesWithCtrlAndOpensAHoveredFolder) {
    Folder(L"甲");
    Folder(L"乙");
    Folder(L"丙");
    Folder(L"丙\\深");
    File(L"甲\\账.xlsx", "账");
    File(L"甲\\表.xls", "表");
    UseRoot(dir_->path());
    const auto book = test::Identity(Path(L"甲\\账.xlsx"));
    test::MessageBoxes boxes;

    HTREEITEM target = Item({L"乙"});
    DragWithPointer(OnScreen(folderTree_, Item({L"甲", L"账.xlsx"})),
                    {{At(folderTree_, target), Highlighted(folderTree_, target)}});
    ASSERT_TRUE(Until([&] { return !boxes.Seen().empty(); }));
    AwaitFileWork();
    EXPECT_EQ(Last(boxes), L"文件 账.xlsx 移动成功！");
    EXPECT_EQ(test::Identity(Path(L"乙\\账.xlsx")), book) << "moved as the same file";
    EXPECT_FALSE(FileSystem().FileExists(Path(L"甲\\账.xlsx")));
    EXPECT_EQ(DropHighlight(), nullptr) << "no highlight is left";

    // With Ctrl a copy, into a folder the hand opens by hovering over its parent.
    HTREEITEM parent = Item({L"丙"});
    TreeView_Expand(folderTree_, parent, TVE_COLLAPSE);
    ASSERT_FALSE(TreeView_GetItemState(folderTree_, parent, TVIS_EXPANDED) & TVIS_EXPANDED);
    HWND tree = folderTree_;
    std::atomic<HTREEITEM> deep{nullptr};
    DragWithPointer(OnScreen(folderTree_, Item({L"甲", L"表.xls"})),
                    {{At(folderTree_, parent),
                      [&] {
                          if (!(TreeView_GetItemState(tree, parent, TVIS_EXPANDED) & TVIS_EXPANDED)) return false;
                          deep = test::FindItem(tree, parent, L"深");
                          return deep.load() != nullptr;
                      }},
                     {[&] { return OnScreen(tree, deep); }, [&] { return TreeView_GetDropHilight(tree) == deep.load(); }}},
                    VK_CONTROL);
    ASSERT_TRUE(Until([&] { return boxes.Seen().size() == 2; }));
    AwaitFileWork();
    EXPECT_EQ(Last(boxes), L"文件 表.xls 粘贴成功！");
    EXPECT_EQ(test::ReadFile(Path(L"丙\\深\\表.xls")), "表");
    EXPECT_EQ(test::ReadFile(Path(L"甲\\表.xls")), "表") << "a copy leaves the original";
}

TEST_F(MoveTest, ADragOntoItselfItsOwnFolderOrAFileOrEndedWithEscChangesNothing) {
    TwoFoldersAndABook();
    const auto before = Snapshot(dir_->path());
    test::MessageBoxes boxes;
    HWND tree = folderTree_;
    HTREEITEM folder = Item({L"甲"}), inner = Item({L"甲", L"内"}), other = Item({L"乙"}), book = Item({L"甲", L"账.xlsx"});
    auto none = [tree] { return TreeView_GetDropHilight(tree) == nullptr; };

    // A folder into its own sub-folder, and onto itself: first over a folder that takes it,
    // then where nothing is highlighted.
    DragWithPointer(OnScreen(tree, folder), {{At(tree, other), Highlighted(tree, other)}, {At(tree, inner), none}});
    DragWithPointer(OnScreen(tree, folder), {{At(tree, other), Highlighted(tree, other)}, {At(tree, folder), none}});
    // A file into the folder that holds it, and onto a file.
    DragWithPointer(OnScreen(tree, book), {{At(tree, other), Highlighted(tree, other)}, {At(tree, folder), none}});
    DragWithPointer(OnScreen(tree, folder), {{At(tree, other), Highlighted(tree, other)}, {At(tree, book), none}});
    // Esc over a folder that would take it.
    DragWithPointer(OnScreen(tree, book), {{At(tree, other), Highlighted(tree, other)}}, 0, true);
    Serve(std::chrono::milliseconds(300));
    AwaitFileWork();
    EXPECT_EQ(Last(boxes), L"<none>");
    EXPECT_EQ(Snapshot(dir_->path()), before);
    EXPECT_EQ(DropHighlight(), nullptr);
}

TEST_F(MoveTest, FilesDroppedByAnotherProgramAreCopiedOrWithShiftMovedAndNotOntoTheirOwnFolder) {
    Folder(L"外");
    Folder(L"收");
    File(L"外\\一.xlsx", "一");
    File(L"外\\二.xls", "二");
    UseRoot(dir_->path());
    const std::vector<std::wstring> files = {Path(L"外\\一.xlsx"), Path(L"外\\二.xls")};
    test::MessageBoxes boxes;

    EXPECT_EQ(DropFromAnotherProgram(OnScreen(folderTree_, Item({L"外"})), L"none", files), DWORD{DROPEFFECT_NONE})
        << "their own folder takes no drop";
    EXPECT_EQ(DropFromAnotherProgram(OnScreen(folderTree_, Item({L"收"})), L"none", files), DWORD{DROPEFFECT_COPY});
    ASSERT_TRUE(Until([&] { return !boxes.Seen().empty(); }));
    AwaitFileWork();
    EXPECT_EQ(Texts(boxes), std::vector<std::wstring>{L"2 个项目粘贴成功！"});
    EXPECT_EQ(test::ReadFile(Path(L"收\\一.xlsx")), "一");
    EXPECT_EQ(test::ReadFile(Path(L"收\\二.xls")), "二");
    EXPECT_TRUE(FileSystem().FileExists(files[0]));

    // With Shift a move, done here: the other program is told no move happened, so that it
    // removes nothing itself. The names are there now: the question names both first.
    boxes.SetAnswer(IDYES);
    const auto one = test::Identity(files[0]);
    EXPECT_EQ(DropFromAnotherProgram(OnScreen(folderTree_, Item({L"收"})), L"shift", files), DWORD{DROPEFFECT_NONE});
    ASSERT_TRUE(Until([&] { return boxes.Seen().size() == 3; }));
    AwaitFileWork();
    EXPECT_EQ(boxes.Seen()[1].text, L"目标文件夹中已有同名的项目：" + Path(L"收\\一.xlsx") + L"\n" + Path(L"收\\二.xls") +
                                        L"\n是否替换？") << "each item that would be replaced is named";
    EXPECT_EQ(boxes.Seen()[2].text, L"2 个项目移动成功！");
    EXPECT_FALSE(FileSystem().FileExists(files[0]));
    EXPECT_FALSE(FileSystem().FileExists(files[1]));
    EXPECT_EQ(test::Identity(Path(L"收\\一.xlsx")), one);
}

TEST_F(MoveTest, AWorkbookDraggedOntoTheApplicationIsOpenedThereAndStaysWhereItWas) {
    File(L"账.xlsx", "账");
    UseRoot(dir_->path());
    RECT area{};
    ::GetWindowRect(host_.WorkbookArea(), &area);
    const POINT middle{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    int looks = 0;
    DragWithPointer(OnScreen(folderTree_, Item({L"账.xlsx"})), {{[middle] { return middle; }, [&] { return ++looks > 5; }}});
    ASSERT_TRUE(Until([&] { return !host_.App().OpenWorkbooks().empty(); }));
    EXPECT_EQ(host_.App().OpenWorkbooks().front()->Path(), Path(L"账.xlsx"));
    EXPECT_TRUE(FileSystem().FileExists(Path(L"账.xlsx")));
}

}  // namespace
}  // namespace cartulane
