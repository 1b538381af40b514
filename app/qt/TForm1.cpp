// The main window: builds its widgets from the tables and forwards to the window's logic.
#include "TForm1.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <new>
#include <stdexcept>

#include "CaptionTable.h"
#include "TAboutBox.h"
#include "TCancelDlg.h"
#include "TInputLevelForm.h"
#include "TPaintPanel.h"
#include "ViewSettings.h"
#include "ui_TForm1.h"

using namespace zelqor;

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

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

constexpr int kPageSrc = 0;
constexpr int kPageDst = 1;

TPaintPanel* MakePanel(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* panel = new TPaintPanel(page);
    layout->addWidget(panel);
    return panel;
}

Rect ClientRect(const QWidget* w) {
    return Rect{0, 0, w->width(), w->height()};
}

}  // namespace

TForm1::TForm1(PlatformServices& services, QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::TForm1>()),
      services_(services),
      runs_(doc_, services),
      files_(doc_, services, *this, viewMenu_, controls_) {
    ui->setupUi(this);
    PaintPanelSrc = MakePanel(ui->TabSheetSrc);
    PaintPanelSrc->setObjectName("PaintPanelSrc");
    PaintPanelSrc->OnPaint = [this](TPaintPanel& p) { PaintSrcView(p); };
    PaintPanelSrc->OnDblClick = [this] { Guarded([this] { PaintPanelSrcDblClick(); }); };
    PaintPanelDst = MakePanel(ui->TabSheetDst);
    PaintPanelDst->setObjectName("PaintPanelDst");
    PaintPanelDst->OnPaint = [this](TPaintPanel& p) { PaintDstView(p); };
    PaintPanelDst->OnDblClick = [this] { Guarded([this] { PaintPanelDstDblClick(); }); };
    for (TPaintPanel* p : {PaintPanelSrc, PaintPanelDst}) {
        p->OnPaintError = [this](const std::string& text) { services_.ShowError(title_, text); };
    }
    // One text that stays until the next run replaces it; the bar's own messages are temporary
    // and a passing menu would wipe them.
    statusText_ = new QLabel(this);
    statusText_->setObjectName("StatusText");
    statusBar()->addWidget(statusText_, 1);
    BuildActions();
    BuildMenus();
    BuildOptionControls();
    FormCreate();
    // The client area as designed, below the menu bar.
    resize(513, 537 + menuBar()->sizeHint().height());
}

TForm1::~TForm1() = default;

void TForm1::showEvent(QShowEvent* e) {
    // Key preview: every key reaches the window's native window once, before it is handed to
    // the control that has the focus.
    windowHandle()->installEventFilter(this);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
    QMainWindow::showEvent(e);
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
        const auto dot = row.object.find('.');
        const std::string owner = row.object.substr(0, dot);
        const std::string part = dot == std::string::npos ? "" : row.object.substr(dot + 1);
        if (const auto action = actions_.find(row.object); action != actions_.end()) {
            action->second->setText(english);
        } else if (auto* menu = ui->MainMenu1->findChild<QMenu*>(Q(row.object))) {
            menu->setTitle(english);
        } else if (const auto dialog = dialogs.find(owner); dialog != dialogs.end()) {
            if (dialog->second == nullptr) {
                continue;
            }
            if (part.empty()) {
                dialog->second->setWindowTitle(english);
            } else if (auto* button = dialog->second->findChild<QAbstractButton*>(Q(part))) {
                button->setText(english);
            }
        } else if (part == "Items") {
            // One text with a line per item; the selected item stays selected.
            const QStringList items = english.split("\r\n");
            for (int i = 0; i < items.size(); ++i) {
                if (auto* item = findChild<QRadioButton*>(Q(owner) + QString("_%1").arg(i))) {
                    item->setText(items[i]);
                }
            }
        } else if (auto* page = findChild<QWidget*>(Q(row.object));
                   page != nullptr && ui->PageControl1->indexOf(page) >= 0) {
            ui->PageControl1->setTabText(ui->PageControl1->indexOf(page), english);
        } else if (auto* box = findChild<QGroupBox*>(Q(row.object))) {
            box->setTitle(english);
        } else if (auto* label = findChild<QLabel*>(Q(row.object))) {
            label->setText(english);
        }
    }
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
    for (const OptionGroupInfo& info : kOptionGroupTable) {
        if (box->objectName() == Q(info.name)) {
            GroupBoxDblClick(info.group, box);
            return true;
        }
    }
    return false;
}

