#pragma once
// Values the workbook tree leaves for the close-workbook pop-up, one set per
// user-interface thread, kept while the library is loaded.

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

}  // namespace cartulane::control
