#pragma once
// The add-in's task panes: made with the control inside, found again by their window,
// refreshed, shown and hidden. Before 15.0 the application has one window and the add-in
// one pane (FileTaskPane). From 15.0 on every workbook window has its own panes and is
// deleted with them, so the add-in keeps one pane in each window it sees activated
// (WindowPanes), toggles them together, refreshes each, and forgets a pane once its window
// is gone or a call on it fails, calling nothing on it again.

#include "addin/AddInValues.h"

namespace cartulane::addin {

// A pane with the control, docked left, 245 wide, the control given the application,
// shown or hidden: in the given window, or (none) in the active one. It becomes the pane
// of the active window (FileTaskPane, PaneControl) as it is made; each value stays set
// once its step has run, whatever fails after it. One at a time: asked for while one is
// being made (by an event the host raises meanwhile), nothing is made.
HRESULT MakePane(ICTPFactory* factory, IDispatch* window, bool visible);

// A window became active: the pane of ours in it becomes FileTaskPane; a window without
// one gets one (shown or hidden as the panes are), its workbook tree filled. Before 15.0
// the one pane is made here when it could not be made at start.
HRESULT ShowPaneOf(IDispatch* window);

// Whether the application is visible (Application.Visible): one started by another program
// is not, and gets no pane (nor tree, nor watch) until it is. True when it cannot be asked.
bool ApplicationVisible();

// The user unticked the add-in: every pane of ours is deleted and let go.
void DeletePanes();

// Every live pane's workbook tree is filled anew.
HRESULT RefreshWorkbookTrees();

// The ribbon's toggle: every pane shown or hidden; the toggle's window (the ribbon
// control's Context) gets a pane when it has none and the panes are to be shown.
HRESULT ShowPanes(IDispatch* ribbonControl, bool shown);
// Whether the toggle of that ribbon control's window is down: the panes are shown and that
// window has one of them (before 15.0: the one pane has been made).
bool ToggleDown(IDispatch* ribbonControl);

}  // namespace cartulane::addin