void TForm1::GroupBoxDblClick(OptionGroup group, QObject* sender) {
    ReadOptionControls();
    OptionControls next = GroupDoubleClicked(group, sender != nullptr, controls_);
    // Through each bar's own setter, in the table's order: a bar that really moves runs its
    // change handler, one that stays runs none.
    for (const SliderInfo& info : kSliderTable) {
        Slider(info.name)->setValue(Bar(next, info.name).position);
    }
    if (group == OptionGroup::SaveParams) {
        ui->RadioGroup_Exif_1->setChecked(true);
    }
    ReadOptionControls();
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
    ui->PageControl1->setCurrentIndex(kPageSrc);
    setAcceptDrops(true);
    TrackBar_HDRChange();
    TrackBar_CalcSizeChange();
    TrackBar_StdBrightnessChange();
    TrackBar_HdrEnhancerChange();
}

void TForm1::BuildActions() {
    viewGroup_ = new QActionGroup(this);
    viewGroup_->setExclusive(true);
    for (const ActionInfo& info : ActionTable()) {
        auto* action = new QAction(Q(info.caption), this);
        action->setObjectName(Q(info.name));
        action->setShortcut(QKeySequence(Q(info.shortcut)));
        action->setCheckable(info.checkable);
        action->setChecked(info.checkedAtStart);
        action->setVisible(info.visibleAtStart);
        action->setData(info.tag);
        if (info.radioGroup == 1) {
            viewGroup_->addAction(action);
        }
        // Shortcuts work whether or not a menu is open or the entry is shown.
        addAction(action);
        actions_.emplace(std::string(info.name), action);
        if (info.isMake) {
            const int size = info.makeSize;
            connect(action, &QAction::triggered, this, [this, size] {
                Guarded([this, size] {
                    const WorkingBitmap& src = doc_.BitmapSrc();
                    StartRun(size == kMakeFullSize ? std::max(src.Width(), src.Height()) : size);
                });
            });
        }
    }
    for (const ViewMenuModel::Entry& e : viewMenu_.Entries()) {
        const int entry = viewMenu_.IndexOf(e.style->baseCode);
        connect(Action(e.style->actionName), &QAction::triggered, this,
                [this, entry] { Guarded([this, entry] { ActionViewTriggered(entry); }); });
    }
    connect(Action("ActionViewAffectSrc"), &QAction::triggered, this,
            [this] { Guarded([this] { ActionViewAffectSrcExecute(); }); });
    connect(Action("ActionFileExit"), &QAction::triggered, this, [this] { close(); });
    const std::pair<const char*, void (FileActions::*)()> fileHandlers[] = {
        {"ActionFileOpen", &FileActions::ActionFileOpenExecute},
        {"ActionFileSave", &FileActions::ActionFileSaveExecute},
        {"ActionEditCopy", &FileActions::ActionEditCopyExecute},
        {"ActionEditPaste", &FileActions::PasteFromClipboard},
    };
    for (const auto& [name, handler] : fileHandlers) {
        connect(Action(name), &QAction::triggered, this,
                [this, handler] { Guarded([this, handler] { (files_.*handler)(); }); });
    }
    connect(Action("ActionHelpAbout"), &QAction::triggered, this, [this] {
        if (aboutBox_) {
            aboutBox_->SetProductNameText(Q(title_));
            aboutBox_->exec();
        }
    });
}

void TForm1::BuildMenus() {
    for (const MenuInfo& menuInfo : MainMenuTable()) {
        QMenu* menu = ui->MainMenu1->addMenu(Q(menuInfo.caption));
        menu->setObjectName(Q(menuInfo.name));
        for (const MenuEntryInfo& entry : menuInfo.entries) {
            if (entry.action.empty()) {
                menu->addSeparator();
                continue;
            }
            QAction* action = Action(entry.action);
            if (entry.ownShortcut.empty()) {
                menu->addAction(action);
                continue;
            }
            // An entry with a shortcut its action lacks: a proxy that follows the action.
            auto* proxy = new QAction(action->text(), this);
            proxy->setObjectName(Q(entry.entryName));
            proxy->setShortcut(QKeySequence(Q(entry.ownShortcut)));
            addAction(proxy);
            menu->addAction(proxy);
            connect(proxy, &QAction::triggered, action, &QAction::trigger);
            connect(action, &QAction::changed, proxy, [action, proxy] {
                proxy->setText(action->text());
                proxy->setEnabled(action->isEnabled());
                proxy->setVisible(action->isVisible());
            });
        }
    }
}

