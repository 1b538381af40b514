// The English caption set, built from the action, menu and Exif tables plus the window's controls.
#include "CaptionTable.h"

#include "ActionTable.h"
#include "ParameterTable.h"

namespace zelqor {
namespace {

// Captions of controls that no other table holds.
struct ControlCaption {
    CaptionTarget target;
    std::string_view dialog;
    std::string_view object;
    std::string_view japanese;
    std::string_view english;
};

constexpr ControlCaption kControlCaptions[] = {
    {CaptionTarget::Page, {}, "TabSheetSrc", "処理前", "Original"},
    {CaptionTarget::Page, {}, "TabSheetDst", "処理後", "Processed"},
    {CaptionTarget::Page, {}, "TabSheetParams", "オプション", "Params"},
    {CaptionTarget::GroupBox, {}, "GroupBox_HdrParams", "HDR処理", "HDR"},
    {CaptionTarget::GroupBox, {}, "GroupBox_HdrIntensity", "HDR化の程度", "Intensity"},
    {CaptionTarget::Label, {}, "Label_Hard", "強処理", "Hard"},
    {CaptionTarget::Label, {}, "Label_Soft", "微修正", "Soft"},
    {CaptionTarget::GroupBox, {}, "GroupBox_CalcSize", "演算サイズ", "Calc Size"},
    {CaptionTarget::Label, {}, "Label_HiTexture", "質感保護", "Hi-Texture"},
    {CaptionTarget::Label, {}, "Label_QuickCalc", "高速演算", "Quick Calc"},
    {CaptionTarget::GroupBox, {}, "GroupBox_HdrBorder", "明暗処理の境界", "Bright/Dark border"},
    {CaptionTarget::Label, {}, "Label_Bright", "明るい", "Bright"},
    {CaptionTarget::Label, {}, "Label_Dark", "暗い", "Dark"},
    {CaptionTarget::GroupBox, {}, "GroupBox_SaveParams", "画像保存", "File Save"},
    {CaptionTarget::GroupBox, {}, "RadioGroup_Exif", "Exif情報", "Exif"},
    {CaptionTarget::RadioItems, {}, "RadioGroup_Exif", {}, {}},
    {CaptionTarget::GroupBox,
     {},
     kPreviewGroup,
     kPreviewGroupCaption.japanese,
     kPreviewGroupCaption.english},
    {CaptionTarget::ToolTip, {}, kPreviewGroup, kPreviewToolTip.japanese, kPreviewToolTip.english},
    {CaptionTarget::DialogTitle, "TCancelDlg", "TCancelDlg", "処理中です", "Processing..."},
    {CaptionTarget::DialogButton, "TCancelDlg", "CancelBtn", "キャンセル(&C)", "&Cancel"},
    {CaptionTarget::DialogButton, "TInputLevelForm", "OkButton", "&Ok", "&Ok"},
    {CaptionTarget::DialogButton, "TInputLevelForm", "CancelButton", "キャンセル(&C)", "&Cancel"},
    {CaptionTarget::DialogTitle, "TAboutBox", "TAboutBox", "バージョン情報", "Version Info"},
};

// The Exif items: set as one text with CR LF between them, shown one item per button.
CaptionRow ExifItemsRow() {
    CaptionRow row{CaptionTarget::RadioItems, {}, "RadioGroup_Exif", {}, {}, {}};
    for (const ExifChoiceInfo& choice : kExifChoiceTable) {
        const std::string separator = row.items.empty() ? "" : "\r\n";
        row.japanese += separator + std::string(choice.caption);
        row.english += separator + std::string(choice.englishCaption);
        row.items.emplace_back(choice.englishCaption);
    }
    return row;
}

std::vector<CaptionRow> Build() {
    std::vector<CaptionRow> rows;
    const auto add = [&rows](CaptionTarget target, std::string_view dialog, std::string_view object,
                             std::string_view ja, std::string_view en) {
        // A text that stays the same in both sets is set all the same: the dialogs' "&Ok" is
        // one of the rows the English set names.
        if (ja != en || target == CaptionTarget::DialogButton) {
            rows.push_back({target,
                            std::string(dialog),
                            std::string(object),
                            std::string(ja),
                            std::string(en),
                            {}});
        }
    };
    for (const MenuInfo& menu : MainMenuTable()) {
        add(CaptionTarget::Menu, {}, menu.name, menu.caption, menu.englishCaption);
        for (const MenuEntryInfo& entry : menu.entries) {
            if (const ActionInfo* action = FindAction(entry.action)) {
                add(CaptionTarget::Action, {}, action->name, action->caption,
                    action->englishCaption);
            }
        }
    }
    for (const ControlCaption& c : kControlCaptions) {
        if (c.target == CaptionTarget::RadioItems) {
            rows.push_back(ExifItemsRow());
        } else {
            add(c.target, c.dialog, c.object, c.japanese, c.english);
        }
    }
    return rows;
}

}  // namespace

const std::vector<CaptionRow>& EnglishCaptionTable() {
    static const std::vector<CaptionRow> table = Build();
    return table;
}

}  // namespace zelqor
