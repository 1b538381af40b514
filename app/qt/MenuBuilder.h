// The window's actions and menu bar, built from the action and menu tables.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

class QAction;
class QMenuBar;
class QWidget;

using ActionMap = std::map<std::string, QAction*, std::less<>>;

// One action per row of the action table, owned by window and added to it so its shortcuts work
// whether or not a menu is open or the entry is shown; each runs execute with its name. The view
// styles tick as one group.
ActionMap BuildActions(QWidget& window, const std::function<void(std::string_view)>& execute);

// The menus of the menu table. An entry with a shortcut its action lacks gets a proxy action of
// its own that follows the action's text, state and visibility.
void BuildMenus(QMenuBar& bar, QWidget& window, const ActionMap& actions);
