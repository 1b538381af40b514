// The main window: builds its widgets from the tables and forwards to the window's logic.
#include "TForm1.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <stdexcept>

#include "CaptionTable.h"
#include "MenuBuilder.h"
#include "PanelMouse.h"
#include "QtText.h"
#include "SliderFill.h"
#include "TAboutBox.h"
#include "TCancelDlg.h"
#include "TInputLevelForm.h"
#include "TPaintPanel.h"
#include "ThumbnailBox.h"
#include "ViewSettings.h"
#include "WindowInput.h"
#include "WindowPlacement.h"
#include "ui_TForm1.h"

using namespace zelqor;

namespace {

// Stands for the window message that queues a run request to the window; the progress dialog's
// modal loop delivers it, so the run happens while the dialog is on screen.
class RunRequestEvent : public QEvent {
  public:
    static QEvent::Type Kind() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    explicit RunRequestEvent(int n) : QEvent(Kind()), target(n) {}
    int target;
};

TPaintPanel* MakePanel(QWidget* page, const char* name) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* panel = new TPaintPanel(page);
    panel->setObjectName(name);
    layout->addWidget(panel);
    return panel;
}

}  // namespace

TForm1::TForm1(PlatformServices& services, QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::TForm1>()),
      services_(services),
      runs_(doc_, services, *this, positions_),
      files_(doc_, services, *this, viewMenu_, positions_, colour_),
      zoom_(doc_, *this, services, *this),
      commands_(doc_, services, files_, runs_, viewMenu_, zoom_, *this, *this) {
    ui->setupUi(this);
    PaintPanelSrc = MakePanel(ui->TabSheetSrc, "PaintPanelSrc");
    PaintPanelSrc->OnPaint = [this](TPaintPanel& p) { PaintSrcView(p); };
    PaintPanelSrc->OnDblClick = [this] { Guarded([this] { runs_.SourcePageDoubleClicked(); }); };
    PaintPanelDst = MakePanel(ui->TabSheetDst, "PaintPanelDst");
    PaintPanelDst->OnPaint = [this](TPaintPanel& p) { PaintDstView(p); };
    PaintPanelDst->OnDblClick = [this] { Guarded([this] { runs_.ProcessedPageDoubleClicked(); }); };
    for (TPaintPanel* p : {PaintPanelSrc, PaintPanelDst}) {
        p->OnPaintError = [this](const std::string& text) { services_.ShowError(title_, text); };
    }
    // One text that stays until the next run replaces it; the bar's own messages are temporary
    // and a passing menu would wipe them.
    statusText_ = new QLabel(this);
    statusText_->setObjectName("StatusText");
    statusBar()->addWidget(statusText_, 1);
    BuildZoomInput();
    actions_ = BuildActions(*this, [this](std::string_view name) {
        Guarded([this, name] { commands_.Execute(name); });
    });
    BuildMenus(*ui->MainMenu1, *this, actions_);
    BuildThumbnail();
    BuildOptionControls();
    FormCreate();
    // The client area as designed, below the menu bar.
    resize(513, 537 + menuBar()->sizeHint().height());
}

TForm1::~TForm1() {
    delete previewBox_;
}

const LiveThumbnail& TForm1::Thumbnail() const {
    return previewBox_->Thumbnail();
}

const PreviewLoupe& TForm1::Loupe() const {
    return previewBox_->Loupe();
}

void TForm1::showEvent(QShowEvent* e) {
    input_->WatchKeys();
    if (!shown_) {
        shown_ = true;
        RestoreWindowPlacement(*this, services_.UserSettingsFilePath());
        // The window manager's frame is known only once the window is mapped.
        QTimer::singleShot(0, this, [this] { KeepFrameOnScreens(*this); });
        if (QWindow* handle = windowHandle()) {
            connect(handle, &QWindow::screenChanged, this, [this] { RefreshDisplayColour(); });
        }
        RefreshDisplayColour();
        FormShow();
    }
    QMainWindow::showEvent(e);
}

void TForm1::RefreshDisplayColour() {
    if (colour_.SetDisplayProfile(services_.DisplayColourProfile())) {
        for (TPaintPanel* panel : {PaintPanelSrc, PaintPanelDst, PaintPanelPreview}) {
            panel->update();
        }
    }
}

