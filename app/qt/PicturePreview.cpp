// The thumbnail comes from the window's preview reader (the camera's thumbnail or a
// reduced-scale decode), run on a pool thread; this shows the answer to the latest request.
#include "PicturePreview.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QThreadPool>
#include <QVBoxLayout>
#include <memory>

PicturePreview::PicturePreview(QWidget* parent, zelqor::DisplayColour* colour)
    : QWidget(parent), picture_(new QLabel(this)), size_(new QLabel(this)), colour_(colour) {
    setObjectName("PicturePreview");
    picture_->setObjectName("PreviewPicture");
    size_->setObjectName("PreviewSize");
    picture_->setFixedSize(kBox, kBox);
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setFrameShape(QFrame::StyledPanel);
    size_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picture_);
    layout->addWidget(size_);
    layout->addStretch(1);
}

void PicturePreview::ShowFile(const QString& path) {
    const quint64 request = ++request_;
    picture_->clear();
    size_->clear();
    pending_ = false;
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return;
    }
    pending_ = true;
    // The frame takes a little of the box.
    const int inner = kBox - 2 * picture_->frameWidth();
    const std::string file = QFile::encodeName(path).toStdString();
    // Read off the dialog's thread, so that a slow disk or a large file never freezes the list;
    // a later click makes this one's answer stale.
    const QPointer<PicturePreview> self(this);
    // The display's conversions belong to the window's thread: the pool only reads and shrinks.
    QThreadPool::globalInstance()->start([self, request, file, inner] {
        auto thumb = std::make_shared<std::optional<zelqor::PreviewThumbnail>>(
            zelqor::MakePreviewThumbnail(file, inner, inner));
        QMetaObject::invokeMethod(
            qApp,
            [self, request, thumb] {
                if (self) {
                    self->Show(request, *thumb);
                }
            },
            Qt::QueuedConnection);
    });
}

void PicturePreview::Show(quint64 request, std::optional<zelqor::PreviewThumbnail>& thumb) {
    if (request != request_) {
        return;
    }
    pending_ = false;
    if (!thumb) {
        return;
    }
    if (colour_ != nullptr) {
        zelqor::ShowForScreen(*thumb, *colour_);
    }
    const zelqor::WorkingBitmap& p = thumb->picture;
    // Blue, green, red and a fourth byte: Qt's RGB32 words, the fourth ignored. A deep copy, as
    // the pixels go with `thumb`.
    const QImage image(p.Row(0), p.Width(), p.Height(), qsizetype{p.Width()} * 4,
                       QImage::Format_RGB32);
    picture_->setPixmap(QPixmap::fromImage(image.copy()));
    size_->setText(QString("%1 x %2").arg(thumb->width).arg(thumb->height));
}

bool PicturePreview::Pending() const {
    return pending_;
}

QPixmap PicturePreview::Thumbnail() const {
    return picture_->pixmap();
}

QString PicturePreview::SizeText() const {
    return size_->text();
}
