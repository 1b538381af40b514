// Preview group of the options page: placement, the panel's size and the loupe's gestures.
#include "ThumbnailBox.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "TPaintPanel.h"

ThumbnailBox::ThumbnailBox(QWidget* page,
                           int left,
                           int top,
                           int margin,
                           zelqor::Document& doc,
                           const zelqor::OptionPositions& options,
                           std::function<ThumbnailLook()> look)
    : QGroupBox(page),
      left_(left),
      top_(top),
      margin_(margin),
      panel_(new TPaintPanel(this)),
      thumbnail_(
          std::make_unique<zelqor::LiveThumbnail>(doc,
                                                  options,
                                                  static_cast<zelqor::ThumbnailHost&>(*this))),
      loupe_(std::make_unique<zelqor::PreviewLoupe>(doc,
                                                    options,
                                                    static_cast<zelqor::ThumbnailHost&>(*this))) {
    panel_->OnPaint = [this, look = std::move(look)](TPaintPanel& p) {
        const ThumbnailLook shown = look();
        if (loupe_->Showing()) {
            loupe_->Paint(*p.Buffer(), p.PaintRectDevice(), p.ClientRectDevice(), shown.code,
                          shown.tint, shown.colour);
        } else {
            thumbnail_->Paint(*p.Buffer(), p.PaintRectDevice(), p.ClientRectDevice(), shown.code,
                              shown.tint, shown.colour);
        }
    };
    clickTimer_.setSingleShot(true);
    connect(&clickTimer_, &QTimer::timeout, this, [this] {
        loupe_->ClickSettled();
        LoupeMayHaveChanged();
    });
    // Esc anywhere in the window while the box is shown, but only while the loupe is open, so
    // that it takes the key from nobody else.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    escape->setEnabled(false);
    connect(escape, &QShortcut::activated, this, [this] {
        loupe_->Escape();
        LoupeMayHaveChanged();
    });
    escape_ = escape;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel_);
    panel_->setObjectName("PaintPanelPreview");
    // Queued, so the slot runs on the box's (the window's) thread whoever emits.
    connect(this, &ThumbnailBox::Posted, this, &ThumbnailBox::RunPosted, Qt::QueuedConnection);
    page->installEventFilter(this);
    panel_->installEventFilter(this);
    FollowPage();
}

bool ThumbnailBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        if (watched == parent()) {
            FollowPage();
        } else if (watched == panel_) {
            const zelqor::Rect area = panel_->ClientRectDevice();
            thumbnail_->SetArea(area.Width(), area.Height());
            loupe_->SetArea(area.Width(), area.Height());
        }
    } else if (watched == panel_ && PanelMouse(event)) {
        LoupeMayHaveChanged();
    }
    return QGroupBox::eventFilter(watched, event);
}

// The panel's own double-click handler still runs: the filter only watches.
bool ThumbnailBox::PanelMouse(QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (type == QEvent::MouseMove ? !(mouse->buttons() & Qt::LeftButton)
                                  : mouse->button() != Qt::LeftButton) {
        return false;
    }
    const qreal ratio = panel_->devicePixelRatioF();
    const zelqor::PanelPoint at{static_cast<int>(mouse->position().x() * ratio),
                                static_cast<int>(mouse->position().y() * ratio)};
    switch (type) {
        case QEvent::MouseButtonPress:
            loupe_->Pressed(at);
            break;
        case QEvent::MouseMove:
            loupe_->Moved(at);
            break;
        case QEvent::MouseButtonRelease:
            if (loupe_->Released(at)) {
                clickTimer_.start(QApplication::doubleClickInterval());
            }
            break;
        default:
            clickTimer_.stop();
            loupe_->DoubleClicked();
            break;
    }
    return true;
}

void ThumbnailBox::LoupeMayHaveChanged() {
    escape_->setEnabled(loupe_->Active());
    if (loupe_->Dragging()) {
        panel_->setCursor(Qt::ClosedHandCursor);
    } else if (loupe_->Active()) {
        panel_->setCursor(Qt::OpenHandCursor);
    } else {
        panel_->unsetCursor();
    }
}

void ThumbnailBox::Refresh() {
    thumbnail_->Refresh();
    loupe_->Refresh();
}

void ThumbnailBox::FollowPage() {
    const QWidget* page = parentWidget();
    setGeometry(left_, top_, std::max(page->width() - margin_ - left_, 0),
                std::max(page->height() - margin_ - top_, 0));
}

ThumbnailBox::~ThumbnailBox() = default;

void ThumbnailBox::ThumbnailChanged() {
    panel_->update();
    // A new source closes the loupe from inside the document.
    if (escape_ != nullptr) {
        LoupeMayHaveChanged();
    }
}

void ThumbnailBox::PostToWindowThread(std::function<void()> task) {
    {
        const std::lock_guard<std::mutex> lock(postedMutex_);
        posted_.push_back(std::move(task));
    }
    emit Posted();
}

void ThumbnailBox::RunPosted() {
    std::vector<std::function<void()>> tasks;
    {
        const std::lock_guard<std::mutex> lock(postedMutex_);
        tasks.swap(posted_);
    }
    for (const std::function<void()>& task : tasks) {
        if (RunTask) {
            RunTask(task);
        } else {
            task();
        }
    }
}
