#include "control/TreeView.h"

#include "runtime/ComPtr.h"
#include "runtime/Twips.h"
#include "runtime/Variant.h"

#include <windowsx.h>

#include <utility>

namespace cartulane::control {

namespace {

// Event handlers are the control's own and report failures by HRESULT; this only keeps
// an unexpected exception away from the rest of the message.
template <typename Handler, typename... Args>
void Fire(const Handler& handler, Args&&... args) noexcept {
    if (!handler) return;
    try {
        handler(std::forward<Args>(args)...);
    } catch (...) {
    }
}

// Events that the control's notifications announce, raised once the control is done
// with the message that caused them.
UINT AfterLabelEditMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"Cartulane.TreeView.AfterLabelEdit");
    return message;
}
UINT NodeClickMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"Cartulane.TreeView.NodeClick");
    return message;
}
// The keys that ask for the context menu: the menu key, and Shift+F10.
bool IsMenuKey(WPARAM key) { return key == VK_APPS || (key == VK_F10 && ::GetKeyState(VK_SHIFT) < 0); }

UINT ContextMenuMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"Cartulane.TreeView.ContextMenu");
    return message;
}
UINT DblClickMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"Cartulane.TreeView.DblClick");
    return message;
}
UINT BeginDragMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"Cartulane.TreeView.BeginDrag");
    return message;
}

}  // namespace

HRESULT KeyNotUniqueError() { return ControlError(35602); }
HRESULT ElementNotFoundError() { return ControlError(35601); }

// ---- Node ----

std::wstring Node::Text() const {
    std::wstring text(64, L'\0');
    for (;;) {
        TVITEMW data{};
        data.mask = TVIF_TEXT | TVIF_HANDLE;
        data.hItem = item_;
        data.pszText = text.data();
        data.cchTextMax = static_cast<int>(text.size());
        if (!tree_ || !tree_->Hwnd() || removed_ || !TreeView_GetItem(tree_->Hwnd(), &data)) return {};
        const size_t length = std::char_traits<wchar_t>::length(data.pszText);
        if (length + 1 < text.size()) return std::wstring(data.pszText, length);
        text.resize(text.size() * 4);  // the label may have been cut at the buffer's end
    }
}

bool Node::Expanded() const {
    return tree_ && tree_->Hwnd() && !removed_ && (TreeView_GetItemState(tree_->Hwnd(), item_, TVIS_EXPANDED) & TVIS_EXPANDED);
}

void Node::SetExpanded(bool expanded) {
    if (!tree_ || !tree_->Hwnd() || removed_) return;
    if (children_ > 0) {
        ++tree_->expandingInCode_;
        TreeView_Expand(tree_->Hwnd(), item_, expanded ? TVE_EXPAND : TVE_COLLAPSE);
        --tree_->expandingInCode_;
        return;
    }
    // A node without children keeps the state, so children added later show at once. Only
    // that can have expanded a childless node, so collapsing one otherwise is no change.
    if (!expanded && !expandedEmpty_) return;
    expandedEmpty_ = expanded;
    TreeView_SetItemState(tree_->Hwnd(), item_, expanded ? TVIS_EXPANDED : 0, TVIS_EXPANDED);
}

int Node::Index() const {
    if (removed_ || !tree_) return 0;
    if (tree_->nodes_.removed_ == 0) return slot_;
    int index = 0;
    for (const Node& node : tree_->nodes_.nodes_) {
        if (!node.removed_) ++index;
        if (&node == this) break;
    }
    return index;
}

void Node::SetText(const std::wstring& text) {
    if (!tree_ || !tree_->Hwnd() || removed_) return;
    TVITEMW item{};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = item_;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    TreeView_SetItem(tree_->Hwnd(), &item);
}

void Node::SetCut(bool cut) {
    if (!tree_ || !tree_->Hwnd() || removed_) return;
    TreeView_SetItemState(tree_->Hwnd(), item_, cut ? TVIS_CUT : 0, TVIS_CUT);
}

// ---- TreeNodes ----

HRESULT TreeNodes::Add(std::wstring_view key, const std::wstring& text, int image, Node** added) {
    return Insert(nullptr, lastTop_, key, text, image, added);
}

HRESULT TreeNodes::Add(std::wstring_view relative, int relationship, std::wstring_view key,
                       const std::wstring& text, int image, Node** added) {
    if (relationship != tvwChild && relationship != tvwNext && relationship != tvwPrevious) return E_INVALIDARG;
    Node* related = Find(relative);
    if (!related) return SetErrorDescription(ElementNotFoundError(), L"Element not found");
    switch (relationship) {
        case tvwChild: return Insert(related, related->lastChild_, key, text, image, added);
        case tvwNext: return Insert(related->parent_, related, key, text, image, added);
        default: return Insert(related->parent_, related->previous_, key, text, image, added);
    }
}

