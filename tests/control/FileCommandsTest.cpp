// TestControl's file commands and the folder tree's own interaction, through a real
// control in a sheethost pane, on real folders of the test drive T:, with the message
// boxes, input boxes and folder browser answered as a user would. Where a command is
// refused, the disk is compared before and after.

#include "runtime/Dispatch.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"
#include "tests/support/FolderPaneFixture.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

namespace cartulane {
namespace {

using test::Snapshot;
using test::WindowText;

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new test::ControlEnvironment);

constexpr wchar_t kInvalidName[] = L"文件名无效，不能包含下列字符之一：\\ / : * ? \" < > |";

using FileCommandsTest = test::FolderPaneFixture;

// First of all: in this program nothing has been copied yet.
TEST_F(FileCommandsTest, APasteBeforeAnyCopyIsRefusedAndACopyWithoutASelectionToo) {
    Folder(L"目标");
    UseRoot(dir_->path());
    const auto before = Snapshot(dir_->path());
    test::MessageBoxes boxes;
    Select({L"目标"});
    Press(L"粘贴");
    TreeView_SelectItem(folderTree_, nullptr);
    Press(L"复制");
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{L"请先选择要复制的文件或文件夹，然后点击“复制”！",
                                                      L"您没有选择要复制的文件！"}));
    for (const auto& box : boxes.Seen()) {
        EXPECT_EQ(box.title, L"提示");
        EXPECT_TRUE(box.information);
    }
    EXPECT_EQ(Snapshot(dir_->path()), before);

    // The context menu has nothing to paste either.
    test::MenuAnswer menu(L"");
    RightClick({L"目标"});
    ASSERT_EQ(menu.Shown(), 1);
    const std::vector<test::MenuAnswer::Item> expected = {
        {L"打开", true}, {L"新建", false}, {L"剪切", false}, {L"复制", false}, {L"粘贴", true},
        {L"删除", false}, {L"重命名", false}, {L"刷新", false}};
    EXPECT_EQ(menu.Items(), expected);
    EXPECT_EQ(SelectedText(), L"目标") << "the right button chose the node";
}

TEST_F(FileCommandsTest, WhileTheFolderIsChosenTheApplicationWaitsAndASecondChoiceDoesNotStart) {
    Folder(L"根");
    bool enabledMeanwhile = true;
    int browsers = 0;
    test::DialogWatcher watcher([&](HWND dialog) {
        if (::GetDlgItem(dialog, 0xFFFF)) return;  // a message box
        ++browsers;
        enabledMeanwhile = ::IsWindowEnabled(host_.Hwnd()) != FALSE;
        ::SendMessageW(Child(L"换目录"), BM_CLICK, 0, 0);  // the pane's own button is disabled with it
    });
    UseRoot(Path(L"根"));
    EXPECT_FALSE(enabledMeanwhile);
    EXPECT_EQ(browsers, 1);
    EXPECT_TRUE(::IsWindowEnabled(host_.Hwnd()));
}

TEST_F(FileCommandsTest, OneCopyPastesIntoTwoFoldersAndIntoASecondPane) {
    Folder(L"报表");
    Folder(L"报表\\月份");
    File(L"报表\\一月.xlsx", "一月");
    File(L"报表\\月份\\二月.xls", "二月");
    Folder(L"甲");
    Folder(L"乙");
    Folder(L"丙");
    UseRoot(dir_->path());
    test::MessageBoxes boxes;
    Select({L"报表"});
    Press(L"复制");
    Select({L"甲"});
    Press(L"粘贴");
    EXPECT_EQ(SelectedText(), L"报表") << "the pasted copy is shown";
    EXPECT_EQ(test::ItemText(folderTree_, TreeView_GetParent(folderTree_, TreeView_GetSelection(folderTree_))), L"甲");
    Select({L"乙"});
    Press(L"粘贴");
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{L"已复制文件:报表, 请选择要粘贴的文件夹，然后点击“粘贴”",
                                                      L"文件 报表 粘贴成功！", L"文件 报表 粘贴成功！"}));
    const auto original = Snapshot(Path(L"报表"));
    EXPECT_EQ(Snapshot(Path(L"甲\\报表")), original);
    EXPECT_EQ(Snapshot(Path(L"乙\\报表")), original);

    // A pane of its own on the same thread pastes the same copy.
    HWND control = SecondPane();
    HWND tree = test::FindTrees(control).folder;
    ASSERT_NE(tree, nullptr);
    TreeView_SelectItem(tree, test::FindItem(tree, TreeView_GetRoot(tree), L"丙"));
    ::SendMessageW(::FindWindowExW(control, nullptr, L"Button", L"粘贴"), BM_CLICK, 0, 0);
    host_.PumpMessages();
    AwaitFileWork(control);
    EXPECT_EQ(Snapshot(Path(L"丙\\报表")), original);
}

