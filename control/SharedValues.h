#pragma once
// Values shared by the control's panes and forms, one set per user-interface thread,
// kept while the library is loaded: what the workbook tree leaves for the
// close-workbook pop-up, and the copy that a paste in any pane of the thread takes.

#include "runtime/ComPtr.h"

#include <string>

namespace cartulane::control {

extern thread_local std::wstring CurrentBookName;  // the workbook of the last clicked node
// The application at that click; released once the library may be unloaded.
extern thread_local StaticComPtr<IDispatch> CurrentApp;
// The last right-button release on the workbook tree and the tree's size, twips.
extern thread_local int PopupLeft;
extern thread_local int PopupTop;
extern thread_local int BookTreeHeight;
extern thread_local int BookTreeWidth;

extern thread_local std::wstring CopiedPath;   // the key of the node last copied
extern thread_local std::wstring CopiedName;   // its text: the name of the pasted copy
extern thread_local bool CopiedCut;            // cut rather than copied: the next paste moves it
extern thread_local std::wstring PasteFolder;  // the folder of the last paste, with a trailing backslash

}  // namespace cartulane::control
