#pragma once
// The keyed tree view both trees of the control are: a SysTreeView32 with a
// Nodes collection (key lookup by hash, index lookup in order of addition) and
// the control's events raised from the real control's notifications.

#include "runtime/Form.h"
#include "runtime/Window.h"

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cartulane::control {

class TreeView;

// Relationship of a new node to its Relative: right after it or right before it among
// its siblings, or last among its children.
constexpr int tvwNext = 2, tvwPrevious = 3, tvwChild = 4;

// Errors of the Nodes collection, with the numbers the common controls use.
HRESULT KeyNotUniqueError();
HRESULT ElementNotFoundError();

class Node {
public:
    const std::wstring& Key() const { return key_; }
    // The label the control shows (label editing changes it).
    std::wstring Text() const;
    int Image() const { return image_; }
    // 1-based, in order of addition among the nodes in the tree.
    int Index() const;
    Node* Parent() const { return parent_; }
    int Children() const { return children_; }
    Node* Child() const { return child_; }
    Node* Next() const { return next_; }
    Node* Previous() const { return previous_; }
    bool Expanded() const;
    void SetExpanded(bool expanded);
    // Changes the label the control shows.
    void SetText(const std::wstring& text);
    // Shows the node dimmed, as an item cut to be moved is, or as usual.
    void SetCut(bool cut);
    HTREEITEM Handle() const { return item_; }

private:
    friend class TreeView;
    friend class TreeNodes;
    TreeView* tree_ = nullptr;
    HTREEITEM item_ = nullptr;
    std::wstring key_;
    int image_ = 0;
    int slot_ = 0;  // place in order of addition, removed nodes counted
    Node* parent_ = nullptr;
    Node* child_ = nullptr;
    Node* lastChild_ = nullptr;
    Node* next_ = nullptr;
    Node* previous_ = nullptr;
    int children_ = 0;
    bool removed_ = false;
    bool expandedEmpty_ = false;  // expanded while it had no children yet
};

class TreeNodes {
public:
    // A top-level node, last among the top-level nodes.
    HRESULT Add(std::wstring_view key, const std::wstring& text, int image, Node** added = nullptr);
    // A node related to the node keyed relative: tvwChild puts it last among relative's
    // children, tvwNext right after relative, tvwPrevious right before it. Fails when key
    // exists or relative names no node.
    HRESULT Add(std::wstring_view relative, int relationship, std::wstring_view key, const std::wstring& text,
                int image, Node** added = nullptr);
    // Takes the node out of the tree with everything below it. A removed node keeps its
    // memory (and its key and image) until the tree is cleared, so that a handler still
    // holding it reads no freed memory; it is found by no key or index.
    void Remove(Node& node);
    // Gives the node another key; fails when another node has it.
    HRESULT SetKey(Node& node, std::wstring_view key);
    void Clear();
    int Count() const { return static_cast<int>(nodes_.size()) - removed_; }
    // 1-based, in order of addition among the nodes in the tree; nullptr when out of range.
    Node* Item(int index);
    // nullptr when no node has the key.
    Node* Find(std::wstring_view key) const;

private:
    friend class TreeView;
    friend class Node;
    explicit TreeNodes(TreeView& tree) : tree_(tree) {}
    HRESULT Insert(Node* parent, Node* after, std::wstring_view key, const std::wstring& text, int image,
                   Node** added);
    // The node at its place in order of addition, unless it was removed.
    Node* AtSlot(int slot);

    void Forget();  // every node, after the control's items went

    TreeView& tree_;
    std::deque<Node> nodes_;
    int removed_ = 0;
    Node* firstTop_ = nullptr;
    Node* lastTop_ = nullptr;
    std::unordered_map<std::wstring_view, Node*> byKey_;  // views of the nodes' own keys
};

// Placed in twips like every control of a form (Move, Left, Top, Width, Height).
class TreeView : public FormControl, public Subclass {
public:
    TreeView();
    ~TreeView() override;

    enum class LabelEdit { Manual, None };
    // Creates the SysTreeView32 as a child of parent, with lines and buttons, and label
    // editing unless it is None. The parent's window procedure passes its WM_NOTIFY
    // messages to ReflectNotify.
    HRESULT Create(HWND parent, UINT id, HIMAGELIST images, LabelEdit labelEdit = LabelEdit::Manual);

    // For the parent's window procedure: handles a WM_NOTIFY from a TreeView's window.
    // Returns false for any other message, which the parent then handles itself.
    static bool ReflectNotify(UINT message, LPARAM lParam, LRESULT* result);
    HWND Hwnd() const { return Subclass::Hwnd(); }

    // Suspends drawing while many nodes change: the tree is laid out and drawn once, when
    // the outermost scope ends. Without it every node added under an expanded parent
    // makes the control lay out all visible nodes again.
    class BulkUpdate {
    public:
        explicit BulkUpdate(TreeView& tree);
        ~BulkUpdate();
        BulkUpdate(const BulkUpdate&) = delete;
        BulkUpdate& operator=(const BulkUpdate&) = delete;

    private:
        TreeView& tree_;
    };

    TreeNodes& Nodes() { return nodes_; }
    Node* SelectedItem() const;
    // Selects the node (no NodeClick: the program chose it) and, with show, scrolls it into view.
    void Select(Node& node, bool show = true);
    // The COM object the tree belongs to: it is kept whole while the tree raises an event
    // (a handler's command may make the host let go of it).
    void SetOwner(IUnknown* owner) { owner_ = owner; }
    // Takes the input focus; a tree with nodes and no selection selects its first node.
    void SetFocus();
    // The node at a point of the tree's client area (on its label or icon), or nullptr.
    Node* NodeAt(POINT client) const;
    // Shows the node as the target of a drop (nullptr: none).
    void SetDropHighlight(Node* node);

    // Events, raised on the thread of the window, never from inside the control's own
    // handling of a message: a handler may rebuild the tree. The node handed to a handler
    // lives until the tree is cleared; a handler that makes calls which may rebuild the
    // tree takes what it needs from the node first.
    std::function<void(Node& node)> NodeClick;  // a node clicked or chosen with the keys, after it is selected
    std::function<void(Node& node)> Expand;     // the user expands a node
    std::function<void()> DblClick;
    // An in-place edit of the selected node's label is about to start; cancel refuses it.
    std::function<void(short& cancel)> BeforeLabelEdit;
    // Raised once an in-place edit that changed the label has ended; the new label stands
    // unless cancel is set.
    std::function<void(short& cancel, std::wstring& newString)> AfterLabelEdit;
    // Button 1 left, 2 right, 4 middle; Shift 1 shift, 2 ctrl, 4 alt; X and Y in twips.
    std::function<void(int button, int shift, float x, float y)> MouseUp;
    // A key goes down in the tree (Shift 1 shift, 2 ctrl, 4 alt); a handler that sets
    // keyCode to 0 takes the key, and the tree does nothing more with it.
    std::function<void(int& keyCode, int shift)> KeyDown;
    // The user starts dragging a node with the left button. Raised once the tree is done with
    // the mouse message, while the button is still down.
    std::function<void(Node& node)> BeginDrag;
    // The user asks for the context menu (the right button, Shift+F10, the menu key), at
    // a point on the screen; the selected node is the one it is about.
    std::function<void(POINT screen)> ContextMenu;

private:
    friend class Node;
    friend class TreeNodes;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnDetached() override;
    LRESULT OnNotify(const NMHDR& header, bool* handled);
    LRESULT OnButtonDown(UINT message, WPARAM wParam, LPARAM lParam, int button, int virtualKey);
    void RaiseMouseUp(int button, POINT client);
    void RaisePendingLabelEdit();
    void RaiseKeyboardNodeClick(int slot, unsigned generation);
    void RaiseBeginDrag(int slot, unsigned generation);
    bool RaiseKeyDown(WPARAM key);
    void RaiseContextMenu(LPARAM at);
    Node* NodeOf(HTREEITEM item) const;

    TreeNodes nodes_;
    IUnknown* owner_ = nullptr;
    int expandingInCode_ = 0;
    int bulkUpdates_ = 0;
    unsigned generation_ = 0;  // counts Clear calls, so an event can tell its node is gone
    // An in-place edit is on. Wine's tree reports the end of an edit a second time, with
    // the typed text, when its edit box loses the focus on the way out, even after Escape:
    // only the first report of an edit counts.
    bool editing_ = false;
    struct PendingEdit {
        int slot = 0;
        unsigned generation = 0;
        std::wstring text;
    } pendingEdit_;
};

}  // namespace cartulane::control
