// The thumbnail comes from the window's preview reader (a reduced-scale decode); this only shows
// it.
#include "PicturePreview.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "PreviewThumbnail.h"

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
    picture_->clear();
    size_->clear();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return;
    }
    // The frame takes a little of the box.
    const int inner = kBox - 2 * picture_->frameWidth();
    const auto thumb =
        zelqor::MakePreviewThumbnail(QFile::encodeName(path).toStdString(), inner, inner, colour_);
    if (!thumb) {
        return;
    }
    const zelqor::WorkingBitmap& p = thumb->picture;
    // The pixels are blue, green, red and a fourth byte: Qt's RGB32 words, the fourth ignored.
    const QImage image(p.Row(0), p.Width(), p.Height(), qsizetype{p.Width()} * 4,
                       QImage::Format_RGB32);
    // A deep copy: a pixmap made from an image over borrowed pixels may keep sharing them, and
    // these go with `thumb`.
    picture_->setPixmap(QPixmap::fromImage(image.copy()));
    size_->setText(QString("%1 x %2").arg(thumb->width).arg(thumb->height));
}

QPixmap PicturePreview::Thumbnail() const {
    return picture_->pixmap();
}

QString PicturePreview::SizeText() const {
    return size_->text();
}