TEST_F(FileCommandsTest, APasteThatWouldLoopOrLoseIsRefusedAndAReplacementAsked) {
    Folder(L"A");
    Folder(L"A\\内");
    File(L"A\\a.xlsx", "a");
    Folder(L"G");
    File(L"G\\a.xlsx", "旧");
    Folder(L"G\\A");
    File(L"G\\A\\留下.xls", "留");
    File(L"G\\A\\a.xlsx", "旧");
    UseRoot(dir_->path());
    const auto before = Snapshot(dir_->path());
    test::MessageBoxes boxes(IDNO);

    Select({L"A"});
    Press(L"复制");
    Select({L"A"});
    Press(L"粘贴");  // into itself
    Select({L"A", L"内"});
    Press(L"粘贴");  // into its own sub-folder
    Select({L"A", L"a.xlsx"});
    Press(L"复制");
    Select({L"A"});
    Press(L"粘贴");  // into the folder that holds it
    Select({L"G", L"a.xlsx"});
    Press(L"粘贴");  // onto a file
    Select({L"G"});
    Press(L"粘贴");  // the same name is there: No
    EXPECT_EQ(Snapshot(dir_->path()), before);
    const std::vector<std::wstring> refused = {
        L"不能将文件夹粘贴到它自身或其子文件夹中！", L"不能将文件夹粘贴到它自身或其子文件夹中！",
        L"复制粘贴所选择的文件及路径相同，无法完成复制粘贴操作！", L"请选择要进行粘贴的文件夹！",
        L"目标文件夹中已有同名的项目：" + Path(L"G\\a.xlsx") + L"\n是否替换？"};
    auto texts = Texts(boxes);
    texts.erase(std::remove_if(texts.begin(), texts.end(), [](const std::wstring& t) { return t.starts_with(L"已复制"); }),
                texts.end());
    EXPECT_EQ(texts, refused);
    EXPECT_TRUE(boxes.Seen().back().question);
    EXPECT_EQ(boxes.Seen().back().buttons, (std::vector<int>{IDYES, IDNO}));

    // Yes: the file is replaced; a folder is merged, what only the destination had stays.
    boxes.SetAnswer(IDYES);
    Press(L"粘贴");
    EXPECT_EQ(test::ReadFile(Path(L"G\\a.xlsx")), "a");
    Select({L"A"});
    Press(L"复制");
    Select({L"G"});
    Press(L"粘贴");
    EXPECT_EQ(test::ReadFile(Path(L"G\\A\\a.xlsx")), "a");
    EXPECT_EQ(test::ReadFile(Path(L"G\\A\\留下.xls")), "留");
    EXPECT_TRUE(FileSystem().FolderExists(Path(L"G\\A\\内")));
}

