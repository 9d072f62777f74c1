// The window's commands as named actions (children of the window, found by name), its menus, context
// menu and tool bar. What a command does is connected by the window or by a controller (Connect).
#pragma once

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QToolBar;
class TMainForm;

struct TMainMenus {
    QMenu* FileMenu = nullptr;
    QMenu* AnimateMenu = nullptr;
    QMenu* ContextMenu = nullptr;
    // The recent files go in before it.
    QAction* RecentFilesSeparator = nullptr;
    QToolBar* ToolBar = nullptr;
    // The frame panel of animations in the tool bar.
    QLabel* FrameLabel = nullptr;
    QSlider* FrameSlider = nullptr;
    QAction* FrameLabelAction = nullptr;
    QAction* FrameSliderAction = nullptr;
};

// Every action of the window, with its caption, hint, shortcut and icon.
void CreateMainActions(TMainForm& form);
// The menu bar and the picture area's context menu.
TMainMenus CreateMainMenus(TMainForm& form);
// The tool bar with the frame panel of animations.
void CreateMainToolBar(TMainForm& form, TMainMenus& menus);