void TForm1::FormShow() {
    // The dialogs exist by the time the window is first shown, so the captions reach them too.
    if (!services_.IsJapaneseLocale()) {
        ApplyEnglishCaptions();
    }
}

void TForm1::ApplyEnglishCaptions() {
    title_ = std::string(kEnglishApplicationTitle);
    setWindowTitle(Q(title_));
    const std::map<std::string, QWidget*, std::less<>> dialogs = {
        {"TCancelDlg", cancelDlg_.get()},
        {"TInputLevelForm", inputLevelForm_.get()},
        {"TAboutBox", aboutBox_.get()},
    };
    for (const CaptionRow& row : EnglishCaptionTable()) {
        const QString english = Q(row.english);
        QWidget* dialog = row.dialog.empty() ? nullptr : dialogs.at(row.dialog);
        switch (row.target) {
            case CaptionTarget::Action:
                Action(row.object)->setText(english);
                break;
            case CaptionTarget::Menu:
                ui->MainMenu1->findChild<QMenu*>(Q(row.object))->setTitle(english);
                break;
            case CaptionTarget::Page:
                ui->PageControl1->setTabText(
                    ui->PageControl1->indexOf(findChild<QWidget*>(Q(row.object))), english);
                break;
            case CaptionTarget::GroupBox:
                findChild<QGroupBox*>(Q(row.object))->setTitle(english);
                break;
            case CaptionTarget::Label:
                findChild<QLabel*>(Q(row.object))->setText(english);
                break;
            case CaptionTarget::RadioItems:
                // The selected item stays selected.
                for (std::size_t i = 0; i < row.items.size(); ++i) {
                    ExifButton(static_cast<int>(i))->setText(Q(row.items[i]));
                }
                break;
            case CaptionTarget::DialogTitle:
                if (dialog != nullptr) {
                    dialog->setWindowTitle(english);
                }
                break;
            case CaptionTarget::DialogButton:
                if (dialog != nullptr) {
                    dialog->findChild<QAbstractButton*>(Q(row.object))->setText(english);
                }
                break;
            case CaptionTarget::ToolTip:
                findChild<QWidget*>(Q(row.object))->setToolTip(english);
                break;
        }
    }
    previewBox_->Refresh();
    PaintPanelPreview->update();
}

bool TForm1::GroupBoxDoubleClicked(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::MouseButtonDblClick) {
        return false;
    }
    auto* box = qobject_cast<QGroupBox*>(watched);
    if (box == nullptr) {
        return false;
    }
    // Only the box's own frame, caption and free area count, not a control inside it (a label
    // passes its clicks on to the box, so look at what lies under the pointer).
    const QPoint at = static_cast<QMouseEvent*>(e)->position().toPoint();
    if (box->childAt(at) != nullptr) {
        return false;
    }
    for (const std::string_view group : OptionGroupNames()) {
        if (box->objectName() == Q(group)) {
            GroupBoxDblClick(group, box);
            return true;
        }
    }
    return false;
}

void TForm1::GroupBoxDblClick(std::string_view group, QObject* sender) {
    const OptionPositions next = GroupDoubleClicked(group, sender != nullptr, positions_);
    // Through each bar's own setter, in the table's order: a bar that really moves runs its
    // change handler, one that stays runs none.
    for (const ParameterInfo& row : ParameterTable()) {
        Slider(row.slider)->setValue(next[row.id]);
    }
    ExifButton(ExifChoiceIndex(next.exif))->setChecked(true);
}

void TForm1::CreateDialogs() {
    aboutBox_ = std::make_unique<TAboutBox>(this);
    aboutBox_->OnOpenUrl = [this](const std::string& url) { services_.OpenUrl(url); };
    cancelDlg_ = std::make_unique<TCancelDlg>(this);
    inputLevelForm_ = std::make_unique<TInputLevelForm>(this);
}

