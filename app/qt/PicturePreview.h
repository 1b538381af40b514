// The open dialog's picture preview: a thumbnail of the file under the cursor and its size.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>

#include "PreviewThumbnail.h"

class QLabel;

class PicturePreview : public QWidget {
    Q_OBJECT

  public:
    // The box the thumbnail is fitted into, in pixels.
    static constexpr int kBox = 160;

    // `colour`, when given, converts the thumbnails for the screen; it must outlive the preview.
    explicit PicturePreview(QWidget* parent = nullptr, zelqor::DisplayColour* colour = nullptr);

    // Shows `path`'s thumbnail and its size in pixels under it once they are read, which happens
    // off this thread; nothing for a folder or a file that cannot be read as a picture. What
    // was shown goes at once.
    void ShowFile(const QString& path);
    // A file asked for is still being read.
    bool Pending() const;

    // What is shown, for the tests: a null pixmap and an empty text when nothing is.
    QPixmap Thumbnail() const;
    QString SizeText() const;

  private:
    void Show(quint64 request, std::optional<zelqor::PreviewThumbnail>& thumb);

    QLabel* picture_;
    QLabel* size_;
    zelqor::DisplayColour* colour_;
    quint64 request_ = 0;  // the latest; answers to earlier ones are stale
    bool pending_ = false;
};