void TForm1::BuildOptionControls() {
    for (const SliderInfo& info : kSliderTable) {
        QSlider* slider = Slider(info.name);
        const TrackBar& bar = Bar(controls_, info.name);
        slider->setRange(bar.min, bar.max);
        slider->setValue(bar.position);
        slider->setPageStep(info.pageStep);
        slider->setSingleStep(1);
        slider->setTickInterval(info.tickInterval);
    }
    for (const SliderInfo& info : kSliderTable) {
        if (auto* label = findChild<QLabel*>(Q(info.valueLabel)); label != nullptr) {
            // "1/200： (120pix)" must fit the narrow box in every desktop font.
            QFont font = label->font();
            font.setPointSizeF(font.pointSizeF() * 0.85);
            label->setFont(font);
        }
    }
    for (const OptionGroupInfo& info : kOptionGroupTable) {
        findChild<QGroupBox*>(Q(info.name))->installEventFilter(this);
    }
    connect(ui->TrackBar_HDR, &QSlider::valueChanged, this, [this] { TrackBar_HDRChange(); });
    connect(ui->TrackBar_CalcSize, &QSlider::valueChanged, this,
            [this] { TrackBar_CalcSizeChange(); });
    connect(ui->TrackBar_StdBrightness, &QSlider::valueChanged, this,
            [this] { TrackBar_StdBrightnessChange(); });
    connect(ui->TrackBar_HdrEnhancer, &QSlider::valueChanged, this,
            [this] { TrackBar_HdrEnhancerChange(); });
    // The save options have no labels to refresh; the model just follows them.
    connect(ui->TrackBar_JpegQuality, &QSlider::valueChanged, this,
            [this] { ReadOptionControls(); });
    for (QRadioButton* item :
         {ui->RadioGroup_Exif_0, ui->RadioGroup_Exif_1, ui->RadioGroup_Exif_2}) {
        connect(item, &QRadioButton::toggled, this, [this] { ReadOptionControls(); });
    }
    connect(ui->CheckBox_Luminance, &QCheckBox::toggled, this, [this] { ReadOptionControls(); });
    ui->CheckBox_Luminance->setChecked(controls_.tone.luminance);
    ui->RadioGroup_Exif_0->setChecked(controls_.save.exifItem == 0);
    ui->RadioGroup_Exif_1->setChecked(controls_.save.exifItem == 1);
    ui->RadioGroup_Exif_2->setChecked(controls_.save.exifItem == 2);
}

void TForm1::ReadOptionControls() {
    for (const SliderInfo& info : kSliderTable) {
        const QSlider* slider = Slider(info.name);
        TrackBar& bar = Bar(controls_, info.name);
        bar = TrackBar{slider->minimum(), slider->maximum(), slider->value()};
    }
    controls_.tone.luminance = ui->CheckBox_Luminance->isChecked();
    controls_.save.exifItem = ui->RadioGroup_Exif_2->isChecked()   ? 2
                              : ui->RadioGroup_Exif_0->isChecked() ? 0
                                                                   : 1;
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

void TForm1::TrackBar_HDRChange() {
    ReadOptionControls();
    ui->Label_HDR->setText(Q(HdrLabelText(controls_.tone.hdr)));
}

void TForm1::TrackBar_CalcSizeChange() {
    ReadOptionControls();
    ui->LabelBoke->setText(Q(CalcSizeLabelText(controls_.tone.calcSize, doc_.BitmapSrc())));
}

void TForm1::TrackBar_StdBrightnessChange() {
    ReadOptionControls();
    ui->Label_StdBrightness->setText(Q(StdBrightnessLabelText(controls_.tone.stdBrightness)));
}

void TForm1::TrackBar_HdrEnhancerChange() {
    ReadOptionControls();
    ui->Label_HdrEnhancer->setText(Q(HdrEnhancerLabelText(controls_.tone.hdrEnhancer)));
}

void TForm1::SetStatusText(const std::string& text) {
    statusText_->setText(Q(text));
}

void TForm1::ShowSourcePage() {
    ActivatePage(kPageSrc);
}

void TForm1::RepaintSrc() {
    PaintPanelSrc->update();
}

void TForm1::RepaintDst() {
    PaintPanelDst->update();
}

void TForm1::RefreshCalcSizeLabel() {
    TrackBar_CalcSizeChange();
}

std::vector<std::string> TForm1::DroppedFiles(const QMimeData* data) {
    std::vector<std::string> names;
    if (data == nullptr || !data->hasUrls()) {
        return names;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        names.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    return names;
}

bool TForm1::AcceptsDrag(const QMimeData* data) const {
    // Nothing may replace the images while a run reads them.
    return !runs_.InProgress() && !DroppedFiles(data).empty();
}

void TForm1::dragEnterEvent(QDragEnterEvent* e) {
    if (AcceptsDrag(e->mimeData())) {
        e->acceptProposedAction();
    }
}

void TForm1::dragMoveEvent(QDragMoveEvent* e) {
    if (AcceptsDrag(e->mimeData())) {
        e->acceptProposedAction();
    }
}

void TForm1::dropEvent(QDropEvent* e) {
    if (!AcceptsDrag(e->mimeData())) {
        return;
    }
    e->acceptProposedAction();
    const std::vector<std::string> names = DroppedFiles(e->mimeData());
    Guarded([this, &names] { files_.DropFiles(names); });
}

void TForm1::SetSourceImage(WorkingBitmap image) {
    doc_.SetSource(std::move(image));
    doc_.ClearResult();
    ActivatePage(kPageSrc);
    PaintPanelSrc->update();
    PaintPanelDst->update();
    TrackBar_CalcSizeChange();
}

void TForm1::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::bad_alloc&) {
        services_.ShowError(title_, "Out of memory");
    } catch (const std::exception& e) {
        services_.ShowError(title_, e.what());
    } catch (...) {
        // Nothing may unwind into the toolkit's event handling.
        services_.ShowError(title_, "Unknown error");
    }
}

