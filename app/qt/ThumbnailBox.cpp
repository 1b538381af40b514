// Preview group of the options page: placement and the panel's size.
#include "ThumbnailBox.h"

#include <QEvent>
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
                                                  static_cast<zelqor::ThumbnailHost&>(*this))) {
    panel_->OnPaint = [this, look = std::move(look)](TPaintPanel& p) {
        const ThumbnailLook shown = look();
        thumbnail_->Paint(*p.Buffer(), p.PaintRectDevice(), p.ClientRectDevice(), shown.code,
                          shown.tint, shown.colour);
    };
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
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

void ThumbnailBox::FollowPage() {
    const QWidget* page = parentWidget();
    setGeometry(left_, top_, std::max(page->width() - margin_ - left_, 0),
                std::max(page->height() - margin_ - top_, 0));
}

ThumbnailBox::~ThumbnailBox() = default;

void ThumbnailBox::ThumbnailChanged() {
    panel_->update();
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
