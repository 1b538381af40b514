// The window's logic without widgets: group shortcuts, the caption set, runs and the commands,
// driven through a fake window and the scripted platform services.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "../engine/TestImages.h"
#include "ActionTable.h"
#include "CaptionTable.h"
#include "FakePlatformServices.h"
#include "GroupShortcuts.h"
#include "ImageIoError.h"
#include "JpegCodec.h"
#include "PictureFilters.h"
#include "PictureFormats.h"
#include "TempFolder.h"
#include "WindowCommands.h"

namespace zelqor {
namespace {

using Positions = std::vector<int>;  // by the parameter table's rows
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

Positions Of(const OptionPositions& p) {
    return Positions(p.position.begin(), p.position.end());
}

TEST(GroupShortcuts, ResetToggleAndCycleFromTheTable) {
    struct Case {
        const char* group;
        bool byUser;
        Positions from;
        Positions to;
    };
    const Case cases[] = {
        {"GroupBox_HdrIntensity", true, {5, 5, 5, 18, 3}, {0, 5, 5, 18, 3}},
        {"GroupBox_HdrIntensity", false, {5, 5, 5, 18, 3}, {5, 5, 5, 18, 3}},
        {"GroupBox_CalcSize", true, {5, 5, 5, 18, 3}, {5, 0, 5, 18, 3}},
        {"GroupBox_CalcSize", true, {5, 9, 5, 18, 3}, {5, 5, 5, 18, 3}},
        {"GroupBox_HdrBorder", true, {5, 5, 2, 18, 3}, {5, 5, 5, 18, 3}},
        {"GroupBox_HdrEnhancer", true, {5, 5, 5, 18, 3}, {5, 5, 5, 10, 3}},
        {"GroupBox_HdrEnhancer", false, {5, 5, 5, 18, 3}, {5, 5, 5, 18, 3}},
        {"GroupBox_SaveParams", true, {5, 5, 5, 18, 3}, {5, 5, 5, 18, 0}},
        {"GroupBox_SaveParams", false, {5, 5, 5, 18, 7}, {5, 5, 5, 18, 3}},
        {"GroupBox_HdrParams", true, {5, 5, 5, 18, 7}, {0, 4, 5, 10, 7}},
        {"GroupBox_HdrParams", true, {0, 4, 5, 10, 7}, {0, 3, 5, 0, 7}},
        {"GroupBox_HdrParams", true, {0, 3, 5, 0, 7}, {10, 10, 5, 20, 7}},
        {"GroupBox_HdrParams", true, {10, 10, 5, 20, 7}, {5, 5, 5, 18, 7}},
        {"GroupBox_HdrParams", true, {5, 5, 4, 18, 3}, {5, 5, 5, 18, 3}},
        {"GroupBox_Unknown", true, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        OptionPositions p;
        std::copy(c.from.begin(), c.from.end(), p.position.begin());
        p.exif = ExifTreatment::None;
        p.luminance = false;
        const OptionPositions after = GroupDoubleClicked(c.group, c.byUser, p);
        EXPECT_EQ(Of(after), c.to) << c.group << " from " << c.from[0] << c.from[4];
        EXPECT_EQ(after.exif, std::string(c.group) == "GroupBox_SaveParams" ? ExifTreatment::Copy
                                                                            : ExifTreatment::None);
        EXPECT_FALSE(after.luminance);
    }
}

// The Exif items come from the Exif table in its order, as one text and a text per button; the
// dialog rows name the dialogs the window makes; the two-language texts choose by the locale.
TEST(CaptionTable, ExifItemsDialogRowsAndTwoLanguageTexts) {
    const std::set<std::string> dialogs = {"TCancelDlg", "TInputLevelForm", "TAboutBox"};
    int exifRows = 0;
    for (const CaptionRow& row : EnglishCaptionTable()) {
        if (row.target == CaptionTarget::RadioItems) {
            ++exifRows;
            EXPECT_EQ(row.items,
                      (std::vector<std::string>{"no-Exif", "Copy", "Copy with Size-info"}));
            EXPECT_EQ(row.english, "no-Exif\r\nCopy\r\nCopy with Size-info");
        }
        EXPECT_TRUE(row.dialog.empty() || dialogs.count(row.dialog)) << row.object;
    }
    EXPECT_EQ(exifRows, 1);
    EXPECT_EQ(kPreviewQuestion.In(false), "Create Preview Image?");
    EXPECT_EQ(kLevelDialogCaption.In(true), "表示");
}

// A window that records what the run and the commands ask of it.
class FakeWindow : public RunWindow, public CommandWindow, public DocumentView, public ZoomView {
  public:
    const std::string& Title() const override { return title; }
    void SetWindowCaption(const std::string& c) override { caption = c; }
    void SetStatusText(const std::string& text) override { status = text; }
    bool HasProgressDialog() const override { return true; }
    bool PostRunAndShowProgressDialog(int n) override {
        dialogShown = true;
        runs->HandleRunRequest(n);  // as the dialog's modal loop delivers the request
        return cancel;
    }
    void ShowDialogProgress(const std::string&, int, int) override {}
    bool ProgressDialogCancelled() const override { return cancel; }
    void CloseProgressDialog() override { dialogClosed = true; }
    void SetRunActionsEnabled(bool enabled) override { actionsEnabled.push_back(enabled); }
    Page CurrentPage() const override { return page; }
    void ActivatePage(Page p) override { page = p; }
    void RepaintNow(Page) override {}
    void Repaint(Page) override {}
    void FocusPages() override {}
    Rect PanelClient() const override { return Rect{0, 0, 40, 30}; }
    void ProcessEvents() override {}
    void CloseLater() override { closed = true; }
    void RunProgressed(int, int) override {
        if (onProgress) {
            onProgress();
        }
    }
    void CloseWindow() override { closed = true; }
    void ShowAboutBox() override { aboutShown = true; }
    int AskLevel(const std::string&, const std::string&, int) override { return -1; }
    std::string ActionText(std::string_view a) const override { return std::string(a); }
    bool ActionChecked(std::string_view) const override { return false; }
    void SyncViewActions() override {}
    void ShowSourcePage() override { page = Page::Source; }
    void RepaintSrc() override {}
    void RepaintDst() override {}
    void RefreshCalcSizeLabel() override {}
    void ShowStatusText(const std::string& text) override { status = text; }
    void ShowZoom(const std::string& text, bool) override { zoomText = text; }

    std::string title = "ZelqorHDR", caption, status, zoomText;
    RunController* runs = nullptr;
    std::function<void()> onProgress;
    Page page = Page::Options;
    bool cancel = false, dialogShown = false, dialogClosed = false, closed = false,
         aboutShown = false;
    std::vector<bool> actionsEnabled;
};

class WindowLogicTest : public ::testing::Test {
  protected:
    WindowLogicTest() { window.runs = &runs; }

    FakePlatformServices services;
    Document doc;
    FakeWindow window;
    OptionPositions options = StartPositions();
    ViewMenuModel viewMenu;
    DisplayColour colour;
    RunController runs{doc, services, window, options};
    FileActions files{doc, services, window, viewMenu, options, colour};
    PageZoom zoom{doc, window, services, window};
    WindowCommands commands{doc, services, files, runs, viewMenu, zoom, window, window};
};

TEST_F(WindowLogicTest, MakeCommandsRunAtTheirSizeWithTheOptionsValues) {
    commands.Execute("ActionMake600xN");
    EXPECT_EQ(services.Texts(), std::vector<std::string>{"no input bitmap"});
    EXPECT_TRUE(window.dialogClosed);
    doc.SetSource(test_images::Noise(300, 200, 3));
    options[ParamId::HdrStrength] = 0;  // strength 10: the run must see the options as they are
    commands.Execute("ActionMakeFullsize");
    EXPECT_EQ(doc.BitmapDst().Width(), 300);
    EXPECT_EQ(window.page, Page::Processed);
    EXPECT_EQ(window.actionsEnabled, (std::vector<bool>{false, true}));
    EXPECT_EQ(window.caption, "ZelqorHDR");
    EXPECT_NE(window.status.find("sec (300 x 200)"), std::string::npos) << window.status;
    RunSettings strong;
    strong.params.hdrStrength = 10;
    struct : RunObserver {
        bool Poll(int, int) override { return false; }
    } quiet;
    WorkingBitmap expected;
    ProcessingRun().ProcessBitmap(expected, doc.BitmapSrc(), strong, quiet);
    EXPECT_EQ(doc.BitmapDst(), expected);
}

TEST_F(WindowLogicTest, CancelCloseDuringARunAndThePreviewQuestion) {
    // Slow enough that the run polls at least once: a close and a cancel need a poll to land in.
    runs.Engine().SetEngine(RunEngine::Literal);
    options[ParamId::CalcSize] = 0;
    doc.SetSource(test_images::Noise(600, 400, 4));
    window.cancel = true;
    window.onProgress = [&] { EXPECT_FALSE(runs.CloseRequested()); };
    commands.Execute("ActionMake800xN");
    EXPECT_EQ(services.Texts(), std::vector<std::string>{"Canceled"});
    EXPECT_TRUE(window.closed) << "a close asked for during the run follows it";
    EXPECT_TRUE(runs.CloseRequested());
    // The preview question's run cannot be cancelled, whatever the dialog kept.
    window.onProgress = nullptr;
    doc.ClearResult();
    services.boxes.clear();
    services.japanese = false;
    services.okCancelAnswers = {true};
    runs.ProcessedPageDoubleClicked();
    ASSERT_EQ(services.Texts(), std::vector<std::string>{"Create Preview Image?"});
    EXPECT_EQ(doc.BitmapDst().Width(), 40) << "fitted to the page";
    runs.ProcessedPageDoubleClicked();
    runs.SourcePageDoubleClicked();
    EXPECT_EQ(services.Texts().back(), "Width = 600\r\nHeight = 400");
}

TEST_F(WindowLogicTest, DropPasteAndCopyRules) {
    files.DropFiles({"a.jpg", "b.jpg"});
    files.DropFiles({"photo.png"});
    files.ActionEditCopyExecute();
    services.clipboard.reset();
    files.PasteFromClipboard();
    EXPECT_EQ(services.Texts(),
              (std::vector<std::string>{"accept only JPEG file", "accept only JPEG file",
                                        "no output bitmap", "Unsupported Clipboard Format"}));
    services.clipboard = test_images::Noise(8, 6, 1);
    files.PasteFromClipboard();
    EXPECT_EQ(doc.BitmapSrc(), *services.clipboard);
    EXPECT_EQ(window.page, Page::Source);
    EXPECT_EQ(services.busyDepth, 0);
    commands.Execute("ActionHelpAbout");
    commands.Execute("ActionFileExit");
    EXPECT_TRUE(window.aboutShown && window.closed);
    EXPECT_THROW(commands.Execute("ActionNone"), std::invalid_argument);
}

// The save dialog proposes the opened photo's own name: replacing it must be a choice made knowing
// what is lost, and every save says what it wrote.
TEST_F(WindowLogicTest, SavingOverAFileAsksAndEverySaveSaysWhatItWrote) {
    TempFolder folder;
    const std::string photo = (folder / "photo.jpg").string(), other = (folder / "o.jpg").string();
    SaveJpegFile(photo, test_images::Noise(300, 200, 5), 90, {}, ExifTreatment::None);
    std::ofstream(other) << "kept";
    files.LoadImageFile(photo);
    doc.SetResult(test_images::Noise(60, 40, 6));  // a preview's size
    const std::string replace = " already exists.\nDo you want to replace it?";
    const std::string source =
        "photo.jpg is the original photo you opened (300 x 200).\nReplace "
        "it with the result (60 x 40)?\nThe original is not kept.";
    const struct {
        std::string target;
        bool japanese, yes;
        std::string question;  // empty: none may be asked
    } kCases[] = {
        {(folder / "new.jpg").string(), false, true, ""},
        {other, false, false, "o.jpg" + replace},
        {other, true, false, "o.jpg は既に存在します。\n置き換えますか?"},
        {photo, false, false, source},
        {(folder / "." / "photo.jpg").string(), true, false,  // the same file by another name
         "photo.jpg は開いた元の写真 (300 x 200) です。\n処理結果 (60 x 40) で置き換えますか?\n"
         "元の写真は残りません。"},
        {photo, false, true, source},
        {photo, false, true, "photo.jpg" + replace},  // the original is gone: one more result
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.target);
        services.boxes.clear();
        services.japanese = c.japanese;
        services.yesNoAnswers = {c.yes};
        services.fileAnswers = {c.target};
        window.status = "before";
        const auto before = std::filesystem::exists(c.target) ? ReadWholeFile(c.target) : Bytes{};
        commands.Execute("ActionFileSave");
        EXPECT_EQ(services.Texts(), c.question.empty() ? Texts{} : Texts{c.question});
        const Bytes after = ReadWholeFile(c.target);
        EXPECT_EQ(window.status, c.yes ? SavedText(c.target, 60, 40, after.size(), {}) : "before");
        EXPECT_TRUE(c.yes ? DecodeJpeg(after).Width() == 60 : after == before);
    }
    EXPECT_EQ(SavedText("/x/y.jpg", 1200, 800, 1234567, {}),
              "Saved y.jpg (1,200 x 800, 1,234,567 bytes)");
}

// Each save entry writes its format, a typed extension wins, and a drop takes any readable file.
TEST_F(WindowLogicTest, SavesWriteTheEntrysOrTheTypedFormatAndDropsTakeAnyPicture) {
    TempFolder folder;
    const std::string png = (folder / "a.png").string();
    SavePictureFile(png, PictureFormatId::Png, test_images::Noise(64, 48, 5), 0, {}, {});
    files.LoadImageFile(png);
    doc.SetResult(test_images::Noise(64, 48, 6));
    // Typed, entry, written (empty: nothing is) and the format the file's first bytes show.
    std::vector<std::tuple<std::string, int, std::string, const PictureFormat*>> cases;
    for (std::size_t i = 0; i < SaveFormats().size(); ++i) {
        const std::string name = "as-" + std::string(SaveFormats()[i]->name);
        cases.emplace_back(name, i, name + "." + std::string(SaveFormats()[i]->extensions[0]),
                           SaveFormats()[i]);
    }
    cases.emplace_back("typed.BMP", 0, "typed.BMP", FormatByExtension("bmp"));
    cases.emplace_back("phone.heic", 0, "", nullptr);
    for (const auto& [typed, entry, written, format] : cases) {
        SCOPED_TRACE(typed);
        services.boxes.clear();
        services.fileAnswers = {(folder / typed).string()};
        services.filterAnswers = {entry};
        commands.Execute("ActionFileSave");
        if (written.empty()) {
            EXPECT_EQ(services.Texts(), Texts{NotWritableText(typed, *FormatByExtension("heic"))});
            EXPECT_FALSE(std::filesystem::exists(folder / typed));
            continue;
        }
        const Bytes saved = ReadWholeFile((folder / written).string());
        EXPECT_EQ(FormatOfBytes(saved.data(), saved.size()), format);
        EXPECT_EQ(window.status, SavedText(written, 64, 48, saved.size(), {}));
        EXPECT_EQ(LoadImageFile((folder / written).string()).bitmap.Height(), 48);
    }
    ASSERT_EQ(
        std::system(("heif-enc -q 80 -o " + (folder / "c.HEIC").string() + " " + png).c_str()), 0);
    std::ofstream(folder / "notes.jpg") << "not a picture";
    for (const auto& [name, picture] : {std::pair{"c.HEIC", true},
                                        {"as-WebP.webp", true},
                                        {"notes.jpg", false},
                                        {"missing.jpg", false}}) {
        doc.SetSource(test_images::Noise(7, 5, 1));
        services.boxes.clear();
        files.DropFiles({(folder / name).string()});
        EXPECT_EQ(services.Texts(), picture ? Texts{} : Texts{"accept only JPEG file"}) << name;
        EXPECT_EQ(doc.BitmapSrc().Width(), picture ? 64 : 7) << name;
    }
}

}  // namespace
}  // namespace zelqor