// The new node follows after among parent's children, or comes first when after is null.
HRESULT TreeNodes::Insert(Node* parent, Node* after, std::wstring_view key, const std::wstring& text, int image,
                          Node** added) {
    if (added) *added = nullptr;
    if (!tree_.Hwnd()) return E_UNEXPECTED;
    if (!key.empty() && byKey_.count(key)) {
        return SetErrorDescription(KeyNotUniqueError(), L"Key is not unique in collection");
    }
    Node& node = nodes_.emplace_back();
    node.tree_ = &tree_;
    node.key_.assign(key);
    node.image_ = image;
    node.slot_ = static_cast<int>(nodes_.size());
    node.parent_ = parent;

    Node*& first = parent ? parent->child_ : firstTop_;
    Node*& last = parent ? parent->lastChild_ : lastTop_;
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent ? parent->item_ : TVI_ROOT;
    // After the last sibling is TVI_LAST: the control looks for an item it is given among
    // the siblings, so naming the last one makes every append walk them all.
    insert.hInsertAfter = !after ? TVI_FIRST : after == last ? TVI_LAST : after->item_;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.iImage = insert.item.iSelectedImage = image - 1;
    insert.item.lParam = reinterpret_cast<LPARAM>(&node);
    node.item_ = TreeView_InsertItem(tree_.Hwnd(), &insert);
    if (!node.item_) {
        nodes_.pop_back();
        return E_OUTOFMEMORY;
    }
    if (!node.key_.empty()) byKey_.emplace(node.key_, &node);
    node.previous_ = after;
    node.next_ = after ? after->next_ : first;
    (node.next_ ? node.next_->previous_ : last) = &node;
    (after ? after->next_ : first) = &node;
    if (parent) ++parent->children_;
    if (added) *added = &node;
    return S_OK;
}

void TreeNodes::Remove(Node& node) {
    if (node.removed_ || node.tree_ != &tree_) return;
    if (tree_.Hwnd()) TreeView_DeleteItem(tree_.Hwnd(), node.item_);
    Node* parent = node.parent_;
    (node.previous_ ? node.previous_->next_ : parent ? parent->child_ : firstTop_) = node.next_;
    (node.next_ ? node.next_->previous_ : parent ? parent->lastChild_ : lastTop_) = node.previous_;
    if (parent) --parent->children_;
    // The node and everything below it, depth first.
    std::vector<Node*> pending{&node};
    while (!pending.empty()) {
        Node* gone = pending.back();
        pending.pop_back();
        for (Node* child = gone->child_; child; child = child->next_) pending.push_back(child);
        if (!gone->key_.empty()) byKey_.erase(gone->key_);
        gone->removed_ = true;
        gone->item_ = nullptr;
        ++removed_;
    }
}

HRESULT TreeNodes::SetKey(Node& node, std::wstring_view key) {
    if (node.removed_) return ElementNotFoundError();
    if (key == node.key_) return S_OK;
    if (!key.empty() && byKey_.count(key)) return SetErrorDescription(KeyNotUniqueError(), L"Key is not unique in collection");
    if (!node.key_.empty()) byKey_.erase(node.key_);
    node.key_.assign(key);
    if (!node.key_.empty()) byKey_.emplace(node.key_, &node);
    return S_OK;
}

void TreeNodes::Clear() {
    ++tree_.generation_;
    if (tree_.Hwnd()) TreeView_DeleteAllItems(tree_.Hwnd());
    Forget();
}

void TreeNodes::Forget() {
    // The key index keeps its buckets: a tree is mostly rebuilt at about the size it had.
    byKey_.clear();
    nodes_.clear();
    removed_ = 0;
    firstTop_ = lastTop_ = nullptr;
}

Node* TreeNodes::Item(int index) {
    if (index < 1 || index > Count()) return nullptr;
    if (removed_ == 0) return &nodes_[index - 1];
    for (Node& node : nodes_)
        if (!node.removed_ && --index == 0) return &node;
    return nullptr;
}

Node* TreeNodes::AtSlot(int slot) {
    if (slot < 1 || slot > static_cast<int>(nodes_.size())) return nullptr;
    Node& node = nodes_[slot - 1];
    return node.removed_ ? nullptr : &node;
}

