// The keyed tree view on a real SysTreeView32: what the collection promises, read
// back from the control, and the events raised from the control's own messages.

#include "control/NodeImages.h"
#include "control/TreeView.h"
#include "runtime/Twips.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <windowsx.h>

#include <set>
#include <vector>

namespace cartulane::control {
namespace {

class TreeViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        images_ = CreateNodeImages(16);
        ASSERT_TRUE(images_);
        ASSERT_HRESULT_SUCCEEDED(tree_.Create(parent_.hwnd(), 1, images_.get()));
        ::MoveWindow(tree_.Hwnd(), 0, 0, 300, 400, TRUE);
    }

    // What the control itself shows for an item.
    std::wstring ControlText(HTREEITEM item) {
        wchar_t buffer[256] = {};
        TVITEMW data{};
        data.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_HANDLE;
        data.hItem = item;
        data.pszText = buffer;
        data.cchTextMax = 256;
        TreeView_GetItem(tree_.Hwnd(), &data);
        lastImage_ = data.iImage;
        return buffer;
    }

    // Texts of an item's children, in the control's order.
    std::vector<std::wstring> ControlChildren(HTREEITEM parent) {
        std::vector<std::wstring> texts;
        for (HTREEITEM item = parent ? TreeView_GetChild(tree_.Hwnd(), parent) : TreeView_GetRoot(tree_.Hwnd());
             item; item = TreeView_GetNextSibling(tree_.Hwnd(), item))
            texts.push_back(ControlText(item));
        return texts;
    }

    POINT LabelCenter(const Node& node) {
        RECT r{};
        TreeView_GetItemRect(tree_.Hwnd(), node.Handle(), &r, TRUE);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    // A click as the control sees one: the button goes down at point and comes up again
    // at the same place (the release waits in the queue while the control tracks the mouse).
    void Click(UINT down, UINT up, POINT at) {
        POINT screen = at;
        ::ClientToScreen(tree_.Hwnd(), &screen);
        ::SetCursorPos(screen.x, screen.y);
        ::PostMessageW(tree_.Hwnd(), up, 0, MAKELPARAM(at.x, at.y));
        ::SendMessageW(tree_.Hwnd(), down, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, MAKELPARAM(at.x, at.y));
        test::PumpMessages();
    }

    test::HiddenWindow parent_{[](UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
        return TreeView::ReflectNotify(message, lParam, result);
    }};
    UniqueImageList images_;
    TreeView tree_;
    int lastImage_ = -1;
};

TEST_F(TreeViewTest, AddPlacesEachNodeLastUnderItsRelative) {
    TreeNodes& nodes = tree_.Nodes();
    Node* root = nullptr;
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"C:\\", L"C:\\", kImageDrive, &root));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"C:\\", tvwChild, L"C:\\b", L"b 文件夹", kImageFolder));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"C:\\", tvwChild, L"C:\\a", L"a", kImageFolder));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"C:\\b", tvwChild, L"C:\\b\\x.xls", L"x.xls", kImageWorkbook));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"C:\\", tvwChild, L"C:\\z.xlsx", L"z.xlsx", kImageWorkbook));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"other", L"second top", kImageFolder));

    // The control's own order and texts.
    EXPECT_EQ(ControlChildren(nullptr), (std::vector<std::wstring>{L"C:\\", L"second top"}));
    EXPECT_EQ(ControlChildren(root->Handle()), (std::vector<std::wstring>{L"b 文件夹", L"a", L"z.xlsx"}));
    ControlText(nodes.Find(L"C:\\b\\x.xls")->Handle());
    EXPECT_EQ(lastImage_, kImageWorkbook - 1);
    EXPECT_EQ(static_cast<int>(TreeView_GetCount(tree_.Hwnd())), 6);

    // The collection: order of addition, keys, family links.
    ASSERT_EQ(nodes.Count(), 6);
    std::vector<std::wstring> keys;
    for (int i = 1; i <= nodes.Count(); ++i) keys.push_back(nodes.Item(i)->Key());
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"C:\\", L"C:\\b", L"C:\\a", L"C:\\b\\x.xls", L"C:\\z.xlsx", L"other"}));
    EXPECT_EQ(nodes.Item(0), nullptr);
    EXPECT_EQ(nodes.Item(7), nullptr);
    EXPECT_EQ(root->Children(), 3);
    EXPECT_EQ(root->Child()->Key(), L"C:\\b");
    EXPECT_EQ(root->Child()->Next()->Key(), L"C:\\a");
    EXPECT_EQ(root->Child()->Next()->Next()->Next(), nullptr);
    EXPECT_EQ(root->Next()->Key(), L"other");
    EXPECT_EQ(nodes.Find(L"C:\\b\\x.xls")->Parent(), nodes.Find(L"C:\\b"));
    EXPECT_EQ(root->Parent(), nullptr);
    EXPECT_EQ(nodes.Find(L"C:\\a")->Children(), 0);
    EXPECT_EQ(nodes.Find(L"C:\\a")->Child(), nullptr);
}

