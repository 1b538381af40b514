// The English caption set and the few texts that come in two languages: every caption that
// changes on a non-Japanese desktop, with the kind of object that carries it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelqor {

inline constexpr std::string_view kEnglishApplicationTitle = "\"Zelqor\"-HDR";

// What a row's object is, so the window sets its text without guessing from the name.
enum class CaptionTarget {
    Action,        // an action of the window; the menu entries that show it follow
    Menu,          // a menu of the menu bar
    Page,          // a page of the page control
    GroupBox,      // a group box's title
    Label,         // a label's text
    RadioItems,    // the items of a radio group, one text each
    DialogTitle,   // a dialog's window caption
    DialogButton,  // a button of a dialog
    ToolTip,       // a control's tooltip
};

struct CaptionRow {
    CaptionTarget target;
    std::string dialog;  // the dialog's class name for the dialog rows; empty otherwise
    std::string object;  // the object's name (the dialog's own for DialogTitle)
    std::string japanese;
    std::string english;
    // RadioItems only: the item texts in order.
    std::vector<std::string> items;
};

// In the order they are applied: menus and actions first, then pages, groups and labels, then
// the dialogs. The action, menu and Exif rows are read from their own tables.
const std::vector<CaptionRow>& EnglishCaptionTable();

// A text that the window builds at run time in the user's language.
struct LocalText {
    std::string_view japanese;
    std::string_view english;

    std::string In(bool japaneseLocale) const {
        return std::string(japaneseLocale ? japanese : english);
    }
};

inline constexpr LocalText kPreviewQuestion{"プレビュー画像を作成しますか?",
                                            "Create Preview Image?"};
inline constexpr LocalText kLevelDialogCaption{"表示", "View"};
// The options page's live thumbnail group; the window starts it with the Japanese caption.
inline constexpr std::string_view kPreviewGroup = "GroupBox_Preview";
inline constexpr LocalText kPreviewGroupCaption{"プレビュー", "Preview"};
// Put before the fit's zoom in the status bar's zoom field.
inline constexpr LocalText kZoomFitMark{"全体 ", "Fit "};
// What a click on the preview does; the window starts it with the Japanese text.
inline constexpr LocalText kPreviewToolTip{
    "クリック: フルサイズの結果を等倍で表示\n"
    "ドラッグ: 表示位置を移動 / もう一度クリックか Esc: 戻る\n"
    "ダブルクリック: プレビュー",
    "Click: the full-size result at actual pixels\n"
    "Drag: move the spot / click again or Esc: back\n"
    "Double-click: preview run"};
inline constexpr LocalText kLargeSizeNotice{"大サイズ演算モード（低速演算）で実行します",
                                            "Large-size calculation mode (slower calculation)"};
// Asked before a save replaces a file: {name} the file's name, {original} and {result} sizes
// as "W x H".
inline constexpr LocalText kReplaceQuestion{"{name} は既に存在します。\n置き換えますか?",
                                            "{name} already exists.\nDo you want to replace it?"};
inline constexpr LocalText kReplaceSourceQuestion{
    "{name} は開いた元の写真 ({original}) です。\n処理結果 ({result}) で置き換えますか?\n元の写真は"
    "残りません。",
    "{name} is the original photo you opened ({original}).\nReplace it with the result "
    "({result})?\nThe original is not kept."};

}  // namespace zelqor
