#pragma once
// What the control's panes and forms share on one user-interface thread: the folder tree's
// root, what the workbook tree leaves for the close-workbook pop-up, the copy that a paste
// in any pane of the thread takes, and the bookkeeping of the panes alive there.
//
// Each thread has one set, made at its first use and owned by the library, kept while the
// library is loaded: a root chosen and an item copied stay for the next pane. The panes
// keep it up: the last control to go lets go of the application it holds. It is reached
// through a plain pointer without a destructor, so unloading the library releases nothing.


#include "runtime/ComPtr.h"

#include <objidl.h>

#include <string>
#include <vector>

namespace cartulane::control {

class TestControl;

struct SharedValues {
    // The folder tree's root. Empty until the control's first layout sets the default.
    std::wstring RootPath;
    std::wstring PickedFolder;  // the last folder chosen through Form3, "" when cancelled

    std::wstring CurrentBookName;  // the workbook of the last clicked node
    ComPtr<IDispatch> CurrentApp;  // the application at that click
    // The last right-button release on the workbook tree and the tree's size, twips.
    int PopupLeft = 0;
    int PopupTop = 0;
    int BookTreeHeight = 0;
    int BookTreeWidth = 0;

    std::wstring CopiedPath;   // the key of the node last copied
    std::wstring CopiedName;   // its text: the name of the pasted copy
    bool CopiedCut = false;    // cut rather than copied: the next paste moves it
    std::wstring PasteFolder;  // the folder of the last paste, with a trailing backslash

    // The controls alive: the forms go with the last of them. Each removes itself as it goes.
    std::vector<TestControl*> LiveControls;
    int ModelessDisabled = 0;             // containers that have the forms disabled now
    bool ChoosingRoot = false;            // a pane's folder choice is open
    const IDataObject* Dragged = nullptr;  // what a pane of ours is dragging now
};

// This thread's values, made on first use.
SharedValues& Shared();

}  // namespace cartulane::control