TEST_F(TreeViewTest, AddFailsOnADuplicateKeyOrAnUnknownRelative) {
    TreeNodes& nodes = tree_.Nodes();
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"Book1", L"Book1", kImageWorkbook));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"Book1", tvwChild, L"Book1_Sheet1", L"Sheet1", kImageWorksheet));

    Node* added = reinterpret_cast<Node*>(1);
    EXPECT_EQ(nodes.Add(L"Book1", tvwChild, L"Book1_Sheet1", L"again", kImageWorksheet, &added), KeyNotUniqueError());
    EXPECT_EQ(added, nullptr);
    EXPECT_EQ(nodes.Add(L"Book1", L"top again", kImageWorkbook), KeyNotUniqueError());
    EXPECT_EQ(nodes.Add(L"Book2", tvwChild, L"Book2_Sheet1", L"Sheet1", kImageWorksheet), ElementNotFoundError());
    EXPECT_EQ(nodes.Add(L"Book1", 1, L"Book1_Sheet2", L"Sheet2", kImageWorksheet), E_INVALIDARG);
    EXPECT_EQ(nodes.Count(), 2);
    EXPECT_EQ(static_cast<int>(TreeView_GetCount(tree_.Hwnd())), 2);
    // Keys compare exactly: another case is another key.
    EXPECT_HRESULT_SUCCEEDED(nodes.Add(L"BOOK1", L"BOOK1", kImageWorkbook));
}

TEST_F(TreeViewTest, ClearRemovesEveryNodeAndItsKey) {
    TreeNodes& nodes = tree_.Nodes();
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", L"r", kImageFolder));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", tvwChild, L"r\\a", L"a", kImageFolder));
    nodes.Clear();
    EXPECT_EQ(nodes.Count(), 0);
    EXPECT_EQ(TreeView_GetCount(tree_.Hwnd()), 0u);
    EXPECT_EQ(nodes.Find(L"r"), nullptr);
    EXPECT_EQ(tree_.SelectedItem(), nullptr);
    EXPECT_HRESULT_SUCCEEDED(nodes.Add(L"r", L"r", kImageFolder));
    EXPECT_EQ(nodes.Item(1)->Index(), 1);
}

