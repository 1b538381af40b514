// The main window: three pages, the options, menus from the action table, runs and views.
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "ActionTable.h"
#include "DisplayColour.h"
#include "Document.h"
#include "FileActions.h"
#include "GroupShortcuts.h"
#include "LiveThumbnail.h"
#include "PageZoom.h"
#include "PanelPainter.h"
#include "PlatformServices.h"
#include "PreviewLoupe.h"
#include "RunController.h"
#include "ViewMenuModel.h"
#include "WindowCommands.h"

class QAction;
class QSlider;
class QLabel;
class QRadioButton;
class TAboutBox;
class TCancelDlg;
class TInputLevelForm;
class PanelMouse;
class TPaintPanel;
class ThumbnailBox;
class WindowInput;

namespace Ui {
class TForm1;
}

class TForm1 : public QMainWindow,
               private zelqor::RunWindow,
               private zelqor::DocumentView,
               private zelqor::CommandWindow,
               private zelqor::ZoomView {
    Q_OBJECT

  public:
    explicit TForm1(zelqor::PlatformServices& services, QWidget* parent = nullptr);
    ~TForm1() override;

    // The version, progress and level dialogs, made once after the window, in this order.
    void CreateDialogs();

    // What the window holds, for the tests and the other operations of the window.
    zelqor::Document& Doc() { return doc_; }
    zelqor::RunController& Runs() { return runs_; }
    const zelqor::ViewMenuModel& ViewMenu() const { return viewMenu_; }
    // The zoom and centre both image pages share.
    const zelqor::ViewZoom& Zoom() { return zoom_.State(); }
    const std::string& Title() const override { return title_; }
    zelqor::FileActions& Files() { return files_; }
    QAction* Action(std::string_view name) const;
    QSlider* Slider(std::string_view name) const;
    TPaintPanel* PaintPanelSrc = nullptr;
    TPaintPanel* PaintPanelDst = nullptr;
    // The options page's live thumbnail.
    TPaintPanel* PaintPanelPreview = nullptr;
    const zelqor::LiveThumbnail& Thumbnail() const;
    // Its loupe, which a click on the thumbnail opens.
    const zelqor::PreviewLoupe& Loupe() const;
    TCancelDlg* CancelDlg() const { return cancelDlg_.get(); }
    TInputLevelForm* InputLevelForm() const { return inputLevelForm_.get(); }
    TAboutBox* AboutBox() const { return aboutBox_.get(); }
    // Called at every pass of a run's waiting loop; lets a test act in the middle of a run.
    std::function<void(int rowsClaimed, int rowCount)> OnRunProgress;

    // A file named on the command line: loaded as the open dialog's choice is, with the same
    // messages when it fails.
    void OpenFile(const std::string& fileName);

    // A new source image, as loading or pasting gives it: the result is emptied.
    void SetSourceImage(zelqor::WorkingBitmap image);

    // A make action's run, as its menu entry starts it.
    void StartRun(int n) { runs_.StartRun(n); }
    bool RunInProgress() const { return runs_.InProgress(); }

    // View menu.
    zelqor::StyleCode CurrentViewCode() const { return viewMenu_.CurrentViewCode(); }
    void SelectViewCode(zelqor::StyleCode code);
    zelqor::StyleCode LastViewCode() const { return viewMenu_.LastViewCode(); }

    // The display's profile asked of the desktop again (at start and when the window moves to
    // another screen); the pages repaint when it changes what they show.
    void RefreshDisplayColour();
    zelqor::DisplayColour& Colour() { return colour_; }

    // The English caption set, for a desktop whose language is not Japanese.
    void ApplyEnglishCaptions();
    // A double-click on an option group; sender is null when code calls it.
    void GroupBoxDblClick(std::string_view group, QObject* sender);

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void FormCreate();
    void FormShow();
    bool GroupBoxDoubleClicked(QObject* watched, QEvent* event);
    void BuildOptionControls();
    void BuildThumbnail();
    void RefreshValueLabel(const zelqor::ParameterInfo& row);
    QRadioButton* ExifButton(int index) const;
    // Space without Shift, Ctrl or Alt: the source page after the processed one, else the
    // processed page.
    void FormKeyDown();

    void PaintSrcView(TPaintPanel& panel);
    void PaintDstView(TPaintPanel& panel);
    TPaintPanel* Panel(zelqor::Page page) const;
    // Runs a handler and shows what it throws in the error box instead of letting it reach Qt.
    void Guarded(const std::function<void()>& handler);

    // DocumentView
    void ShowSourcePage() override;
    void RepaintSrc() override;
    void RepaintDst() override;
    void RefreshCalcSizeLabel() override;
    void ShowStatusText(const std::string& text) override { SetStatusText(text); }

    // CommandWindow
    void CloseWindow() override;
    void ShowAboutBox() override;
    int AskLevel(const std::string& caption, const std::string& prompt, int shown) override;
    std::string ActionText(std::string_view action) const override;
    bool ActionChecked(std::string_view action) const override;
    void SyncViewActions() override;

    // ZoomView
    void ShowZoom(const std::string& text, bool canPan) override;
    void BuildZoomInput();

    // RunWindow
    void SetWindowCaption(const std::string& caption) override;
    void SetStatusText(const std::string& text) override;
    bool HasProgressDialog() const override;
    bool PostRunAndShowProgressDialog(int n) override;
    void ShowDialogProgress(const std::string& status, int rowsClaimed, int rowCount) override;
    bool ProgressDialogCancelled() const override;
    void CloseProgressDialog() override;
    void SetRunActionsEnabled(bool enabled) override;
    zelqor::Page CurrentPage() const override;
    void ActivatePage(zelqor::Page page) override;
    void RepaintNow(zelqor::Page page) override;
    void Repaint(zelqor::Page page) override;
    void FocusPages() override;
    zelqor::Rect PanelClient() const override;
    void ProcessEvents() override;
    void CloseLater() override;
    void RunProgressed(int rowsClaimed, int rowCount) override;

    std::unique_ptr<Ui::TForm1> ui;
    zelqor::PlatformServices& services_;
    std::string title_{zelqor::kApplicationTitle};
    zelqor::Document doc_;
    zelqor::OptionPositions positions_ = zelqor::StartPositions();
    zelqor::RunController runs_;
    zelqor::ViewMenuModel viewMenu_;
    zelqor::DisplayColour colour_;
    zelqor::FileActions files_;
    zelqor::PageZoom zoom_;
    zelqor::WindowCommands commands_;
    zelqor::PanelPainter painterSrc_;
    zelqor::PanelPainter painterDst_;
    // Holds the thumbnail, whose work reads the document's source: the destructor lets it go
    // before the document does.
    ThumbnailBox* previewBox_ = nullptr;
    std::map<std::string, QAction*, std::less<>> actions_;
    QLabel* statusText_ = nullptr;
    QLabel* zoomField_ = nullptr;
    PanelMouse* mouse_ = nullptr;
    WindowInput* input_ = nullptr;
    std::unique_ptr<TAboutBox> aboutBox_;
    std::unique_ptr<TCancelDlg> cancelDlg_;
    std::unique_ptr<TInputLevelForm> inputLevelForm_;
    bool shown_ = false;
};
