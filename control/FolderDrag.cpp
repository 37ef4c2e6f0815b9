#include "control/FolderDrag.h"

#include "control/NodeImages.h"
#include "control/SharedValues.h"
#include "runtime/FileSystem.h"
#include "runtime/Handles.h"

#include <shlobj.h>

namespace cartulane::control {

namespace {

// How long a folder is hovered before it opens, and how often the tree scrolls a row
// while the pointer is near its edge.
constexpr ULONGLONG kOpenAfter = 1000;
constexpr ULONGLONG kScrollEvery = 100;

class DropSource final : public com::ComObject<DropSource, IDropSource> {
public:
    static const QITAB* Interfaces() {
        static const QITAB table[] = {QITABENT(DropSource, IDropSource), {}};
        return table;
    }
    // Esc or the other button gives up; releasing the left button drops.
    STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape || (keys & MK_RBUTTON)) return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

// A file manager that takes the item copies it unless the user asks otherwise.
void PreferCopy(IDataObject* data) {
    static const CLIPFORMAT format = static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT));
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
    if (!memory) return;
    if (auto* effect = static_cast<DWORD*>(::GlobalLock(memory))) {
        *effect = DROPEFFECT_COPY;
        ::GlobalUnlock(memory);
    }
    FORMATETC what{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = memory;
    if (FAILED(data->SetData(&what, &medium, TRUE))) ::GlobalFree(memory);
}

// The drive or share a path is on, as text: "C:" or "\\server\share".
std::wstring_view DriveOf(std::wstring_view path) {
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
    if (!path.starts_with(L"\\\\")) return {};
    const size_t server = path.find(L'\\', 2);
    return server == std::wstring_view::npos ? path : path.substr(0, path.find(L'\\', server + 1));
}

}  // namespace

ComPtr<IDataObject> FilesDataObject(const std::vector<std::wstring>& paths) {
    std::vector<UniqueCoTaskMemory<ITEMIDLIST_ABSOLUTE>> items;
    std::vector<PCUIDLIST_RELATIVE> children;
    for (const std::wstring& path : paths) {
        PIDLIST_ABSOLUTE parsed = nullptr;
        if (FAILED(::SHParseDisplayName(path.c_str(), nullptr, &parsed, 0, nullptr))) return {};
        items.emplace_back(parsed);
        children.push_back(::ILFindLastID(parsed));
    }
    if (items.empty()) return {};
    UniqueCoTaskMemory<ITEMIDLIST_ABSOLUTE> folder(::ILClone(items.front().get()));
    if (!folder || !::ILRemoveLastID(folder.get())) return {};
    ComPtr<IDataObject> data;
    if (FAILED(::CIDLData_CreateFromIDArray(folder.get(), static_cast<UINT>(children.size()), children.data(), &data)))
        return {};
    return data;
}

void DragItem(const std::wstring& path) {
    ComPtr<IDataObject> data = FilesDataObject({path});
    if (!data) return;
    PreferCopy(data.Get());
    ComPtr<DropSource> source = com::Make<DropSource>();
    if (!source) return;
    // Only compared while the drag runs, never called or released through.
    const IDataObject* outer = std::exchange(Shared().Dragged, data.Get());
    DWORD effect = DROPEFFECT_NONE;
    ::DoDragDrop(data.Get(), source.Get(), DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    Shared().Dragged = outer;
}

// ---- FolderDropTarget ----

FolderDropTarget::FolderDropTarget(TreeView& tree, HWND post) : tree_(&tree), post_(post) {}

const QITAB* FolderDropTarget::Interfaces() {
    static const QITAB table[] = {QITABENT(FolderDropTarget, IDropTarget), {}};
    return table;
}

UINT FolderDropTarget::PostedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"Cartulane.FolderTree.DropPosted");
    return message;
}

bool FolderDropTarget::Register() {
    if (!registered_ && tree_ && tree_->Hwnd()) registered_ = SUCCEEDED(::RegisterDragDrop(tree_->Hwnd(), this));
    return registered_;
}

void FolderDropTarget::Revoke() {
    if (registered_ && tree_ && tree_->Hwnd()) ::RevokeDragDrop(tree_->Hwnd());
    registered_ = false;
    Leave();
    tree_ = nullptr;
    drops_.clear();
    open_.clear();
}

void FolderDropTarget::RunPosted() {
    std::vector<FolderDrop> drops = std::move(drops_);
    drops_.clear();
    const std::wstring open = std::move(open_);
    open_.clear();
    ComPtr<FolderDropTarget> kept(this);  // a handler may close the pane
    if (!open.empty() && tree_ && OpenFolder) OpenFolder(open);
    for (FolderDrop& drop : drops)
        if (tree_ && Dropped) Dropped(std::move(drop));
}

Node* FolderDropTarget::FolderAt(POINTL at) const {
    if (!tree_ || !tree_->Hwnd()) return nullptr;
    POINT client{at.x, at.y};
    ::ScreenToClient(tree_->Hwnd(), &client);
    Node* node = tree_->NodeAt(client);
    return node && node->Image() != kImageWorkbook ? node : nullptr;
}