// Nodes placed among their siblings, taken out with what lies below them, and given
// another key, as a tree that follows the disk does without a rebuild.
TEST_F(TreeViewTest, NodesAreInsertedRemovedAndRekeyedInPlace) {
    TreeNodes& nodes = tree_.Nodes();
    Node* root = nullptr;
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", L"r", kImageFolder, &root));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", tvwChild, L"r\\b", L"b", kImageFolder));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", tvwChild, L"r\\d", L"d", kImageFolder));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r\\b", tvwPrevious, L"r\\a", L"a", kImageFolder));  // first
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r\\b", tvwNext, L"r\\c", L"c", kImageFolder));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r\\d", tvwNext, L"r\\e", L"e", kImageFolder));      // last
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r\\c", tvwChild, L"r\\c\\x", L"x", kImageFolder));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r\\c\\x", tvwChild, L"r\\c\\x\\y.xls", L"y.xls", kImageWorkbook));
    EXPECT_EQ(nodes.Add(L"r\\a", tvwNext, L"r\\b", L"b", kImageFolder), KeyNotUniqueError());
    EXPECT_EQ(ControlChildren(root->Handle()), (std::vector<std::wstring>{L"a", L"b", L"c", L"d", L"e"}));
    std::vector<std::wstring> linked, backwards;
    for (Node* n = root->Child(); n; n = n->Next()) linked.push_back(n->Key());
    for (Node* n = nodes.Find(L"r\\e"); n; n = n->Previous()) backwards.push_back(n->Key());
    EXPECT_EQ(linked, (std::vector<std::wstring>{L"r\\a", L"r\\b", L"r\\c", L"r\\d", L"r\\e"}));
    EXPECT_EQ(backwards, (std::vector<std::wstring>{L"r\\e", L"r\\d", L"r\\c", L"r\\b", L"r\\a"}));
    EXPECT_EQ(root->Children(), 5);

    // A folder and what it holds go together; the keys are free again, the indexes close up.
    Node* c = nodes.Find(L"r\\c");
    nodes.Remove(*c);
    EXPECT_EQ(ControlChildren(root->Handle()), (std::vector<std::wstring>{L"a", L"b", L"d", L"e"}));
    EXPECT_EQ(static_cast<int>(TreeView_GetCount(tree_.Hwnd())), 5);
    EXPECT_EQ(nodes.Count(), 5);
    EXPECT_EQ(root->Children(), 4);
    EXPECT_EQ(nodes.Find(L"r\\c\\x\\y.xls"), nullptr);
    EXPECT_EQ(nodes.Find(L"r\\b")->Next()->Key(), L"r\\d");
    EXPECT_EQ(nodes.Find(L"r\\d")->Previous()->Key(), L"r\\b");
    EXPECT_EQ(c->Key(), L"r\\c");  // a handler still holding it reads what it was
    EXPECT_EQ(c->Text(), L"");
    std::vector<std::wstring> byIndex;
    for (int i = 1; i <= nodes.Count(); ++i) byIndex.push_back(nodes.Item(i)->Key());
    EXPECT_EQ(byIndex, (std::vector<std::wstring>{L"r", L"r\\b", L"r\\d", L"r\\a", L"r\\e"}));
    EXPECT_EQ(nodes.Find(L"r\\e")->Index(), 5);
    nodes.Remove(*nodes.Find(L"r\\a"));
    nodes.Remove(*nodes.Find(L"r\\e"));
    EXPECT_EQ(root->Child()->Key(), L"r\\b");
    EXPECT_EQ(nodes.Find(L"r\\d")->Next(), nullptr);
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", tvwChild, L"r\\c", L"c again", kImageFolder));
    EXPECT_EQ(ControlChildren(root->Handle()), (std::vector<std::wstring>{L"b", L"d", L"c again"}));

    // Another key and text; a key another node has is refused.
    Node* d = nodes.Find(L"r\\d");
    EXPECT_EQ(nodes.SetKey(*d, L"r\\b"), KeyNotUniqueError());
    ASSERT_HRESULT_SUCCEEDED(nodes.SetKey(*d, L"r\\新"));
    d->SetText(L"新");
    EXPECT_EQ(nodes.Find(L"r\\d"), nullptr);
    EXPECT_EQ(nodes.Find(L"r\\新"), d);
    EXPECT_EQ(d->Text(), L"新");
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", tvwChild, L"r\\d", L"d", kImageFolder));
}

TEST_F(TreeViewTest, AKeyboardClickOnANodeRemovedMeanwhileIsDropped) {
    TreeNodes& nodes = tree_.Nodes();
    Node* root = nullptr;
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", L"r", kImageFolder, &root));
    root->SetExpanded(true);
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", tvwChild, L"r\\a", L"a", kImageFolder));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", tvwChild, L"r\\b", L"b", kImageFolder));
    std::vector<std::wstring> clicks;
    tree_.NodeClick = [&](Node& node) { clicks.push_back(node.Key()); };
    TreeView_SelectItem(tree_.Hwnd(), root->Handle());
    ::SendMessageW(tree_.Hwnd(), WM_KEYDOWN, VK_DOWN, 0);  // to a, raised once the queue runs
    nodes.Remove(*nodes.Find(L"r\\a"));
    TreeView_SelectItem(tree_.Hwnd(), root->Handle());
    ::SendMessageW(tree_.Hwnd(), WM_KEYDOWN, VK_DOWN, 0);  // to b, which takes a's place
    test::PumpMessages();
    EXPECT_EQ(clicks, std::vector<std::wstring>{L"r\\b"});
}