Node* TreeNodes::Find(std::wstring_view key) const {
    const auto found = byKey_.find(key);
    return found == byKey_.end() ? nullptr : found->second;
}

// ---- TreeView ----

TreeView::TreeView() : nodes_(*this) {}

TreeView::~TreeView() {
    if (Hwnd()) ::DestroyWindow(Hwnd());
}

HRESULT TreeView::Create(HWND parent, UINT id, HIMAGELIST images, LabelEdit labelEdit) {
    if (Hwnd()) return E_UNEXPECTED;
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT |
                        TVS_SHOWSELALWAYS | (labelEdit == LabelEdit::Manual ? TVS_EDITLABELS : 0);
    HWND hwnd = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"", style, 0, 0, 0, 0, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
    RETURN_LAST_ERROR_IF_NULL(hwnd);
    TreeView_SetUnicodeFormat(hwnd, TRUE);
    if (images) TreeView_SetImageList(hwnd, images, TVSIL_NORMAL);
    // Our own subclass rather than the common controls' helper: that looks up a window
    // property for every message, which makes each insert cost as much as a hundred.
    if (const HRESULT hr = Attach(hwnd); FAILED(hr)) {
        ::DestroyWindow(hwnd);
        return hr;
    }
    AttachWindow(hwnd, ScreenDpi());
    return S_OK;
}

void TreeView::OnDetached() {
    AttachWindow(nullptr, {});
    ++generation_;
    nodes_.Forget();
}

bool TreeView::ReflectNotify(UINT message, LPARAM lParam, LRESULT* result) {
    if (message != WM_NOTIFY) return false;
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    auto* self = header ? dynamic_cast<TreeView*>(Subclass::Of(header->hwndFrom)) : nullptr;
    if (!self) return false;
    bool handled = false;
    try {
        *result = self->OnNotify(*header, &handled);
    } catch (...) {
        *result = 0;  // out of memory while copying a label
        return true;
    }
    return handled;
}

TreeView::BulkUpdate::BulkUpdate(TreeView& tree) : tree_(tree) {
    if (tree_.bulkUpdates_++ == 0 && tree_.Hwnd()) ::SendMessageW(tree_.Hwnd(), WM_SETREDRAW, FALSE, 0);
}