DWORD FolderDropTarget::EffectAt(DWORD keys, POINTL at, DWORD allowed, Node** folder) const {
    *folder = accepting_ ? FolderAt(at) : nullptr;
    if (!*folder) return DROPEFFECT_NONE;
    const std::wstring& key = (*folder)->Key();
    bool sameDrive = own_;
    for (const std::wstring& path : paths_) {
        // Onto the item itself, into a folder of its own, or into the folder that holds it.
        if (IsSameOrInside(key, path) || SameText(ParentPath(path), WithoutBackslash(key))) {
            *folder = nullptr;
            return DROPEFFECT_NONE;
        }
        sameDrive = sameDrive && SameText(DriveOf(path), DriveOf(key));
    }
    const bool forced = keys & (MK_CONTROL | MK_SHIFT);
    const DWORD wanted = (keys & MK_CONTROL) ? DROPEFFECT_COPY
                         : (keys & MK_SHIFT) ? DROPEFFECT_MOVE
                         : sameDrive         ? DROPEFFECT_MOVE
                                             : DROPEFFECT_COPY;
    DWORD effect = allowed & wanted;
    if (!effect && !forced) effect = allowed & (DROPEFFECT_COPY | DROPEFFECT_MOVE) & ~wanted;
    if (!effect) *folder = nullptr;
    return effect;
}

void FolderDropTarget::ScrollAndHover(POINTL at, Node* folder) {
    HWND tree = tree_ ? tree_->Hwnd() : nullptr;
    if (!tree) return;
    const ULONGLONG now = ::GetTickCount64();
    POINT client{at.x, at.y};
    ::ScreenToClient(tree, &client);
    RECT area{};
    ::GetClientRect(tree, &area);
    const int edge = TreeView_GetItemHeight(tree);
    if (now - lastScroll_ >= kScrollEvery) {
        const bool up = client.y < area.top + edge, down = client.y >= area.bottom - edge;
        if (up || down) {
            ::SendMessageW(tree, WM_VSCROLL, up ? SB_LINEUP : SB_LINEDOWN, 0);
            lastScroll_ = now;
        }
    }
    const std::wstring key = folder ? folder->Key() : std::wstring();
    if (key != hovered_) {
        hovered_ = key;
        hoveredSince_ = now;
    } else if (!key.empty() && open_.empty() && !folder->Expanded() && folder->Children() > 0 &&
               now - hoveredSince_ >= kOpenAfter) {
        open_ = key;
        ::PostMessageW(post_, PostedMessage(), 0, 0);
    }
}

void FolderDropTarget::Leave() {
    if (tree_) tree_->SetDropHighlight(nullptr);
    paths_.clear();
    own_ = accepting_ = false;
    hovered_.clear();
}

STDMETHODIMP FolderDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    const DWORD allowed = std::exchange(*effect, DROPEFFECT_NONE);
    return Boundary([&] {
        Leave();
        if (!tree_) return S_OK;
        own_ = data && data == Shared().Dragged;
        paths_ = DroppedFiles(data);
        accepting_ = !paths_.empty() && (!Accepting || Accepting());
        Node* folder = nullptr;
        *effect = EffectAt(keys, at, allowed, &folder);
        tree_->SetDropHighlight(folder);
        return S_OK;
    });
}

STDMETHODIMP FolderDropTarget::DragOver(DWORD keys, POINTL at, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    const DWORD allowed = std::exchange(*effect, DROPEFFECT_NONE);
    return Boundary([&] {
        if (!tree_) return S_OK;
        Node* folder = nullptr;
        *effect = EffectAt(keys, at, allowed, &folder);
        tree_->SetDropHighlight(folder);
        ScrollAndHover(at, accepting_ ? FolderAt(at) : nullptr);
        return S_OK;
    });
}

STDMETHODIMP FolderDropTarget::DragLeave() {
    Leave();
    return S_OK;
}

STDMETHODIMP FolderDropTarget::Drop(IDataObject*, DWORD keys, POINTL at, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    const DWORD allowed = std::exchange(*effect, DROPEFFECT_NONE);
    return Boundary([&] {
        Node* folder = nullptr;
        const DWORD chosen = tree_ ? EffectAt(keys, at, allowed, &folder) : DROPEFFECT_NONE;
        FolderDrop drop{.paths = std::move(paths_), .folder = folder ? folder->Key() : std::wstring(),
                        .move = chosen == DROPEFFECT_MOVE};
        Leave();
        if (!folder || chosen == DROPEFFECT_NONE) return S_OK;
        drops_.push_back(std::move(drop));
        ::PostMessageW(post_, PostedMessage(), 0, 0);
        // The move is done here: the program that dragged is told no move happened, so that
        // it removes nothing itself.
        *effect = chosen == DROPEFFECT_MOVE ? DROPEFFECT_NONE : chosen;
        return S_OK;
    });
}

}  // namespace cartulane::control