TEST_F(TreeViewTest, ExpandedSetBeforeTheChildrenArriveShowsThem) {
    TreeNodes& nodes = tree_.Nodes();
    Node* root = nullptr;
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", L"r", kImageFolder, &root));
    root->SetExpanded(true);
    Node* child = nullptr;
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", tvwChild, L"r\\a", L"a", kImageFolder, &child));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r\\a", tvwChild, L"r\\a\\b", L"b", kImageFolder));
    EXPECT_TRUE(root->Expanded());
    EXPECT_EQ(TreeView_GetNextVisible(tree_.Hwnd(), root->Handle()), child->Handle());
    EXPECT_FALSE(child->Expanded());
    EXPECT_EQ(TreeView_GetNextVisible(tree_.Hwnd(), child->Handle()), nullptr);

    child->SetExpanded(true);
    EXPECT_TRUE(child->Expanded());
    root->SetExpanded(false);
    EXPECT_FALSE(root->Expanded());
    EXPECT_EQ(TreeView_GetNextVisible(tree_.Hwnd(), root->Handle()), nullptr);
}

TEST_F(TreeViewTest, SelectedItemAndSetFocus) {
    TreeNodes& nodes = tree_.Nodes();
    tree_.SetFocus();  // an empty tree selects nothing
    EXPECT_EQ(tree_.SelectedItem(), nullptr);
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", L"r", kImageFolder));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", tvwChild, L"r\\a", L"a", kImageFolder));
    EXPECT_EQ(tree_.SelectedItem(), nullptr);
    tree_.SetFocus();
    ASSERT_NE(tree_.SelectedItem(), nullptr);
    EXPECT_EQ(tree_.SelectedItem()->Key(), L"r");
    TreeView_SelectItem(tree_.Hwnd(), nodes.Find(L"r\\a")->Handle());
    tree_.SetFocus();  // keeps a selection there is
    EXPECT_EQ(tree_.SelectedItem()->Key(), L"r\\a");
}

TEST_F(TreeViewTest, ExpandIsRaisedForTheUserNotForTheProgram) {
    TreeNodes& nodes = tree_.Nodes();
    std::vector<std::wstring> expanded;
    tree_.Expand = [&](Node& node) { expanded.push_back(node.Key()); };
    Node *root = nullptr, *folder = nullptr;
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", L"r", kImageFolder, &root));
    root->SetExpanded(true);
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r", tvwChild, L"r\\a", L"a", kImageFolder, &folder));
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"r\\a", tvwChild, L"r\\a\\b", L"b", kImageFolder));
    folder->SetExpanded(true);
    folder->SetExpanded(false);
    EXPECT_TRUE(expanded.empty());

    // The keyboard: select the folder, then the right arrow opens it.
    TreeView_SelectItem(tree_.Hwnd(), folder->Handle());
    ::SendMessageW(tree_.Hwnd(), WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(expanded, std::vector<std::wstring>{L"r\\a"});
    EXPECT_TRUE(folder->Expanded());
    // Collapsing raises nothing.
    ::SendMessageW(tree_.Hwnd(), WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(expanded.size(), 1u);
}

TEST_F(TreeViewTest, ClicksRaiseNodeClickThenMouseUpInTwips) {
    TreeNodes& nodes = tree_.Nodes();
    Node *root = nullptr, *book = nullptr;
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"Book1", L"Book1", kImageWorkbook, &root));
    root->SetExpanded(true);
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"Book1", tvwChild, L"Book1_Sheet1", L"Sheet1", kImageWorksheet, &book));

    std::vector<std::string> events;
    tree_.NodeClick = [&](Node& node) { events.push_back("click " + test::Narrow(node.Key())); };
    tree_.MouseUp = [&](int button, int shift, float x, float y) {
        events.push_back("up " + std::to_string(button) + " " + std::to_string(shift) + " " +
                         std::to_string(static_cast<int>(x)) + " " + std::to_string(static_cast<int>(y)));
    };
    const Dpi dpi = ScreenDpi();
    const POINT at = LabelCenter(*book);
    const auto twips = [&](int px, int d) { return std::to_string(static_cast<int>(PixelsToTwips(px, d))); };
    const std::string where = twips(at.x, dpi.x) + " " + twips(at.y, dpi.y);

    Click(WM_LBUTTONDOWN, WM_LBUTTONUP, at);
    EXPECT_EQ(events, (std::vector<std::string>{"click Book1_Sheet1", "up 1 0 " + where}));
    EXPECT_EQ(tree_.SelectedItem(), book);

    // The right button raises no NodeClick.
    events.clear();
    Click(WM_RBUTTONDOWN, WM_RBUTTONUP, at);
    EXPECT_EQ(events, std::vector<std::string>{"up 2 0 " + where});

    // Below the last node: a release, but no node.
    events.clear();
    Click(WM_LBUTTONDOWN, WM_LBUTTONUP, {at.x, 300});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].substr(0, 5), "up 1 ");

    // A release the control does not take itself is reported once, as it comes.
    events.clear();
    ::SendMessageW(tree_.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    EXPECT_EQ(events, std::vector<std::string>{"up 1 0 " + where});

    // Moving the selection with the keyboard is a node click too, raised once the control
    // is done with the key: a handler may rebuild the tree.
    events.clear();
    ::SendMessageW(tree_.Hwnd(), WM_KEYDOWN, VK_UP, 0);
    EXPECT_TRUE(events.empty());
    test::PumpMessages();
    EXPECT_EQ(events, std::vector<std::string>{"click Book1"});
}