void TForm1::FormCreate() {
    // Only reveals View entries that start hidden; nothing is ever written back.
    for (const int code : LoadViewSettings(services_.SettingsFilePaths())) {
        if (const ViewStyleInfo* style = FindViewStyle(code)) {
            Action(style->actionName)->setVisible(true);
        }
    }
    setWindowTitle(Q(title_));
    ActivatePage(Page::Source);
    input_ = new WindowInput(this);
    input_->OnPageSwitchKey = [this] { FormKeyDown(); };
    // Nothing may replace the images while a run reads them.
    input_->AcceptsDrops = [this] { return !runs_.InProgress(); };
    input_->OnDrop = [this](const std::vector<std::string>& names) {
        Guarded([this, &names] { files_.DropFiles(names); });
    };
    for (const ParameterInfo& row : ParameterTable()) {
        RefreshValueLabel(row);
    }
}

void TForm1::CloseWindow() {
    close();
}

void TForm1::ShowAboutBox() {
    if (aboutBox_) {
        aboutBox_->SetProductNameText(Q(title_));
        aboutBox_->exec();
    }
}

int TForm1::AskLevel(const std::string& caption, const std::string& prompt, int shown) {
    return inputLevelForm_ ? inputLevelForm_->InputLevel(Q(caption), Q(prompt), shown) : -1;
}

std::string TForm1::ActionText(std::string_view action) const {
    return Action(action)->text().toStdString();
}

bool TForm1::ActionChecked(std::string_view action) const {
    return Action(action)->isChecked();
}

void TForm1::BuildOptionControls() {
    for (const ParameterInfo& row : ParameterTable()) {
        QSlider* slider = Slider(row.slider);
        slider->setRange(0, row.max);
        slider->setValue(positions_[row.id]);
        slider->setPageStep(row.pageStep);
        slider->setSingleStep(1);
        slider->setTickInterval(row.tickInterval);
        FillFromWeakEnd(*slider);
        connect(slider, &QSlider::valueChanged, this, [this, &row](int position) {
            positions_[row.id] = position;
            RefreshValueLabel(row);
            previewBox_->Refresh();
        });
        if (auto* label = findChild<QLabel*>(Q(row.valueLabel)); label != nullptr) {
            // "1/200： (120pix)" must fit the narrow box in every desktop font.
            QFont font = label->font();
            font.setPointSizeF(font.pointSizeF() * 0.85);
            label->setFont(font);
        }
    }
    for (const std::string_view group : OptionGroupNames()) {
        findChild<QGroupBox*>(Q(group))->installEventFilter(this);
    }
    ui->CheckBox_Luminance->setChecked(positions_.luminance);
    connect(ui->CheckBox_Luminance, &QCheckBox::toggled, this, [this](bool on) {
        positions_.luminance = on;
        previewBox_->Refresh();
    });
    for (int i = 0; i < static_cast<int>(kExifChoiceTable.size()); ++i) {
        QRadioButton* item = ExifButton(i);
        item->setText(Q(kExifChoiceTable[i].caption));
        item->setChecked(kExifChoiceTable[i].treatment == positions_.exif);
        connect(item, &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) {
                positions_.exif = kExifChoiceTable[i].treatment;
            }
        });
    }
}

void TForm1::BuildThumbnail() {
    // The scroll box's contents follow the page, so that the preview group can take the page's
    // free corner; they still scroll once the page is smaller than the controls.
    ui->ScrollBox1->setWidgetResizable(true);
    previewBox_ = new ThumbnailBox(ui->ScrollBoxContents, 295, 247, 5, doc_, positions_, [this] {
        return ThumbnailLook{CurrentViewCode(), viewMenu_.Tint(),
                             colour_.ToDisplay(doc_.ColourProfile())};
    });
    previewBox_->setObjectName(Q(kPreviewGroup));
    previewBox_->setTitle(Q(kPreviewGroupCaption.japanese));
    previewBox_->setToolTip(Q(kPreviewToolTip.japanese));
    previewBox_->RunTask = [this](const std::function<void()>& task) { Guarded(task); };
    PaintPanelPreview = previewBox_->Panel();
    PaintPanelPreview->OnPaintError = [this](const std::string& text) {
        services_.ShowError(title_, text);
    };
    // The same preview run as Ctrl+P; the action is off while a run is in progress.
    PaintPanelPreview->OnDblClick = [this] { Action("ActionMakePreview")->trigger(); };
}

QRadioButton* TForm1::ExifButton(int index) const {
    return findChild<QRadioButton*>(QString("RadioGroup_Exif_%1").arg(index));
}

