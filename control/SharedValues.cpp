#include "control/SharedValues.h"

namespace cartulane::control {

thread_local std::wstring CurrentBookName;
thread_local StaticComPtr<IDispatch> CurrentApp;
thread_local int PopupLeft = 0;
thread_local int PopupTop = 0;
thread_local int BookTreeHeight = 0;
thread_local int BookTreeWidth = 0;
thread_local std::wstring CopiedPath;
thread_local std::wstring CopiedName;
thread_local bool CopiedCut = false;
thread_local std::wstring PasteFolder;

}  // namespace cartulane::control