TEST_F(TreeViewTest, AKeyboardClickOnATreeRebuiltMeanwhileIsDropped) {
    TreeNodes& nodes = tree_.Nodes();
    Node* root = nullptr;
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"Book1", L"Book1", kImageWorkbook, &root));
    root->SetExpanded(true);
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"Book1", tvwChild, L"Book1_Sheet1", L"Sheet1", kImageWorksheet));
    std::vector<std::wstring> clicks;
    tree_.NodeClick = [&](Node& node) {
        clicks.push_back(node.Key());
        nodes.Clear();  // as the workbook tree's relay does
        nodes.Add(L"Book2", L"Book2", kImageWorkbook);
    };
    TreeView_SelectItem(tree_.Hwnd(), root->Handle());
    ::SendMessageW(tree_.Hwnd(), WM_KEYDOWN, VK_DOWN, 0);
    ::SendMessageW(tree_.Hwnd(), WM_KEYDOWN, VK_UP, 0);  // a second move before the first is raised
    test::PumpMessages();
    EXPECT_EQ(clicks, std::vector<std::wstring>{L"Book1_Sheet1"});
    EXPECT_EQ(ControlChildren(nullptr), std::vector<std::wstring>{L"Book2"});
}

TEST_F(TreeViewTest, DoubleClickIsRaised) {
    int doubleClicks = 0;
    tree_.DblClick = [&] { ++doubleClicks; };
    Node* node = nullptr;
    ASSERT_HRESULT_SUCCEEDED(tree_.Nodes().Add(L"a.xls", L"a.xls", kImageWorkbook, &node));
    const POINT at = LabelCenter(*node);
    ::SendMessageW(tree_.Hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    EXPECT_EQ(doubleClicks, 0) << "raised once the control is done with the click";
    test::PumpMessages();
    EXPECT_EQ(doubleClicks, 1);
}

TEST_F(TreeViewTest, AfterLabelEditAcceptsCancelsOrRebuilds) {
    TreeNodes& nodes = tree_.Nodes();
    Node* node = nullptr;
    ASSERT_HRESULT_SUCCEEDED(nodes.Add(L"D:\\data\\report.xls", L"report.xls", kImageWorkbook, &node));
    std::wstring seen;
    short answer = 0;
    bool rebuild = false;
    tree_.AfterLabelEdit = [&](short& cancel, std::wstring& newString) {
        seen = newString;
        cancel = answer;
        if (rebuild) {
            nodes.Clear();
            nodes.Add(L"D:\\data\\新报表.xls", newString, kImageWorkbook);
        }
    };
    auto edit = [&](Node* target, const wchar_t* typed) {
        HWND box = TreeView_EditLabel(tree_.Hwnd(), target->Handle());
        ASSERT_NE(box, nullptr);
        ::SetWindowTextW(box, typed);
        TreeView_EndEditLabelNow(tree_.Hwnd(), FALSE);
        test::PumpMessages();
    };

    edit(node, L"年度 报表.xls");
    EXPECT_EQ(seen, L"年度 报表.xls");
    EXPECT_EQ(node->Text(), L"年度 报表.xls");
    EXPECT_EQ(ControlText(node->Handle()), L"年度 报表.xls");

    answer = 1;
    edit(node, L"refused.xls");
    EXPECT_EQ(seen, L"refused.xls");
    EXPECT_EQ(node->Text(), L"年度 报表.xls");
    EXPECT_EQ(ControlText(node->Handle()), L"年度 报表.xls");

    // Escape, or Enter on an unchanged label, ends the edit without an event.
    seen.clear();
    edit(node, L"年度 报表.xls");
    EXPECT_TRUE(seen.empty()) << test::Narrow(seen);
    TreeView_EditLabel(tree_.Hwnd(), node->Handle());
    TreeView_EndEditLabelNow(tree_.Hwnd(), TRUE);
    test::PumpMessages();
    EXPECT_TRUE(seen.empty()) << test::Narrow(seen);
    // Cancelled after typing: no event either.
    HWND box = TreeView_EditLabel(tree_.Hwnd(), node->Handle());
    ::SetWindowTextW(box, L"typed then cancelled.xls");
    TreeView_EndEditLabelNow(tree_.Hwnd(), TRUE);
    test::PumpMessages();
    EXPECT_TRUE(seen.empty()) << test::Narrow(seen);
    box = TreeView_EditLabel(tree_.Hwnd(), node->Handle());
    ::SetWindowTextW(box, L"typed then escaped.xls");
    ::SendMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
    ::SendMessageW(box, WM_CHAR, VK_ESCAPE, 0);
    test::PumpMessages();
    EXPECT_TRUE(seen.empty()) << test::Narrow(seen);
    EXPECT_EQ(node->Text(), L"年度 报表.xls");

    // A handler that rebuilds the tree: the new tree stands.
    answer = 0;
    rebuild = true;
    edit(node, L"新报表.xls");
    ASSERT_EQ(nodes.Count(), 1);
    EXPECT_EQ(nodes.Item(1)->Key(), L"D:\\data\\新报表.xls");
    EXPECT_EQ(ControlChildren(nullptr), std::vector<std::wstring>{L"新报表.xls"});
}

// Each icon drawn on magenta: the mask colour shows the background, the picture does not,
// and no two pictures are alike.
TEST(NodeImages, SevenDistinctIconsTransparentWhereTheMaskColourIs) {
    for (int size : {16, 24}) {
        UniqueImageList images = CreateNodeImages(size);
        ASSERT_TRUE(images);
        ASSERT_EQ(ImageList_GetImageCount(images.get()), 7);
        int cx = 0, cy = 0;
        ImageList_GetIconSize(images.get(), &cx, &cy);
        EXPECT_EQ(cx, size);
        EXPECT_EQ(cy, size);

        WindowDC screen(nullptr);
        UniqueMemoryDC dc(::CreateCompatibleDC(screen.get()));
        UniqueBitmap canvas(::CreateCompatibleBitmap(screen.get(), size, size));
        SelectGuard selected(dc.get(), canvas.get());
        std::set<std::vector<COLORREF>> pictures;
        for (int i = 0; i < 7; ++i) {
            RECT all{0, 0, size, size};
            UniqueBrush magenta(::CreateSolidBrush(RGB(255, 0, 255)));
            ::FillRect(dc.get(), &all, magenta.get());
            ImageList_Draw(images.get(), i, dc.get(), 0, 0, ILD_TRANSPARENT);
            std::vector<COLORREF> pixels;
            int drawn = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    pixels.push_back(::GetPixel(dc.get(), x, y));
                    drawn += pixels.back() != RGB(255, 0, 255);
                }
            EXPECT_EQ(::GetPixel(dc.get(), 0, size - 1), RGB(255, 0, 255)) << "icon " << i + 1;
            EXPECT_GT(drawn, size * size / 4) << "icon " << i + 1;
            EXPECT_LT(drawn, size * size) << "icon " << i + 1;
            pictures.insert(pixels);
        }
        EXPECT_EQ(pictures.size(), 7u);
    }
}

TEST_F(TreeViewTest, DestroyingTheWindowLeavesAnEmptyCollection) {
    ASSERT_HRESULT_SUCCEEDED(tree_.Nodes().Add(L"r", L"r", kImageFolder));
    ::DestroyWindow(tree_.Hwnd());
    EXPECT_EQ(tree_.Hwnd(), nullptr);
    EXPECT_EQ(tree_.Nodes().Count(), 0);
    EXPECT_HRESULT_FAILED(tree_.Nodes().Add(L"r", L"r", kImageFolder));
    EXPECT_EQ(tree_.SelectedItem(), nullptr);
}

}  // namespace
}  // namespace cartulane::control
