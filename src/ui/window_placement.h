#pragma once

class QWidget;

class QAction;
class QMenu;
class QString;

namespace lingchao {

// A window opened from the main window or the floating clock: modal to the window it opens over only (never the
// clock, whose menu stops and skips bells), and centred on the screen when that window is hidden, instead of at
// its stale place or under the clock. Call before the window is shown.
void OpenOverOpener(QWidget* window);

// The window a dialog opened from `origin` (a menu's owner, a button) should open over: its top-level window
// while that is on screen, else none, so that a hidden main window or the clock's menu is never blocked.
QWidget* VisibleOpener(QWidget* origin);

// The item just before the one named `objectName` in `menu` (the separator opening its group), where items that
// belong before that group go; null (append) when there is none.
QAction* ItemBefore(QMenu* menu, const QString& objectName);

}  // namespace lingchao