TreeView::BulkUpdate::~BulkUpdate() {
    if (--tree_.bulkUpdates_ == 0 && tree_.Hwnd()) {
        ::SendMessageW(tree_.Hwnd(), WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(tree_.Hwnd(), nullptr, TRUE);
    }
}

Node* TreeView::NodeOf(HTREEITEM item) const {
    if (!item || !Hwnd()) return nullptr;
    TVITEMW data{};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    if (!TreeView_GetItem(Hwnd(), &data)) return nullptr;
    return reinterpret_cast<Node*>(data.lParam);
}

Node* TreeView::SelectedItem() const { return Hwnd() ? NodeOf(TreeView_GetSelection(Hwnd())) : nullptr; }

void TreeView::Select(Node& node, bool show) {
    if (!Hwnd()) return;
    TreeView_SelectItem(Hwnd(), node.Handle());
    if (show) TreeView_EnsureVisible(Hwnd(), node.Handle());
}

void TreeView::SetFocus() {
    HWND hwnd = Hwnd();
    if (!hwnd) return;
    ::SetFocus(hwnd);
    if (!TreeView_GetSelection(hwnd)) {
        if (HTREEITEM first = TreeView_GetRoot(hwnd)) TreeView_SelectItem(hwnd, first);
    }
}

Node* TreeView::NodeAt(POINT client) const {
    if (!Hwnd()) return nullptr;
    TVHITTESTINFO hit{};
    hit.pt = client;
    HTREEITEM item = TreeView_HitTest(Hwnd(), &hit);
    return item && (hit.flags & TVHT_ONITEM) ? NodeOf(item) : nullptr;
}

void TreeView::SetDropHighlight(Node* node) {
    if (Hwnd()) TreeView_SelectDropTarget(Hwnd(), node ? node->item_ : nullptr);
}

LRESULT TreeView::OnNotify(const NMHDR& header, bool* handled) {
    switch (header.code) {
        case TVN_SELCHANGEDW: {
            // The control is in the middle of its key handling: the click comes after it.
            const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
            if (change.action == TVC_BYKEYBOARD) {
                if (Node* node = reinterpret_cast<Node*>(change.itemNew.lParam))
                    ::PostMessageW(Hwnd(), NodeClickMessage(), static_cast<WPARAM>(node->slot_), generation_);
            }
            break;
        }
        case TVN_ITEMEXPANDINGW: {
            const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
            if (!expandingInCode_ && (change.action & (TVE_EXPAND | TVE_COLLAPSE)) == TVE_EXPAND) {
                if (Node* node = reinterpret_cast<Node*>(change.itemNew.lParam)) Fire(Expand, *node);
            }
            break;
        }
        case NM_DBLCLK:
            ::PostMessageW(Hwnd(), DblClickMessage(), 0, 0);
            break;
        case TVN_BEGINDRAGW: {
            const auto& drag = reinterpret_cast<const NMTREEVIEWW&>(header);
            Node* node = reinterpret_cast<Node*>(drag.itemNew.lParam);
            if (node && BeginDrag)
                ::PostMessageW(Hwnd(), BeginDragMessage(), static_cast<WPARAM>(node->slot_), generation_);
            break;
        }
        case NM_RCLICK:
            // Taken here, so that the tree asks for no context menu of its own; the menu comes
            // once the tree is done with the button (its commands may rebuild the tree).
            if (!ContextMenu) break;
            ::PostMessageW(Hwnd(), ContextMenuMessage(), 0, static_cast<LPARAM>(::GetMessagePos()));
            *handled = true;
            return TRUE;
        case TVN_BEGINLABELEDITW: {
            // The edit is about the node the user sees selected.
            const auto& edit = reinterpret_cast<const NMTVDISPINFOW&>(header);
            if (edit.item.hItem != TreeView_GetSelection(Hwnd())) TreeView_SelectItem(Hwnd(), edit.item.hItem);
            short cancel = 0;
            Fire(BeforeLabelEdit, cancel);
            *handled = true;
            editing_ = !cancel;
            return cancel ? TRUE : FALSE;
        }
        case TVN_ENDLABELEDITW: {
            // The control refuses its own update; the event runs once the edit is over,
            // because a handler may rebuild the tree and so delete the item being edited.
            const auto& edit = reinterpret_cast<const NMTVDISPINFOW&>(header);
            *handled = true;
            Node* node = NodeOf(edit.item.hItem);
            // Escape, or a label left as it was, is no edit.
            const bool first = std::exchange(editing_, false);
            if (first && edit.item.pszText && node && node->Text() != edit.item.pszText) {
                pendingEdit_ = {node->slot_, generation_, edit.item.pszText};
                ::PostMessageW(Hwnd(), AfterLabelEditMessage(), 0, 0);
            }
            return FALSE;
        }
        default:
            break;
    }
    return 0;
}

void TreeView::RaisePendingLabelEdit() {
    PendingEdit edit = std::move(pendingEdit_);
    pendingEdit_ = {};
    Node* node = nodes_.AtSlot(edit.slot);
    if (!node || edit.generation != generation_) return;  // the tree was rebuilt meanwhile
    // The edit is about its node, which the handler finds selected, wherever the click that
    // ended the edit moved the selection meanwhile.
    if (TreeView_GetSelection(Hwnd()) != node->item_) TreeView_SelectItem(Hwnd(), node->item_);
    short cancel = 0;
    std::wstring newString = edit.text;
    Fire(AfterLabelEdit, cancel, newString);
    if (cancel || edit.generation != generation_ || !Hwnd()) return;
    TVITEMW item{};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = node->item_;
    item.pszText = edit.text.data();
    TreeView_SetItem(Hwnd(), &item);
}

void TreeView::RaiseBeginDrag(int slot, unsigned generation) {
    // The button came up meanwhile: that was no drag.
    if (generation != generation_ || ::GetKeyState(VK_LBUTTON) >= 0) return;
    if (Node* node = nodes_.AtSlot(slot)) Fire(BeginDrag, *node);
}

void TreeView::RaiseKeyboardNodeClick(int slot, unsigned generation) {
    if (generation != generation_) return;  // the tree was rebuilt meanwhile
    if (Node* node = nodes_.AtSlot(slot)) Fire(NodeClick, *node);
}

// Keys the handler takes never reach the tree's own handling, so a command that rebuilds
// the tree runs outside it.
bool TreeView::RaiseKeyDown(WPARAM key) {
    if (!KeyDown) return false;
    int keyCode = static_cast<int>(key);
    Fire(KeyDown, keyCode, ShiftKeys(KeyFlagsNow()));
    return keyCode == 0;
}

void TreeView::RaiseContextMenu(LPARAM at) {
    if (!ContextMenu) return;
    POINT screen{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) {  // from the keyboard: at the selected node, or the tree's corner
        RECT item{};
        HTREEITEM selected = TreeView_GetSelection(Hwnd());
        if (selected && TreeView_GetItemRect(Hwnd(), selected, &item, TRUE)) {
            screen = {item.left, item.bottom};
        } else {
            screen = {0, 0};
        }
        ::ClientToScreen(Hwnd(), &screen);
    }
    Fire(ContextMenu, screen);
}

void TreeView::RaiseMouseUp(int button, POINT client) {
    if (!MouseUp) return;
    const Dpi dpi = ScreenDpi();
    Fire(MouseUp, button, ShiftKeys(KeyFlagsNow()), static_cast<float>(PixelsToTwips(client.x, dpi.x)),
         static_cast<float>(PixelsToTwips(client.y, dpi.y)));
}

// The tree view tracks the mouse itself after a button goes down and takes the
// button's release out of the queue; the release is reported once that is over.
LRESULT TreeView::OnButtonDown(UINT message, WPARAM wParam, LPARAM lParam, int button, int virtualKey) {
    HWND hwnd = Hwnd();
    // The right button chooses the node under it first: the context menu that the tree
    // asks for while it tracks the button is about that node.
    if (button == 2 && ContextMenu && !TreeView_GetEditControl(hwnd)) {
        TVHITTESTINFO hit{};
        hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (HTREEITEM item = TreeView_HitTest(hwnd, &hit); item && (hit.flags & TVHT_ONITEM))
            TreeView_SelectItem(hwnd, item);
    }
    const unsigned generation = generation_;
    const LRESULT result = CallOriginal(message, wParam, lParam);
    if (Hwnd() != hwnd) return result;

    if (button == 1 && generation == generation_) {
        TVHITTESTINFO hit{};
        hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        HTREEITEM item = TreeView_HitTest(hwnd, &hit);
        if (item && (hit.flags & TVHT_ONITEM) && item == TreeView_GetSelection(hwnd)) {
            if (Node* node = NodeOf(item)) Fire(NodeClick, *node);
        }
        if (Hwnd() != hwnd) return result;
    }

    const UINT upMessage = button == 1 ? WM_LBUTTONUP : WM_RBUTTONUP;
    MSG pending;
    if (::GetKeyState(virtualKey) < 0 || ::PeekMessageW(&pending, hwnd, upMessage, upMessage, PM_NOREMOVE)) {
        return result;  // still held, or the release is yet to come as a message of its own
    }
    const DWORD at = ::GetMessagePos();
    POINT client{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    ::ScreenToClient(hwnd, &client);
    RaiseMouseUp(button, client);
    return result;
}

LRESULT TreeView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    ComPtr<IUnknown> keep(owner_);
    switch (message) {
        case WM_LBUTTONDOWN:
            return OnButtonDown(message, wParam, lParam, 1, VK_LBUTTON);
        case WM_RBUTTONDOWN:
            return OnButtonDown(message, wParam, lParam, 2, VK_RBUTTON);
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            HWND hwnd = Hwnd();
            const LRESULT result = CallOriginal(message, wParam, lParam);
            const int button = message == WM_LBUTTONUP ? 1 : message == WM_RBUTTONUP ? 2 : 4;
            if (Hwnd() == hwnd) RaiseMouseUp(button, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return result;
        }
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (IsMenuKey(wParam) && ContextMenu) {
                RaiseContextMenu(-1);
                return 0;
            }
            if (RaiseKeyDown(wParam)) return 0;
            return CallOriginal(message, wParam, lParam);
        case WM_KEYUP:
        case WM_SYSKEYUP:
            // The menu keys' release would ask for the menu a second time.
            if (IsMenuKey(wParam) && ContextMenu) return 0;
            return CallOriginal(message, wParam, lParam);
        case WM_CONTEXTMENU:
            if (!ContextMenu) return CallOriginal(message, wParam, lParam);
            RaiseContextMenu(lParam);
            return 0;
        default:
            if (message == DblClickMessage()) {
                Fire(DblClick);
                return 0;
            }
            if (message == ContextMenuMessage()) {
                RaiseContextMenu(lParam);
                return 0;
            }
            if (message == AfterLabelEditMessage()) {
                RaisePendingLabelEdit();
                return 0;
            }
            if (message == NodeClickMessage()) {
                RaiseKeyboardNodeClick(static_cast<int>(wParam), static_cast<unsigned>(lParam));
                return 0;
            }
            if (message == BeginDragMessage()) {
                RaiseBeginDrag(static_cast<int>(wParam), static_cast<unsigned>(lParam));
                return 0;
            }
            return CallOriginal(message, wParam, lParam);
    }
}

}  // namespace cartulane::control
