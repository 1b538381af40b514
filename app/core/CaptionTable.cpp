// The English caption set, built from the action and menu tables plus the window's controls.
#include "CaptionTable.h"

#include "ActionTable.h"

namespace zelqor {
namespace {

// Captions of controls that no other table holds.
struct ControlCaption {
    std::string_view object;
    std::string_view japanese;
    std::string_view english;
};

constexpr ControlCaption kControlCaptions[] = {
    {"TabSheetSrc", "処理前", "Original"},
    {"TabSheetDst", "処理後", "Processed"},
    {"TabSheetParams", "オプション", "Params"},
    {"GroupBox_HdrParams", "HDR処理", "HDR"},
    {"GroupBox_HdrIntensity", "HDR化の程度", "Intensity"},
    {"Label_Hard", "強処理", "Hard"},
    {"Label_Soft", "微修正", "Soft"},
    {"GroupBox_CalcSize", "演算サイズ", "Calc Size"},
    {"Label_HiTexture", "質感保護", "Hi-Texture"},
    {"Label_QuickCalc", "高速演算", "Quick Calc"},
    {"GroupBox_HdrBorder", "明暗処理の境界", "Bright/Dark border"},
    {"Label_Bright", "明るい", "Bright"},
    {"Label_Dark", "暗い", "Dark"},
    {"GroupBox_SaveParams", "画像保存", "File Save"},
    {"RadioGroup_Exif", "Exif情報", "Exif"},
    {"RadioGroup_Exif.Items", "Exif 無し\r\nコピー\r\n画像サイズを修正してコピー",
     kEnglishExifItems},
    {"TCancelDlg", "処理中です", "Processing..."},
    {"TCancelDlg.CancelBtn", "キャンセル(&C)", "&Cancel"},
    {"TInputLevelForm.OkButton", "&Ok", "&Ok"},
    {"TInputLevelForm.CancelButton", "キャンセル(&C)", "&Cancel"},
    {"TAboutBox", "バージョン情報", "Version Info"},
};

std::vector<CaptionRow> Build() {
    std::vector<CaptionRow> rows;
    const auto add = [&rows](std::string_view object, std::string_view ja, std::string_view en) {
        // A caption that stays Japanese in both sets is not a row of the English set.
        if (ja != en) {
            rows.push_back({std::string(object), std::string(ja), std::string(en)});
        }
    };
    for (const MenuInfo& menu : MainMenuTable()) {
        add(menu.name, menu.caption, menu.englishCaption);
        for (const MenuEntryInfo& entry : menu.entries) {
            if (const ActionInfo* action = FindAction(entry.action)) {
                add(action->name, action->caption, action->englishCaption);
            }
        }
    }
    for (const ControlCaption& c : kControlCaptions) {
        add(c.object, c.japanese, c.english);
    }
    return rows;
}

}  // namespace

const std::vector<CaptionRow>& EnglishCaptionTable() {
    static const std::vector<CaptionRow> table = Build();
    return table;
}

}  // namespace zelqor
