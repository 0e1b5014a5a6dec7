#pragma once

class QWidget;

namespace lingchao {

// Makes a top-level window float: above other windows and without a taskbar or pager entry.
// Call before the window is first shown; the window manager reads these states when the window is mapped.
// Where X11 is absent only the Qt flags are set.
void MakeFloatingWindow(QWidget& window);

// Adds _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER to a not yet mapped X11 window
// (Qt does not set them for tool windows). Nothing where X11 is absent or the window is already visible.
void SkipTaskbarAndPager(QWidget& window);

}  // namespace lingchao