TEST_F(FileCommandsTest, APasteThatFailsIsReportedWithTheReasonAndTheTreeStillRefreshes) {
    Folder(L"源");
    File(L"源\\锁定.xlsx", "locked");
    File(L"源\\消失.xls", "gone");
    Folder(L"目标");
    UseRoot(dir_->path());
    test::MessageBoxes boxes;

    // The copied file vanished before the paste.
    Select({L"源", L"消失.xls"});
    Press(L"复制");
    ASSERT_TRUE(::DeleteFileW(Path(L"源\\消失.xls").c_str()));
    Select({L"目标"});
    Press(L"粘贴");
    ASSERT_FALSE(boxes.Seen().empty());
    EXPECT_TRUE(boxes.Seen().back().text.starts_with(L"粘贴失败：" + Path(L"目标\\消失.xls") + L"\n"));
    EXPECT_GT(boxes.Seen().back().text.size(), (L"粘贴失败：" + Path(L"目标\\消失.xls") + L"\n").size());
    EXPECT_EQ(test::Children(folderTree_, Item({L"源"})), std::vector<std::wstring>{L"锁定.xlsx"}) << "refreshed";

    // A file held open without sharing cannot be read.
    UniqueFile held(::CreateFileW(ExtendedPath(Path(L"源\\锁定.xlsx")).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    Select({L"源", L"锁定.xlsx"});
    Press(L"复制");
    Select({L"目标"});
    Press(L"粘贴");
    EXPECT_TRUE(boxes.Seen().back().text.starts_with(L"粘贴失败：" + Path(L"目标\\锁定.xlsx") + L"\n"));
    EXPECT_FALSE(FileSystem().FileExists(Path(L"目标\\锁定.xlsx")));
}

TEST_F(FileCommandsTest, DeleteAsksThenRemovesForGoodOrReportsWhatItCouldNotDelete) {
    Folder(L"旧");
    Folder(L"旧\\深");
    File(L"旧\\深\\a.xls");
    File(L"b.xlsx");
    Folder(L"只读");
    File(L"只读\\c.xlsx");
    ASSERT_TRUE(::SetFileAttributesW(Path(L"只读\\c.xlsx").c_str(), FILE_ATTRIBUTE_READONLY));
    File(L"打开着.xlsx");
    UseRoot(dir_->path());
    test::MessageBoxes boxes(IDNO);

    Select({L"b.xlsx"});
    Press(L"删除");
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, L"确定要删除： " + Path(L"b.xlsx") + L" ?");
    EXPECT_EQ(boxes.Seen()[0].buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_FALSE(boxes.Seen()[0].icon);
    EXPECT_TRUE(FileSystem().FileExists(Path(L"b.xlsx")));

    boxes.SetAnswer(IDYES);
    Press(L"删除");
    EXPECT_FALSE(FileSystem().FileExists(Path(L"b.xlsx")));
    EXPECT_EQ(SelectedText(), test::ItemText(folderTree_, TreeView_GetRoot(folderTree_))) << "its folder is shown";
    Select({L"旧"});
    Press(L"删除");
    EXPECT_FALSE(FileSystem().FolderExists(Path(L"旧")));

    // A read-only file inside stops the deletion; a file held open cannot go either.
    const size_t seen = boxes.Seen().size();
    Select({L"只读"});
    Press(L"删除");
    ASSERT_EQ(boxes.Seen().size(), seen + 2);
    EXPECT_TRUE(boxes.Seen()[seen + 1].text.starts_with(L"删除失败：" + Path(L"只读") + L"\n"));
    EXPECT_TRUE(boxes.Seen()[seen + 1].information);
    EXPECT_TRUE(FileSystem().FileExists(Path(L"只读\\c.xlsx")));
    UniqueFile held(::CreateFileW(ExtendedPath(Path(L"打开着.xlsx")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr));
    Select({L"打开着.xlsx"});
    Press(L"删除");
    EXPECT_TRUE(boxes.Seen().back().text.starts_with(L"删除失败：" + Path(L"打开着.xlsx") + L"\n"));
    EXPECT_TRUE(FileSystem().FileExists(Path(L"打开着.xlsx")));
    ::SetFileAttributesW(Path(L"只读\\c.xlsx").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileCommandsTest, RenamingALabelRenamesOnDiskOrRefusesWithAReason) {
    Folder(L"资料");
    File(L"资料\\report.xls", "r");
    File(L"资料\\已有.xlsx");
    UseRoot(dir_->path());
    test::MessageBoxes boxes;
    auto rename = [&](std::initializer_list<std::wstring> node, const std::wstring& typed) {
        Select(node);
        HWND edit = TreeView_EditLabel(folderTree_, Item(node));
        ASSERT_NE(edit, nullptr);
        ::SetWindowTextW(edit, typed.c_str());
        TreeView_EndEditLabelNow(folderTree_, FALSE);
        host_.PumpMessages();
    };
    rename({L"资料", L"report.xls"}, L"年度 报告.xls");
    EXPECT_EQ(test::ReadFile(Path(L"资料\\年度 报告.xls")), "r");
    EXPECT_FALSE(FileSystem().FileExists(Path(L"资料\\report.xls")));
    EXPECT_EQ(SelectedText(), L"年度 报告.xls");
    EXPECT_TRUE(boxes.Seen().empty());

    const auto before = Snapshot(dir_->path());
    for (const wchar_t* bad : {L"", L".", L"..", L"a/b.xls", L"..\\x.xls", L"c:d.xls", L"a?.xls", L"CON", L"尾.xls.",
                               L"COM0.xls", L"lpt0", L"COM\u00B9.xlsx", L"Lpt\u00B3", L"CONIN$", L"conout$.xls", L"aux .xls"}) {
        rename({L"资料", L"年度 报告.xls"}, bad);
        ASSERT_FALSE(boxes.Seen().empty()) << test::Narrow(bad);
        EXPECT_EQ(boxes.Seen().back().text, kInvalidName) << test::Narrow(bad);
        EXPECT_TRUE(test::FindItem(folderTree_, Item({L"资料"}), L"年度 报告.xls")) << "the label is back";
    }
    rename({L"资料", L"年度 报告.xls"}, L"已有.xlsx");
    EXPECT_TRUE(boxes.Seen().back().text.starts_with(L"重命名失败：" + Path(L"资料\\年度 报告.xls") + L"\n"));
    {
        UniqueFile held(::CreateFileW(ExtendedPath(Path(L"资料\\年度 报告.xls")).c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        rename({L"资料", L"年度 报告.xls"}, L"别名.xls");
        EXPECT_TRUE(boxes.Seen().back().text.starts_with(L"重命名失败：")) << test::Narrow(boxes.Seen().back().text);
    }
    EXPECT_EQ(Snapshot(dir_->path()), before);
    auto listed = test::Children(folderTree_, Item({L"资料"}));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::wstring>{L"已有.xlsx", L"年度 报告.xls"}));

    // An edit that the user ends by choosing another node renames the node edited.
    Select({L"资料", L"已有.xlsx"});
    HWND box = TreeView_EditLabel(folderTree_, Item({L"资料", L"已有.xlsx"}));
    ASSERT_NE(box, nullptr);
    ::SetWindowTextW(box, L"已改.xlsx");
    TreeView_EndEditLabelNow(folderTree_, FALSE);
    TreeView_SelectItem(folderTree_, Item({L"资料", L"年度 报告.xls"}));  // before the rename runs
    host_.PumpMessages();
    EXPECT_TRUE(FileSystem().FileExists(Path(L"资料\\已改.xlsx")));
    EXPECT_TRUE(FileSystem().FileExists(Path(L"资料\\年度 报告.xls")));

    // The root's label is not edited at all; F2 starts the edit of another node.
    EXPECT_EQ(TreeView_EditLabel(folderTree_, TreeView_GetRoot(folderTree_)), nullptr);
    Select({L"资料"});
    ::SetFocus(folderTree_);
    Key(VK_F2);
    HWND edit = TreeView_GetEditControl(folderTree_);
    ASSERT_NE(edit, nullptr);
    TreeView_EndEditLabelNow(folderTree_, TRUE);
    host_.PumpMessages();
}

TEST_F(FileCommandsTest, ANewWorkbookFileIsSavedByTheApplicationUnderACheckedName) {
    Folder(L"新");
    File(L"新\\a.xls");
    Folder(L"别处");
    UseRoot(dir_->path());
    Connect();
    test::MessageBoxes boxes;
    test::InputBoxAnswer input(L"保存命名", L"plan");
    Select({L"新", L"a.xls"});
    Press(L"新建");
    ASSERT_EQ(input.Seen().size(), 1u);
    EXPECT_EQ(input.Seen()[0].prompt, L"请输入新建Excel文件的名称：");
    EXPECT_EQ(input.Seen()[0].defaultText, L"NewExcel");
    EXPECT_TRUE(input.Seen()[0].defaultSelected);
    EXPECT_TRUE(FileSystem().FileExists(Path(L"新\\plan.xlsx")));
    EXPECT_EQ(Texts(boxes), std::vector<std::wstring>{L"文件新建成功！文件路径为： " + Path(L"新\\plan.xlsx")});
    EXPECT_EQ(SelectedText(), L"plan.xlsx");
    ASSERT_NE(host_.App().Find(L"plan.xlsx"), nullptr) << "the new workbook stays open under its name";

    // The format goes with the extension whatever the user saves in by default; an
    // extension typed already is kept; the application of 2003 saves .xls in its format.
    EXPECT_EQ(test::ReadFile(Path(L"新\\plan.xlsx")), "sheethost workbook\r\nformat 51\r\n");
    host_.App().SetDefaultSaveFormat(56);
    input.Set(L"Sum.XLSX");
    Select({L"新"});
    Press(L"新建");
    EXPECT_EQ(test::ReadFile(Path(L"新\\Sum.XLSX")), "sheethost workbook\r\nformat 51\r\n");
    host_.App().SetVersion(L"11.0");
    input.Set(L"old");
    Press(L"新建");
    EXPECT_EQ(test::ReadFile(Path(L"新\\old.xls")), "sheethost workbook\r\nformat -4143\r\n");
    host_.App().SetVersion(L"14.0");  // as the fixture has it

    // Refused: nothing typed, Cancel, a name that cannot be a file's, a file that exists.
    const auto before = Snapshot(dir_->path());
    const size_t books = host_.App().OpenWorkbooks().size();
    const size_t seen = boxes.Seen().size();
    for (const wchar_t* typed : {L"   ", L"..", L"..\\别处\\x", L"a:b", L"plan"}) {
        input.Set(typed);
        Select({L"新"});
        Press(L"新建");
    }
    input.Set(L"", true);
    Press(L"新建");
    const auto texts = Texts(boxes);
    EXPECT_EQ(std::vector<std::wstring>(texts.begin() + seen, texts.end()),
              (std::vector<std::wstring>{L"文件名不能为空！", kInvalidName, kInvalidName, kInvalidName,
                                         L"文件已存在：" + Path(L"新\\plan.xlsx"), L"文件名不能为空！"}));
    EXPECT_EQ(Snapshot(dir_->path()), before);
    EXPECT_EQ(host_.App().OpenWorkbooks().size(), books);

    // A save the application refuses is reported, and the workbook made for it goes again.
    input.Set(L"Sum");  // "Sum.xlsx" is open already under that name
    Select({L"别处"});
    Press(L"新建");
    ASSERT_EQ(boxes.Seen().size(), seen + 7);
    EXPECT_TRUE(boxes.Seen().back().text.starts_with(L"文件新建失败：" + Path(L"别处\\Sum.xlsx") + L"\n"));
    EXPECT_NE(boxes.Seen().back().text.find(L"same name"), std::wstring::npos) << "the application's own reason";
    EXPECT_EQ(host_.App().OpenWorkbooks().size(), books);
    EXPECT_FALSE(FileSystem().FileExists(Path(L"别处\\Sum.xlsx")));

    // A workbook's extension typed is kept, and the file saved in its format; the
    // application of 2003 saves none but its own.
    input.Set(L"plan.xls");
    Select({L"别处"});
    Press(L"新建");
    EXPECT_EQ(test::ReadFile(Path(L"别处\\plan.xls")), "sheethost workbook\r\nformat 56\r\n");
    input.Set(L"宏.xlsm");
    Press(L"新建");
    EXPECT_EQ(test::ReadFile(Path(L"别处\\宏.xlsm")), "sheethost workbook\r\nformat 52\r\n");
    host_.App().SetVersion(L"11.0");
    input.Set(L"新式.xlsx");
    Press(L"新建");
    EXPECT_EQ(boxes.Seen().back().text, L"此版本的Excel不能保存该格式的文件：新式.xlsx");
    EXPECT_FALSE(FileSystem().FileExists(Path(L"别处\\新式.xlsx")));
    host_.App().SetVersion(L"14.0");  // as the fixture has it
    // A path the application could not open is refused.
    const std::wstring name(218 - Path(L"别处\\").size() - 4, L'长');
    input.Set(name);
    Press(L"新建");
    EXPECT_EQ(boxes.Seen().back().text, L"文件路径超过218个字符，Excel无法打开：" + Path(L"别处\\" + name + L".xlsx"));
    EXPECT_FALSE(FileSystem().FileExists(Path(L"别处\\" + name + L".xlsx")));
    input.Set(name.substr(1));  // 218 exactly
    Press(L"新建");
    EXPECT_TRUE(FileSystem().FileExists(Path(L"别处\\" + name.substr(1) + L".xlsx")));
}

// Paths longer than MAX_PATH, of Chinese names, deep below the root.
TEST_F(FileCommandsTest, TheCommandsWorkOnPathsLongerThanTheOldLimit) {
    const std::wstring level = L"年度财务报表汇总资料目录年度财务报表汇总资料目录年度财务报表汇总资料目录第";
    std::wstring deep;
    for (int i = 1; i <= 6; ++i) {
        deep += (deep.empty() ? L"" : L"\\") + level + std::to_wstring(i) + L"级";
        Folder(deep);
    }
    Folder(deep + L"\\目标文件夹");
    File(deep + L"\\长路径的工作簿.xlsx", "长");
    ASSERT_GT(Path(deep + L"\\长路径的工作簿.xlsx").size(), 260u);
    UseRoot(dir_->path());
    test::MessageBoxes boxes(IDYES);
    std::initializer_list<std::wstring> folder = {level + L"1级", level + L"2级", level + L"3级", level + L"4级",
                                                  level + L"5级", level + L"6级"};
    std::vector<std::wstring> path(folder);
    auto at = [&](std::vector<std::wstring> texts) {
        HTREEITEM item = TreeView_GetRoot(folderTree_);
        for (const std::wstring& text : texts) {
            TreeView_Expand(folderTree_, item, TVE_EXPAND);
            item = test::FindItem(folderTree_, item, text);
            if (!item) return item;
        }
        return item;
    };
    auto withName = [&](const std::wstring& name) {
        std::vector<std::wstring> texts = path;
        texts.push_back(name);
        return texts;
    };
    HTREEITEM file = at(withName(L"长路径的工作簿.xlsx"));
    ASSERT_NE(file, nullptr);
    TreeView_SelectItem(folderTree_, file);
    Press(L"复制");
    TreeView_SelectItem(folderTree_, at(withName(L"目标文件夹")));
    Press(L"粘贴");
    EXPECT_EQ(test::ReadFile(Path(deep + L"\\目标文件夹\\长路径的工作簿.xlsx")), "长");
    EXPECT_EQ(SelectedText(), L"长路径的工作簿.xlsx");

    // A folder this deep is renamed; a workbook here is not, as the application could not
    // open it under its new name (nor under its old one).
    auto rename = [&](HTREEITEM item, const wchar_t* typed) {
        TreeView_SelectItem(folderTree_, item);
        HWND edit = TreeView_EditLabel(folderTree_, item);
        ASSERT_NE(edit, nullptr);
        ::SetWindowTextW(edit, typed);
        TreeView_EndEditLabelNow(folderTree_, FALSE);
        host_.PumpMessages();
    };
    rename(TreeView_GetSelection(folderTree_), L"改名后的工作簿.xlsx");
    const std::wstring renamed = Path(deep + L"\\目标文件夹\\改名后的工作簿.xlsx");
    EXPECT_EQ(boxes.Seen().back().text, L"文件路径超过218个字符，Excel无法打开：" + renamed);
    EXPECT_FALSE(FileSystem().FileExists(renamed));
    rename(at(withName(L"目标文件夹")), L"目标");
    EXPECT_EQ(test::ReadFile(Path(deep + L"\\目标\\长路径的工作簿.xlsx")), "长");

    TreeView_SelectItem(folderTree_, at(withName(L"目标")));
    Press(L"删除");
    EXPECT_FALSE(FileSystem().FolderExists(Path(deep + L"\\目标")));
    EXPECT_TRUE(FileSystem().FileExists(Path(deep + L"\\长路径的工作簿.xlsx")));
    for (const auto& box : boxes.Seen()) EXPECT_FALSE(box.text.starts_with(L"删除失败")) << test::Narrow(box.text);
}

TEST_F(FileCommandsTest, ADoubleClickOrEnterOpensTheWorkbookButNotAFolderOrAVanishedFile) {
    Folder(L"f");
    File(L"f\\账簿.xlsx");
    File(L"账簿.xlsx");
    File(L"没了.xls");
    UseRoot(dir_->path());
    Connect();
    test::MessageBoxes boxes;
    auto doubleClick = [&](std::initializer_list<std::wstring> node) {
        Select(node);
        RECT r{};
        TreeView_GetItemRect(folderTree_, Item(node), &r, TRUE);
        ::SendMessageW(folderTree_, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
        host_.PumpMessages();
    };
    doubleClick({L"f"});
    ASSERT_HRESULT_SUCCEEDED(::DeleteFileW(Path(L"没了.xls").c_str()) ? S_OK : E_FAIL);
    doubleClick({L"没了.xls"});
    EXPECT_TRUE(host_.App().OpenWorkbooks().empty());
    doubleClick({L"账簿.xlsx"});
    ASSERT_EQ(host_.App().OpenWorkbooks().size(), 1u);
    EXPECT_EQ(host_.App().OpenWorkbooks()[0]->Path(), Path(L"账簿.xlsx"));
    ASSERT_HRESULT_SUCCEEDED(host_.App().CloseWorkbook(host_.App().OpenWorkbooks()[0].Get(), false, nullptr));

    ::SetFocus(folderTree_);
    Select({L"账簿.xlsx"});
    Key(VK_RETURN);
    EXPECT_EQ(host_.App().OpenWorkbooks().size(), 1u);
    EXPECT_TRUE(host_.HostKeys().empty());
    EXPECT_TRUE(boxes.Seen().empty());

    // An open the application refuses is told with its reason: another workbook of that
    // name is open.
    doubleClick({L"f", L"账簿.xlsx"});
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_TRUE(boxes.Seen()[0].text.starts_with(L"文件打开失败：" + Path(L"f\\账簿.xlsx") + L"\n"));
    EXPECT_NE(boxes.Seen()[0].text.find(L"same name"), std::wstring::npos);
    EXPECT_EQ(host_.App().OpenWorkbooks().size(), 1u);
}

TEST_F(FileCommandsTest, ExpandingAFolderListsExactlyOneMoreLevel) {
    Folder(L"一");
    Folder(L"一\\二");
    Folder(L"一\\二\\三");
    Folder(L"一\\二\\三\\四");
    Folder(L"一\\二\\三\\四\\五");
    Folder(L"一\\乙");
    Folder(L"一\\乙\\丙");
    Folder(L"一\\乙\\丙\\丁");
    UseRoot(dir_->path());
    // The root's children and grandchildren come with the build: opening it adds nothing.
    const UINT built = TreeView_GetCount(folderTree_);
    TreeView_Expand(folderTree_, TreeView_GetRoot(folderTree_), TVE_COLLAPSE);
    TreeView_Expand(folderTree_, TreeView_GetRoot(folderTree_), TVE_EXPAND);
    EXPECT_EQ(TreeView_GetCount(folderTree_), built);
    HTREEITEM first = Item({L"一"});
    auto children = test::Children(folderTree_, first);
    std::sort(children.begin(), children.end());
    ASSERT_EQ(children, (std::vector<std::wstring>{L"乙", L"二"}));
    EXPECT_TRUE(test::Children(folderTree_, test::FindItem(folderTree_, first, L"乙")).empty());
    // The user opens 一 with the keys: 二 and 乙 get their children, and no more.
    ::SetFocus(folderTree_);
    TreeView_SelectItem(folderTree_, first);
    Key(VK_RIGHT);
    HTREEITEM two = test::FindItem(folderTree_, first, L"二");
    HTREEITEM yi = test::FindItem(folderTree_, first, L"乙");
    EXPECT_EQ(test::Children(folderTree_, two), std::vector<std::wstring>{L"三"});
    EXPECT_EQ(test::Children(folderTree_, yi), std::vector<std::wstring>{L"丙"});
    EXPECT_TRUE(test::Children(folderTree_, test::FindItem(folderTree_, two, L"三")).empty()) << "no deeper";
    EXPECT_TRUE(test::Children(folderTree_, test::FindItem(folderTree_, yi, L"丙")).empty()) << "no deeper";
}

// What another program does in the folders the pane shows appears from the control's own
// timer, with the folders the user opened still open and the selection where it was.
TEST_F(FileCommandsTest, ThePaneFollowsWhatAnotherProgramChangesOnDisk) {
    Folder(L"根");
    Folder(L"根\\A");
    Folder(L"根\\A\\inner");
    File(L"根\\A\\inner\\x.xls");
    File(L"根\\A\\a.xls");
    File(L"根\\old.xls");
    UseRoot(Path(L"根"));
    Select({L"A", L"inner", L"x.xls"});  // opening A and inner as the user does
    HTREEITEM root = TreeView_GetRoot(folderTree_);
    HTREEITEM a = Item({L"A"});
    HTREEITEM inner = Item({L"A", L"inner"});
    const HTREEITEM selected = TreeView_GetSelection(folderTree_);

    ASSERT_EQ(test::ChangeDisk({L"file", Path(L"根\\new.xls"), L"del", Path(L"根\\old.xls"), L"mkdir",
                                Path(L"根\\A\\inner\\sub"), L"ren", Path(L"根\\A\\inner\\x.xls"),
                                Path(L"根\\A\\inner\\y.xls"), L"file", Path(L"根\\A\\b.xlsx")}),
              0);
    auto shown = [&] {
        return test::Children(folderTree_, root) == std::vector<std::wstring>{L"A", L"new.xls"} &&
               test::Children(folderTree_, inner) == std::vector<std::wstring>{L"sub", L"y.xls"} &&
               test::FindItem(folderTree_, a, L"b.xlsx");
    };
    ASSERT_TRUE(Until(shown)) << "root: " << test::Narrow(test::Children(folderTree_, root).back());
    EXPECT_EQ(TreeView_GetSelection(folderTree_), selected);
    EXPECT_EQ(SelectedText(), L"y.xls");
    EXPECT_TRUE(TreeView_GetItemState(folderTree_, a, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_TRUE(TreeView_GetItemState(folderTree_, inner, TVIS_EXPANDED) & TVIS_EXPANDED);
    // The renamed file is opened under its new name, as the user sees it.
    Key(VK_F5);
    EXPECT_NE(Item({L"A", L"inner", L"y.xls"}), nullptr);
}

// A folder one pane renames that another pane on the thread shows opened: that pane lets
// go of it for the rename, then follows it under its new name, still open.
TEST_F(FileCommandsTest, AFolderRenamedInOnePaneIsStillFollowedInAnother) {
    Folder(L"根");
    Folder(L"根\\资料");
    Folder(L"根\\资料\\内");
    File(L"根\\资料\\内\\a.xls");
    UseRoot(Path(L"根"));
    HWND other = test::FindTrees(SecondPane()).folder;
    ASSERT_NE(other, nullptr);
    host_.PumpMessages();
    HTREEITEM otherFolder = test::FindItem(other, TreeView_GetRoot(other), L"资料");
    ASSERT_NE(otherFolder, nullptr);
    TreeView_Expand(other, otherFolder, TVE_EXPAND);  // the user opens it there
    HTREEITEM otherInner = test::FindItem(other, otherFolder, L"内");
    ASSERT_NE(otherInner, nullptr);
    TreeView_Expand(other, otherInner, TVE_EXPAND);

    test::MessageBoxes boxes;
    Select({L"资料"});
    HWND edit = TreeView_EditLabel(folderTree_, TreeView_GetSelection(folderTree_));
    ASSERT_NE(edit, nullptr);
    ::SetWindowTextW(edit, L"文档");
    TreeView_EndEditLabelNow(folderTree_, FALSE);
    host_.PumpMessages();
    ASSERT_TRUE(FileSystem().FolderExists(Path(L"根\\文档\\内"))) << "not held by the other pane";
    EXPECT_TRUE(boxes.Seen().empty());

    ASSERT_EQ(test::ChangeDisk({L"file", Path(L"根\\文档\\内\\b.xls")}), 0);
    EXPECT_TRUE(Until([&] {
        return test::ItemText(other, otherFolder) == L"文档" &&
               test::Children(other, otherInner) == std::vector<std::wstring>{L"a.xls", L"b.xls"};
    }));
    EXPECT_TRUE(TreeView_GetItemState(other, otherFolder, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_TRUE(TreeView_GetItemState(other, otherInner, TVIS_EXPANDED) & TVIS_EXPANDED);
}

// The path of a folder on the test drive T: through drive Z:, which Wine maps to the host's
// root: the same folder, by another name (as a subst drive or a share would give it).
std::wstring ThroughDriveZ(const std::wstring& onT) {
    wchar_t program[MAX_PATH];
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring build = program;  // ...\build\x64\bin\this.exe
    for (int up = 0; up < 3; ++up) build.erase(build.rfind(L'\\'));
    return build + L"\\testdrive" + onT.substr(2);
}

// A paste of thousands of files runs on a thread of its own: the application's thread
// serves its messages meanwhile, the commands that change the disk wait, a progress form
// shows what is being done, and 取消 stops it between files: what was copied stays whole,
// nothing half written is left, and the message tells how far it got. Pasted again, it ends.
TEST_F(FileCommandsTest, ALongPasteRunsBesideTheApplicationAndCanBeCancelled) {
    Folder(L"大");
    for (int f = 0; f < 10; ++f) {
        Folder(L"大\\" + std::to_wstring(f));
        for (int i = 0; i < 300; ++i) {
            const std::string content = std::to_string(f * 1000 + i);  // each file its own
            File(L"大\\" + std::to_wstring(f) + L"\\" + std::to_wstring(i) + L".xls", content);
        }
    }
    Folder(L"目标");
    UseRoot(dir_->path());
    test::MessageBoxes boxes;
    Select({L"大"});
    Press(L"复制");
    Select({L"目标"});
    ::SendMessageW(Child(L"粘贴"), BM_CLICK, 0, 0);  // not awaited

    bool served = false, pasting = false;
    test::HiddenWindow probe([&](UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message != WM_APP) return false;
        served = true;
        pasting = !::IsWindowEnabled(Child(L"粘贴"));
        return true;
    });
    ::PostMessageW(probe.hwnd(), WM_APP, 0, 0);
    ASSERT_TRUE(Until([&] { return served; }));
    EXPECT_TRUE(pasting) << "served while the paste went on";
    for (const wchar_t* command : {L"换目录", L"新建", L"删除", L"刷新"}) EXPECT_FALSE(::IsWindowEnabled(Child(command)));
    EXPECT_TRUE(::IsWindowEnabled(Child(L"复制")));

    HWND form = nullptr;
    ASSERT_TRUE(Until([&] { return (form = ::FindWindowW(L"Form", L"粘贴")) != nullptr; }));
    EXPECT_NE(::FindWindowExW(form, nullptr, PROGRESS_CLASSW, nullptr), nullptr);
    EXPECT_TRUE(Until([&] {
        for (HWND child : test::DescendantWindows(form))
            if (WindowText(child).find(L"项，共 3011 项") != std::wstring::npos) return true;
        return false;
    })) << "the count done and in all: 3,000 files and 11 folders";
    HWND cancel = ::FindWindowExW(form, nullptr, L"Button", L"取消");
    ASSERT_NE(cancel, nullptr);
    ::SendMessageW(cancel, BM_CLICK, 0, 0);
    AwaitFileWork();
    EXPECT_EQ(::FindWindowW(L"Form", L"粘贴"), nullptr);
    const std::wstring told = boxes.Seen().back().text;
    EXPECT_TRUE(told.starts_with(L"粘贴已取消：已粘贴 ") && told.ends_with(L" 项，共 3011 项，其余未粘贴。")) << test::Narrow(told);
    const auto copied = Snapshot(Path(L"目标\\大"));
    const auto source = Snapshot(Path(L"大"));
    EXPECT_LT(copied.size(), source.size());
    for (const auto& entry : copied)
        EXPECT_NE(std::find(source.begin(), source.end(), entry), source.end()) << test::Narrow(entry.first) << " half written";

    boxes.SetAnswer(IDYES);  // the folder is there: merged
    Press(L"粘贴");
    EXPECT_EQ(boxes.Seen().back().text, L"文件 大 粘贴成功！");
    EXPECT_EQ(Snapshot(Path(L"目标\\大")), source);
}

// A paste that fails in the middle names the item that failed and says how far it got; a
// delete likewise.
TEST_F(FileCommandsTest, AFailureInTheMiddleNamesItsItem) {
    Folder(L"源");
    for (const wchar_t* name : {L"a.xls", L"b.xls", L"锁定.xlsx", L"d.xls"}) File(std::wstring(L"源\\") + name);
    Folder(L"目标");
    UseRoot(dir_->path());
    test::MessageBoxes boxes(IDYES);
    UniqueFile held(::CreateFileW(ExtendedPath(Path(L"源\\锁定.xlsx")).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    Select({L"源"});
    Press(L"复制");
    Select({L"目标"});
    Press(L"粘贴");
    std::wstring told = boxes.Seen().back().text;
    EXPECT_TRUE(told.starts_with(L"粘贴未完成：")) << test::Narrow(told);
    EXPECT_NE(told.find(L"锁定.xlsx\n"), std::wstring::npos) << test::Narrow(told);
    EXPECT_TRUE(told.ends_with(L" 项，共 5 项，其余未粘贴。")) << test::Narrow(told);
    EXPECT_FALSE(FileSystem().FileExists(Path(L"目标\\源\\锁定.xlsx")));

    Select({L"源"});
    Press(L"删除");
    told = boxes.Seen().back().text;
    EXPECT_TRUE(told.starts_with(L"删除未完成：") || told.starts_with(L"删除失败：")) << test::Narrow(told);
    EXPECT_NE(told.find(L"锁定.xlsx"), std::wstring::npos) << test::Narrow(told);
    EXPECT_TRUE(FileSystem().FileExists(Path(L"源\\锁定.xlsx")));
}

// Into itself by another name: the same folder through another drive (as through a subst
// drive or a share) is refused as the plain path is, and nothing is written. (The shell's
// folder browser gives back the names on disk, so case variants and short names are the
// file system's tests.)
TEST_F(FileCommandsTest, APasteIntoItselfThroughAnotherDriveIsRefused) {
    Folder(L"Reports");
    Folder(L"Reports\\Inner");
    File(L"Reports\\a.xls");
    UseRoot(dir_->path());
    test::MessageBoxes boxes;
    const auto before = Snapshot(dir_->path());
    const std::wstring alias = ThroughDriveZ(dir_->path());
    Select({L"Reports"});
    Press(L"复制");
    UseRoot(alias);
    Select({L"Reports", L"Inner"});
    Press(L"粘贴");
    EXPECT_EQ(boxes.Seen().back().text, L"不能将文件夹粘贴到它自身或其子文件夹中！");
    UseRoot(dir_->path());
    Select({L"Reports", L"a.xls"});
    Press(L"复制");
    UseRoot(alias);
    Select({L"Reports"});
    Press(L"粘贴");
    EXPECT_EQ(boxes.Seen().back().text, L"复制粘贴所选择的文件及路径相同，无法完成复制粘贴操作！");
    EXPECT_EQ(Snapshot(dir_->path()), before);
}

// The folder that holds an item at a drive's root is the root, whichever folder is the
// drive's current one: pasting into that one is no paste into the item's own folder.
TEST_F(FileCommandsTest, AFolderAtADrivesRootPastesIntoTheDrivesCurrentFolder) {
    File(L"a.xls");
    test::TempDir other(L"T:\\");
    test::MakeFolder(other / L"目标");
    test::MessageBoxes boxes;
    UseRoot(dir_->path());
    Select({});
    Press(L"复制");
    UseRoot(other.path());
    Select({L"目标"});
    std::wstring current(MAX_PATH, L'\0');
    current.resize(::GetCurrentDirectoryW(MAX_PATH, current.data()));
    ASSERT_TRUE(::SetCurrentDirectoryW((other / L"目标").c_str()));
    Press(L"粘贴");
    ::SetCurrentDirectoryW(current.c_str());
    const std::wstring name = dir_->path().substr(3);
    EXPECT_EQ(boxes.Seen().back().text, L"文件 " + name + L" 粘贴成功！");
    EXPECT_EQ(test::ReadFile(other / (L"目标\\" + name + L"\\a.xls")), "x");
}

// A hidden pane does nothing and holds no folder open: another program deletes a folder it
// listed at the first try. Shown again, its tree catches up, with what the user opened.
TEST_F(FileCommandsTest, AHiddenPaneHoldsNoFolderAndCatchesUpWhenShown) {
    Folder(L"根");
    Folder(L"根\\A");
    File(L"根\\A\\a.xls");
    Folder(L"根\\gone");
    File(L"根\\gone\\g.xls");
    UseRoot(Path(L"根"));
    Select({L"A", L"a.xls"});
    HTREEITEM root = TreeView_GetRoot(folderTree_);
    HTREEITEM a = Item({L"A"});
    pane_->SetVisible(false);
    Serve(std::chrono::milliseconds(1500));
    ASSERT_HRESULT_SUCCEEDED(FileSystem().DeleteFolder(Path(L"根\\gone")));
    EXPECT_FALSE(FileSystem().FolderExists(Path(L"根\\gone"))) << "no handle kept it";
    File(L"根\\A\\b.xls");
    Serve(std::chrono::milliseconds(1500));
    EXPECT_EQ(test::Children(folderTree_, root), (std::vector<std::wstring>{L"A", L"gone"})) << "nothing done while hidden";
    EXPECT_EQ(test::Children(folderTree_, a), std::vector<std::wstring>{L"a.xls"});
    pane_->SetVisible(true);
    EXPECT_TRUE(Until([&] {
        return test::Children(folderTree_, root) == std::vector<std::wstring>{L"A"} &&
               test::Children(folderTree_, a) == (std::vector<std::wstring>{L"a.xls", L"b.xls"});
    }));
    EXPECT_TRUE(TreeView_GetItemState(folderTree_, a, TVIS_EXPANDED) & TVIS_EXPANDED);
}

// A message box kept up for a while: what the tree shows meanwhile is kept, then No.
struct HeldBox {
    HWND box = nullptr;
    HWND tree = nullptr;
    std::vector<std::wstring> during;
};
HeldBox* g_heldBox = nullptr;

void CALLBACK AnswerHeldBox(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    if (!g_heldBox) return;
    g_heldBox->during = test::Children(g_heldBox->tree, TreeView_GetRoot(g_heldBox->tree));
    ::PostMessageW(g_heldBox->box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
}

// While the control asks the user (here: whether to delete), the tree holds still: the
// answer is about the node the user chose.
TEST_F(FileCommandsTest, WhileTheControlAsksChangesOnDiskWait) {
    Folder(L"根");
    File(L"根\\a.xls");
    File(L"根\\b.xls");
    UseRoot(Path(L"根"));
    Select({L"a.xls"});
    ::SetFocus(folderTree_);
    HeldBox held;
    held.tree = folderTree_;
    g_heldBox = &held;
    test::DialogWatcher watcher([&](HWND box) {
        if (held.box) return;
        held.box = box;
        test::ChangeDisk({L"del", Path(L"根\\a.xls")});
        ::SetTimer(nullptr, 0, 1200, &AnswerHeldBox);
    });
    Key(VK_DELETE);
    g_heldBox = nullptr;
    ASSERT_NE(held.box, nullptr);
    EXPECT_EQ(held.during, (std::vector<std::wstring>{L"a.xls", L"b.xls"}));
    HTREEITEM root = TreeView_GetRoot(folderTree_);
    EXPECT_TRUE(Until([&] { return test::Children(folderTree_, root) == std::vector<std::wstring>{L"b.xls"}; }));
}

// While the user types a new name, the tree holds still: what another program changed
// shows once the edit is over.
TEST_F(FileCommandsTest, WhileALabelIsEditedChangesOnDiskWait) {
    Folder(L"根");
    File(L"根\\a.xls");
    UseRoot(Path(L"根"));
    Select({L"a.xls"});
    ::SetFocus(folderTree_);
    HWND edit = TreeView_EditLabel(folderTree_, TreeView_GetSelection(folderTree_));
    ASSERT_NE(edit, nullptr);
    ASSERT_EQ(test::ChangeDisk({L"file", Path(L"根\\b.xls"), L"del", Path(L"根\\a.xls")}), 0);
    Serve(std::chrono::milliseconds(1200));
    EXPECT_EQ(TreeView_GetEditControl(folderTree_), edit);
    EXPECT_EQ(test::Children(folderTree_, TreeView_GetRoot(folderTree_)), std::vector<std::wstring>{L"a.xls"});
    ::SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    host_.PumpMessages();
    ASSERT_EQ(TreeView_GetEditControl(folderTree_), nullptr);
    EXPECT_TRUE(Until([&] {
        return test::Children(folderTree_, TreeView_GetRoot(folderTree_)) == std::vector<std::wstring>{L"b.xls"};
    }));
}

TEST_F(FileCommandsTest, TheTreesKeysAndContextMenuRunTheCommandsAndTheHostSeesNone) {
    Folder(L"夹");
    File(L"表.xlsx", "表");
    UseRoot(dir_->path());
    test::MessageBoxes boxes(IDNO);
    ::SetFocus(folderTree_);
    Select({L"表.xlsx"});
    Key('C', true);
    Select({L"夹"});
    Key('V', true);
    EXPECT_EQ(test::ReadFile(Path(L"夹\\表.xlsx")), "表");
    Select({L"表.xlsx"});
    Key(VK_DELETE);  // asked, and answered No
    EXPECT_TRUE(FileSystem().FileExists(Path(L"表.xlsx")));
    File(L"新来.xls");
    Key(VK_F5);
    EXPECT_NE(Item({L"新来.xls"}), nullptr);
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{L"已复制文件:表.xlsx, 请选择要粘贴的文件夹，然后点击“粘贴”",
                                                      L"文件 表.xlsx 粘贴成功！", L"确定要删除： " + Path(L"表.xlsx") + L" ?"}));
    EXPECT_TRUE(host_.HostKeys().empty()) << "the worksheet saw " << host_.HostKeys().size() << " keys";

    // The context menu: what applies to the node, and each entry runs its command.
    Connect();
    {
        test::MenuAnswer menu(L"打开");
        RightClick({L"表.xlsx"});
        ASSERT_EQ(menu.Shown(), 1);
        EXPECT_FALSE(menu.Items()[0].grayed) << "a workbook file opens";
        EXPECT_EQ(SelectedText(), L"表.xlsx");
        ASSERT_EQ(host_.App().OpenWorkbooks().size(), 1u);
        menu.Choose(L"");
        RightClick({});  // the root
        ASSERT_EQ(menu.Shown(), 2);
        EXPECT_TRUE(menu.Items()[0].grayed) << "a folder does not open";
        EXPECT_TRUE(menu.Items()[2].grayed) << "the root is not cut";
        EXPECT_TRUE(menu.Items()[6].grayed) << "the root is not renamed";
        EXPECT_FALSE(menu.Items()[4].grayed) << "something was copied";
    }
    {
        // From the keyboard: Shift+F10 and the menu key, at the selected node.
        test::MenuAnswer menu(L"刷新");
        File(L"又来.xls");
        ::SetFocus(folderTree_);
        Select({L"夹"});
        Key(VK_F10, false, true);
        EXPECT_EQ(menu.Shown(), 1);
        EXPECT_NE(Item({L"又来.xls"}), nullptr) << "刷新 ran";
        menu.Choose(L"");
        Key(VK_APPS);
        EXPECT_EQ(menu.Shown(), 2);
    }
    EXPECT_TRUE(host_.HostKeys().empty());
}

}  // namespace
}  // namespace cartulane