QAction* TForm1::Action(std::string_view name) const {
    const auto it = actions_.find(name);
    if (it == actions_.end()) {
        throw std::invalid_argument("no action named " + std::string(name));
    }
    return it->second;
}

QSlider* TForm1::Slider(std::string_view name) const {
    auto* slider = findChild<QSlider*>(Q(name));
    if (slider == nullptr) {
        throw std::invalid_argument("no track bar named " + std::string(name));
    }
    return slider;
}

void TForm1::RefreshValueLabel(const ParameterInfo& row) {
    if (row.toolTip != nullptr) {
        Slider(row.slider)->setToolTip(Q(row.toolTip(positions_.Bar(row.id))));
    }
    if (row.labelText != nullptr) {
        const WorkingBitmap& src = doc_.BitmapSrc();
        findChild<QLabel*>(Q(row.valueLabel))
            ->setText(Q(row.labelText(positions_.Bar(row.id), src.Width(), src.Height())));
    }
}

void TForm1::SetStatusText(const std::string& text) {
    statusText_->setText(Q(text));
}

void TForm1::ShowSourcePage() {
    ActivatePage(Page::Source);
}

void TForm1::RepaintSrc() {
    PaintPanelSrc->update();
}

void TForm1::RepaintDst() {
    PaintPanelDst->update();
}

void TForm1::RefreshCalcSizeLabel() {
    RefreshValueLabel(Parameter(ParamId::CalcSize));
}

void TForm1::OpenFile(const std::string& fileName) {
    if (!runs_.InProgress()) {  // a run's workers read the images a load would replace
        Guarded([this, &fileName] { files_.LoadImageFile(fileName); });
    }
}

void TForm1::SetSourceImage(WorkingBitmap image) {
    doc_.SetSource(std::move(image));
    doc_.ClearResult();
    ActivatePage(Page::Source);
    PaintPanelSrc->update();
    PaintPanelDst->update();
    RefreshCalcSizeLabel();
}

void TForm1::Guarded(const std::function<void()>& handler) {
    ReportFailures(services_, title_, handler);
}

// ---- runs

bool TForm1::HasProgressDialog() const {
    return cancelDlg_ != nullptr;
}

bool TForm1::PostRunAndShowProgressDialog(int n) {
    QCoreApplication::postEvent(this, new RunRequestEvent(n));
    cancelDlg_->SetComment(QString());
    return cancelDlg_->ShowModal() == TCancelDlg::ResultCancel;
}

bool TForm1::event(QEvent* e) {
    if (e->type() == RunRequestEvent::Kind()) {
        const int n = static_cast<RunRequestEvent*>(e)->target;
        Guarded([this, n] { runs_.HandleRunRequest(n); });
        return true;
    }
    return QMainWindow::event(e);
}

void TForm1::ShowDialogProgress(const std::string& status, int rowsClaimed, int rowCount) {
    if (cancelDlg_ && cancelDlg_->isVisible()) {
        cancelDlg_->SetComment(Q(status));
        cancelDlg_->SetProgress(rowsClaimed, rowCount);
    }
}

void TForm1::RunProgressed(int rowsClaimed, int rowCount) {
    if (OnRunProgress) {
        OnRunProgress(rowsClaimed, rowCount);
    }
}

void TForm1::ProcessEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TForm1::ProgressDialogCancelled() const {
    return cancelDlg_ && cancelDlg_->ModalResult() == TCancelDlg::ResultCancel;
}

void TForm1::CloseProgressDialog() {
    if (cancelDlg_ && cancelDlg_->isVisible() &&
        cancelDlg_->ModalResult() == TCancelDlg::ResultNone) {
        cancelDlg_->SetModalResult(TCancelDlg::ResultOk);
    }
}

void TForm1::SetRunActionsEnabled(bool enabled) {
    for (const ActionInfo& info : ActionTable()) {
        if (!info.enabledDuringRun) {
            Action(info.name)->setEnabled(enabled);
        }
    }
    if (enabled) {
        // The run is over: the thumbnail it held back catches up with the sliders.
        previewBox_->Refresh();
    }
}

void TForm1::closeEvent(QCloseEvent* e) {
    if (!runs_.CloseRequested()) {
        e->ignore();
        return;
    }
    SaveWindowPlacement(*this, services_.UserSettingsFilePath());
    QMainWindow::closeEvent(e);
}

