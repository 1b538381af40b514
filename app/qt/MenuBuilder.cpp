// Actions and menus from the tables.
#include "MenuBuilder.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include "ActionTable.h"
#include "QtText.h"

using namespace zelqor;

ActionMap BuildActions(QWidget& window, const std::function<void(std::string_view)>& execute) {
    ActionMap actions;
    auto* viewGroup = new QActionGroup(&window);
    viewGroup->setExclusive(true);
    for (const ActionInfo& info : ActionTable()) {
        auto* action = new QAction(Q(info.caption), &window);
        action->setObjectName(Q(info.name));
        // The first key is the one the menu shows.
        QList<QKeySequence> keys{QKeySequence(Q(info.shortcut))};
        if (!info.alternateShortcut.empty()) {
            keys << QKeySequence(Q(info.alternateShortcut));
        }
        action->setShortcuts(keys);
        action->setCheckable(info.checkable);
        action->setChecked(info.checkedAtStart);
        action->setVisible(info.visibleAtStart);
        action->setData(info.tag);
        if (info.radioGroup == 1) {
            viewGroup->addAction(action);
        }
        window.addAction(action);
        actions.emplace(std::string(info.name), action);
        const std::string_view name = info.name;
        QObject::connect(action, &QAction::triggered, &window, [execute, name] { execute(name); });
    }
    return actions;
}

void BuildMenus(QMenuBar& bar, QWidget& window, const ActionMap& actions) {
    for (const MenuInfo& menuInfo : MainMenuTable()) {
        QMenu* menu = bar.addMenu(Q(menuInfo.caption));
        menu->setObjectName(Q(menuInfo.name));
        for (const MenuEntryInfo& entry : menuInfo.entries) {
            if (entry.action.empty()) {
                menu->addSeparator();
                continue;
            }
            QAction* action = actions.find(entry.action)->second;
            if (entry.ownShortcut.empty()) {
                menu->addAction(action);
                continue;
            }
            auto* proxy = new QAction(action->text(), &window);
            proxy->setObjectName(Q(entry.entryName));
            proxy->setShortcut(QKeySequence(Q(entry.ownShortcut)));
            window.addAction(proxy);
            menu->addAction(proxy);
            QObject::connect(proxy, &QAction::triggered, action, &QAction::trigger);
            QObject::connect(action, &QAction::changed, proxy, [action, proxy] {
                proxy->setText(action->text());
                proxy->setEnabled(action->isEnabled());
                proxy->setVisible(action->isVisible());
            });
        }
    }
}
