// The action, menu and slider tables of the main window.
#include "ActionTable.h"

#include "ViewStyleTable.h"

namespace zelqor {
namespace {

ActionInfo Plain(std::string_view name,
                 std::string_view category,
                 std::string_view caption,
                 std::string_view english,
                 std::string_view shortcut = {},
                 bool enabledDuringRun = true) {
    ActionInfo a;
    a.name = name;
    a.category = category;
    a.caption = caption;
    a.englishCaption = english;
    a.shortcut = shortcut;
    a.enabledDuringRun = enabledDuringRun;
    return a;
}

ActionInfo WithAlternateShortcut(ActionInfo a, std::string_view shortcut) {
    a.alternateShortcut = shortcut;
    return a;
}

ActionInfo Make(std::string_view name,
                std::string_view caption,
                std::string_view english,
                int size,
                std::string_view shortcut = {}) {
    ActionInfo a = Plain(name, "Make", caption, english, shortcut);
    a.makeSize = size;
    a.isMake = true;
    a.enabledDuringRun = false;
    return a;
}

std::vector<ActionInfo> BuildActions() {
    std::vector<ActionInfo> actions = {
        Plain("ActionFileOpen", "File", "開く(&O)", "&Open", "Ctrl+O", false),
        Plain("ActionFileSave", "File", "保存(&S)", "&Save", "Ctrl+S"),
        // Ctrl+Q as on every Linux desktop.
        Plain("ActionFileExit", "File", "終了(&X)", "E&xit", "Ctrl+Q", false),
        Plain("ActionEditCopy", "Edit", "コピー(&C)", "&Copy", "Ctrl+C"),
        // Shift+Ctrl+V keeps the Exif of the last JPEG with the pasted picture (the paste reads
        // the Shift key itself); the toolkit matches keys exactly, so the action answers both.
        WithAlternateShortcut(
            Plain("ActionEditPaste", "Edit", "貼り付け(&P)", "&Paste", "Ctrl+V", false),
            "Shift+Ctrl+V"),
        Make("ActionMakePreview", "プレビュー(&P)", "&Preview", 0),
        Make("ActionMake600xN", "600 x N", "600 x N", 600),
        Make("ActionMake800xN", "800 x N", "800 x N", 800),
        Make("ActionMake1200xN", "1200 x N", "1200 x N", 1200),
        Make("ActionMake1600xN", "1600 x N", "1600 x N", 1600),
        Make("ActionMake1800xN", "1800 x N", "1800 x N", 1800),
        Make("ActionMakeFullsize", "フルサイズ(&F)", "&FullSize", kMakeFullSize, "Ctrl+F"),
        Plain("ActionHelpAbout", "Help", "バージョン情報(&A)", "&About"),
    };
    for (const ViewStyleInfo& s : kViewStyleTable) {
        ActionInfo a = Plain(s.actionName, "View", s.caption, s.englishCaption);
        a.tag = s.baseCode;
        a.checkable = true;
        a.radioGroup = 1;
        a.checkedAtStart = s.baseCode == kViewDefault;
        a.visibleAtStart = !s.hiddenAtStart;
        actions.push_back(a);
    }
    ActionInfo affect = Plain("ActionViewAffectSrc", "View", "[処理前] の表示も変える(&A)",
                              "&Affect Original Image");
    affect.checkable = true;
    actions.push_back(affect);
    // Looking closely: the keys photographers know from other viewers.
    actions.push_back(
        Plain("ActionViewFit", "View", "画面に合わせる(&F)", "&Fit to Window", "Ctrl+0"));
    actions.push_back(
        Plain("ActionViewActualPixels", "View", "等倍表示(&P)", "Actual &Pixels", "Ctrl+1"));
    // Ctrl++ is Shift+= on most layouts; the keypad's + reaches Ctrl++ by itself.
    actions.push_back(WithAlternateShortcut(
        Plain("ActionViewZoomIn", "View", "拡大(&I)", "Zoom &In", "Ctrl++"), "Ctrl+="));
    actions.push_back(Plain("ActionViewZoomOut", "View", "縮小(&O)", "Zoom &Out", "Ctrl+-"));
    return actions;
}

std::vector<MenuEntryInfo> ViewMenuEntries() {
    std::vector<MenuEntryInfo> entries;
    for (const ViewStyleInfo& s : kViewStyleTable) {
        entries.push_back({s.actionName, {}, {}});
    }
    entries.push_back({});
    entries.push_back({"ActionViewAffectSrc", {}, {}});
    entries.push_back({});
    for (const std::string_view zoom :
         {"ActionViewFit", "ActionViewActualPixels", "ActionViewZoomIn", "ActionViewZoomOut"}) {
        entries.push_back({zoom, {}, {}});
    }
    return entries;
}

}  // namespace

const std::vector<ActionInfo>& ActionTable() {
    static const std::vector<ActionInfo> table = BuildActions();
    return table;
}

const ActionInfo* FindAction(std::string_view name) {
    for (const ActionInfo& a : ActionTable()) {
        if (a.name == name) {
            return &a;
        }
    }
    return nullptr;
}

const std::vector<MenuInfo>& MainMenuTable() {
    static const std::vector<MenuInfo> table = {
        {"File1",
         "ファイル(&F)",
         "&File",
         {{"ActionFileOpen", {}, {}}, {"ActionFileSave", {}, {}}, {}, {"ActionFileExit", {}, {}}}},
        {"Edit1", "編集(&E)", "&Edit", {{"ActionEditCopy", {}, {}}, {"ActionEditPaste", {}, {}}}},
        // The opening parenthesis is full-width and the closing one is not, as the menu has it.
        {"Make1",
         "処理実行（&M)",
         "&Make",
         {{"ActionMakePreview", "Preview1", "Ctrl+P"},
          {},
          {"ActionMake600xN", {}, {}},
          {"ActionMake800xN", {}, {}},
          {"ActionMake1200xN", {}, {}},
          {"ActionMake1600xN", {}, {}},
          {"ActionMake1800xN", {}, {}},
          {},
          {"ActionMakeFullsize", {}, {}}}},
        {"View1", "表示(&V)", "&View", ViewMenuEntries()},
        {"Help1", "ヘルプ(&H)", "&Help", {{"ActionHelpAbout", {}, {}}}},
    };
    return table;
}

}  // namespace zelqor