// ---- runs

void TForm1::StartRun(int n) {
    if (runs_.InProgress() || !cancelDlg_) {
        return;  // one run at a time: its workers read the images that a second would replace
    }
    QCoreApplication::postEvent(this, new RunRequestEvent(n));
    cancelDlg_->SetComment(QString());
    if (cancelDlg_->ShowModal() == TCancelDlg::ResultCancel) {
        services_.ShowMessage(title_, "Canceled");
    }
}

bool TForm1::event(QEvent* e) {
    if (e->type() == RunRequestEvent::Kind()) {
        const int n = static_cast<RunRequestEvent*>(e)->target;
        Guarded([this, n] { HandleRunRequest(n); });
        return true;
    }
    return QMainWindow::event(e);
}

void TForm1::HandleRunRequest(int n) {
    runShowsDialog_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{runShowsDialog_};
    try {
        MakeProcessedImage(n);
    } catch (...) {
        // A failed run must not leave the dialog up with nobody to close it.
        CloseProgressDialog();
        throw;
    }
    if (ui->PageControl1->currentIndex() == kPageSrc) {
        PaintPanelSrc->repaint();
    } else if (ui->PageControl1->currentIndex() == kPageDst) {
        PaintPanelDst->repaint();
    }
}

std::uint32_t TForm1::MakeProcessedImage(int n) {
    if (!doc_.BitmapSrc().HoldsImage()) {
        services_.ShowMessage(title_, "no input bitmap");
        CloseProgressDialog();
        return 0;
    }
    if (runs_.InProgress()) {
        return 0;
    }
    ActivatePage(doc_.BitmapDst().HoldsImage() ? kPageDst : kPageSrc);
    ReadOptionControls();
    SetRunActionsEnabled(false);
    RunReport report;
    try {
        report = runs_.Run(n, ClientRect(PaintPanelSrc), SampleRunSettings(controls_.tone), title_,
                           *this);
    } catch (...) {
        SetRunActionsEnabled(true);
        setWindowTitle(Q(title_));
        if (closeAfterRun_) {
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
        throw;
    }
    SetRunActionsEnabled(true);
    CloseProgressDialog();
    setWindowTitle(Q(title_));
    SetStatusText(report.endText);
    PaintPanelSrc->update();
    // The result is a new bitmap, so the processed page must be drawn afresh even if it is the
    // page already shown.
    PaintPanelDst->update();
    ActivatePage(kPageDst);
    ui->PageControl1->setFocus();
    if (closeAfterRun_) {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
    return report.outcome.elapsedMs;
}

void TForm1::ShowProgress(const std::string& status,
                          const std::string& caption,
                          int rowsClaimed,
                          int rowCount) {
    SetStatusText(status);
    setWindowTitle(Q(caption));
    if (runShowsDialog_ && cancelDlg_ && cancelDlg_->isVisible()) {
        cancelDlg_->SetComment(Q(status));
        cancelDlg_->SetProgress(rowsClaimed, rowCount);
    }
    if (OnRunProgress) {
        OnRunProgress(rowsClaimed, rowCount);
    }
}

void TForm1::ProcessEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TForm1::CancelRequested() {
    // A run started from the preview question cannot be cancelled, whatever result the dialog
    // kept from its last showing.
    return runShowsDialog_ && cancelDlg_ && cancelDlg_->ModalResult() == TCancelDlg::ResultCancel;
}

void TForm1::CloseProgressDialog() {
    if (cancelDlg_ && cancelDlg_->isVisible() &&
        cancelDlg_->ModalResult() == TCancelDlg::ResultNone) {
        cancelDlg_->SetModalResult(TCancelDlg::ResultOk);
    }
}

void TForm1::SetRunActionsEnabled(bool enabled) {
    for (const ActionInfo& info : ActionTable()) {
        if (info.isMake || info.name == "ActionFileOpen" || info.name == "ActionEditPaste" ||
            info.name == "ActionFileExit") {
            Action(info.name)->setEnabled(enabled);
        }
    }
}

void TForm1::closeEvent(QCloseEvent* e) {
    if (runs_.InProgress()) {
        // The run's workers and its waiting loop still use the window; close when it is over.
        closeAfterRun_ = true;
        e->ignore();
        return;
    }
    QMainWindow::closeEvent(e);
}

// ---- pages, keys and double-clicks

void TForm1::ActivatePage(int index) {
    ui->PageControl1->setCurrentIndex(index);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (GroupBoxDoubleClicked(watched, e)) {
        return true;
    }
    if (watched == windowHandle() && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (IsPageSwitchKey(key->key(), key->modifiers())) {
            // The control with the focus gets the key first: switching the page would hide it.
            watched->event(e);
            FormKeyDown(key->key(), key->modifiers());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

bool TForm1::IsPageSwitchKey(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers held =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    return key == Qt::Key_Space && held == Qt::NoModifier;
}

bool TForm1::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    if (!IsPageSwitchKey(key, modifiers)) {
        return false;
    }
    ActivatePage(ui->PageControl1->currentIndex() == kPageDst ? kPageSrc : kPageDst);
    return true;
}

void TForm1::ShowSizeMessage(const WorkingBitmap& bitmap) {
    services_.ShowMessage(title_, "Width = " + std::to_string(bitmap.Width()) +
                                      "\r\nHeight = " + std::to_string(bitmap.Height()));
}

void TForm1::PaintPanelSrcDblClick() {
    if (doc_.BitmapSrc().HoldsImage()) {
        ShowSizeMessage(doc_.BitmapSrc());
    }
}

void TForm1::PaintPanelDstDblClick() {
    if (doc_.BitmapDst().HoldsImage()) {
        ShowSizeMessage(doc_.BitmapDst());
    } else if (doc_.BitmapSrc().HoldsImage() && !runs_.InProgress()) {
        const std::string question = services_.IsJapaneseLocale() ? "プレビュー画像を作成しますか?"
                                                                  : "Create Preview Image?";
        if (services_.AskOkCancel(title_, question)) {
            MakeProcessedImage(0);
        }
    }
}

// ---- view

void TForm1::PaintSrcView(TPaintPanel& panel) {
    const int code = Action("ActionViewAffectSrc")->isChecked() ? CurrentViewCode() : 0;
    painterSrc_.Paint(*panel.Buffer(), panel.PaintRectDevice(), panel.ClientRectDevice(),
                      doc_.BitmapSrc(), doc_.SrcGeneration(), code, viewMenu_.Tint());
}

void TForm1::PaintDstView(TPaintPanel& panel) {
    painterDst_.Paint(*panel.Buffer(), panel.PaintRectDevice(), panel.ClientRectDevice(),
                      doc_.BitmapDst(), doc_.DstGeneration(), CurrentViewCode(), viewMenu_.Tint());
}

std::string TForm1::LevelDialogCaption() {
    return services_.IsJapaneseLocale() ? "表示" : "View";
}

void TForm1::SelectViewCode(int code) {
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

void TForm1::ActionViewTriggered(int entry) {
    viewMenu_.Tick(entry);
    const auto askLevel = [this](int index, int shown) {
        if (!inputLevelForm_) {
            return -1;
        }
        const QString prompt = Action(viewMenu_.Entries()[index].style->actionName)->text();
        return inputLevelForm_->InputLevel(Q(LevelDialogCaption()), prompt, shown);
    };
    const auto askColour = [this](Rgb current) { return services_.PickColour(current); };
    const bool repaint = viewMenu_.Execute(entry, askLevel, askColour);
    SyncViewActions();
    if (repaint) {
        RepaintActivePage();
    }
}

void TForm1::RepaintActivePage() {
    if (ui->PageControl1->currentIndex() == kPageSrc) {
        PaintPanelSrc->update();
    } else if (ui->PageControl1->currentIndex() == kPageDst) {
        PaintPanelDst->update();
    }
}

void TForm1::ActionViewAffectSrcExecute() {
    if (ui->PageControl1->currentIndex() == kPageSrc) {
        PaintPanelSrc->update();
    }
}
