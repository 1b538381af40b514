// The View-menu model and the action and menu tables, without widgets.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ActionTable.h"
#include "ViewMenuModel.h"

namespace zelqor {
namespace {

TEST(ViewMenuModel, SelectViewCodeMatchesByGroupAboveAThousandAndExactlyBelow) {
    struct Case {
        int code;
        int wantCurrent;
        int wantIndexTicked;  // by base code
    };
    const Case cases[] = {
        {20003, 20003, kViewVivid}, {50004, 50004, kViewSepia}, {10999, 10999, kViewMonochrome},
        {1, 1, kViewColorish},      {6, 6, kViewBluish},        {0, 0, kViewDefault},
        {7, 0, kViewDefault},  // nothing matches: nothing changes
        {999, 0, kViewDefault},
    };
    for (const Case& c : cases) {
        ViewMenuModel model;
        model.SelectViewCode(c.code);
        EXPECT_EQ(model.CurrentViewCode(), c.wantCurrent) << c.code;
        EXPECT_TRUE(model.Entries()[model.IndexOf(c.wantIndexTicked)].checked) << c.code;
        int ticked = 0;
        for (const auto& e : model.Entries()) {
            ticked += e.checked ? 1 : 0;
        }
        EXPECT_EQ(ticked, 1);
    }
}

TEST(ViewMenuModel, LevelStylesStoreTheLevelTheStrengthStandsFor) {
    struct Case {
        int baseCode;
        int strengthAtFirstAsk;  // what the dialog is opened with at level 0
        int answer;
        int wantCode;
    };
    for (const Case& c : {Case{kViewMonochrome, 4, 4, 10000}, Case{kViewMonochrome, 4, 1, 10003},
                          Case{kViewVivid, 0, 3, 20003}, Case{kViewMattari, 0, 4, 30004},
                          Case{kViewMiyabi, 0, 2, 40002}, Case{kViewSepia, 4, 0, 50004},
                          Case{kViewUguisu, 4, 2, 60002}}) {
        ViewMenuModel model;
        const int entry = model.IndexOf(c.baseCode);
        int asked = -1;
        model.Tick(entry);
        const bool repaint = model.Execute(
            entry, [&](int, int shown) { return asked = shown, c.answer; },
            [](Rgb) { return std::optional<Rgb>{}; });
        EXPECT_TRUE(repaint);
        EXPECT_EQ(asked, c.strengthAtFirstAsk) << c.baseCode;
        EXPECT_EQ(model.CurrentViewCode(), c.wantCode);
        EXPECT_EQ(model.LastViewCode(), c.wantCode);
    }
}

TEST(ActionTable, EveryMenuEntryNamesAnActionAndEveryActionIsInOneMenu) {
    std::multiset<std::string> inMenus;
    for (const MenuInfo& menu : MainMenuTable()) {
        for (const MenuEntryInfo& e : menu.entries) {
            if (!e.action.empty()) {
                EXPECT_NE(FindAction(e.action), nullptr) << e.action;
                inMenus.insert(std::string(e.action));
            }
        }
    }
    for (const ActionInfo& a : ActionTable()) {
        EXPECT_EQ(inMenus.count(std::string(a.name)), 1u) << a.name;
    }
    EXPECT_EQ(inMenus.size(), ActionTable().size());
}

}  // namespace
}  // namespace zelqor