void TForm1::CloseLater() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// ---- pages, keys and double-clicks

void TForm1::SetWindowCaption(const std::string& caption) {
    setWindowTitle(Q(caption));
}

Page TForm1::CurrentPage() const {
    return static_cast<Page>(ui->PageControl1->currentIndex());
}

void TForm1::ActivatePage(Page page) {
    ui->PageControl1->setCurrentIndex(static_cast<int>(page));
}

TPaintPanel* TForm1::Panel(Page page) const {
    // The options page shows the thumbnail, in the view style like the processed page.
    switch (page) {
        case Page::Source:
            return PaintPanelSrc;
        case Page::Processed:
            return PaintPanelDst;
        case Page::Options:
            return PaintPanelPreview;
    }
    return nullptr;
}

void TForm1::Repaint(Page page) {
    if (TPaintPanel* panel = Panel(page)) {
        panel->update();
    }
}

void TForm1::RepaintNow(Page page) {
    if (TPaintPanel* panel = Panel(page)) {
        panel->repaint();
    }
}

void TForm1::FocusPages() {
    ui->PageControl1->setFocus();
}

Rect TForm1::PanelClient() const {
    // In device pixels: a preview fitted to the page is as sharp as the screen, and the zoom's
    // 100 % is one image pixel per device pixel.
    return PaintPanelSrc->ClientRectDevice();
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    return GroupBoxDoubleClicked(watched, e) || QMainWindow::eventFilter(watched, e);
}

void TForm1::FormKeyDown() {
    ActivatePage(CurrentPage() == Page::Processed ? Page::Source : Page::Processed);
}

// ---- view

void TForm1::PaintSrcView(TPaintPanel& panel) {
    const Rect client = panel.ClientRectDevice();
    painterSrc_.Paint(*panel.Buffer(), panel.PaintRectDevice(), client,
                      zoom_.Place(Page::Source, client), doc_.BitmapSrc(), doc_.SrcGeneration(),
                      commands_.SourceViewCode(), viewMenu_.Tint(),
                      colour_.ToDisplay(doc_.ColourProfile()));
    // A new picture or a resized page changes the fit's zoom.
    zoom_.Refresh();
}

void TForm1::PaintDstView(TPaintPanel& panel) {
    const Rect client = panel.ClientRectDevice();
    painterDst_.Paint(*panel.Buffer(), panel.PaintRectDevice(), client,
                      zoom_.Place(Page::Processed, client), doc_.BitmapDst(), doc_.DstGeneration(),
                      CurrentViewCode(), viewMenu_.Tint(), colour_.ToDisplay(doc_.ColourProfile()));
    zoom_.Refresh();
}

void TForm1::BuildZoomInput() {
    // At the right end, apart from the one text the runs write.
    zoomField_ = new QLabel(this);
    zoomField_->setObjectName("ZoomField");
    statusBar()->addPermanentWidget(zoomField_);
    mouse_ = new PanelMouse(this);
    mouse_->Watch(PaintPanelSrc);
    mouse_->Watch(PaintPanelDst);
    mouse_->OnWheel = [this](int delta, QPointF at) {
        Guarded([&] { zoom_.Wheel(delta, PointD{at.x(), at.y()}); });
    };
    mouse_->OnMiddleClick = [this](QPointF at) {
        Guarded([&] { zoom_.MiddleClick(PointD{at.x(), at.y()}); });
    };
    mouse_->OnDrag = [this](double dx, double dy) { Guarded([&] { zoom_.Drag(dx, dy); }); };
    mouse_->CanPan = [this] { return zoom_.CanPan(); };
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, [this] { zoom_.Refresh(); });
}

void TForm1::ShowZoom(const std::string& text, bool canPan) {
    zoomField_->setText(Q(text));
    mouse_->ShowPanCursor(canPan);
}

void TForm1::SelectViewCode(StyleCode code) {
    viewMenu_.SelectViewCode(code);
    SyncViewActions();
}

void TForm1::SyncViewActions() {
    for (const ViewMenuModel::Entry& e : viewMenu_.Entries()) {
        QAction* action = Action(e.style->actionName);
        action->setChecked(e.checked);
        action->setData(e.tag);
    }
}
