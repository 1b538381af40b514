// Message boxes, dialogs, clipboard, locale, keyboard, cursor and shell through Qt.
#include "QtPlatformServices.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QColorDialog>
#include <QColorSpace>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <cstring>

#include "FileDialogs.h"
#include "ImageIoError.h"
#include "ImageLimits.h"
#include "PngReader.h"
#include "QtText.h"
#include "X11ScreenProfile.h"

namespace zelqor {
namespace {

std::string FileNameFrom(const QString& chosen) {
    // Names go to the C library as the bytes the file system holds them in.
    return QFile::encodeName(chosen).toStdString();
}

QString PresetDirectoryOrName(const FileDialogRequest& request) {
    return request.fileName.empty() ? QString() : QFile::decodeName(request.fileName.c_str());
}

}  // namespace

QString QtFileFilter(const std::string& filter) {
    const QStringList parts = Q(filter).split('|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        QString name = parts[i];
        // The description may already carry its own list of patterns in parentheses; the
        // dialog reads the last parenthesised list, so give it the one that really filters.
        entries << name + " (" + patterns + ")";
    }
    return entries.join(";;");
}

void QtPlatformServices::ShowMessage(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, Q(caption), Q(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool QtPlatformServices::AskOkCancel(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Question, Q(caption), Q(text),
                    QMessageBox::Ok | QMessageBox::Cancel, parent_);
    return box.exec() == QMessageBox::Ok;
}

bool QtPlatformServices::AskYesNo(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No,
                    parent_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtPlatformServices::ShowError(const std::string& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, Q(caption), Q(text), QMessageBox::Ok, parent_);
    box.exec();
}

std::optional<Rgb> QtPlatformServices::PickColour(Rgb initial) {
    const QColor chosen = QColorDialog::getColor(QColor(initial.r, initial.g, initial.b), parent_);
    if (!chosen.isValid()) {
        return std::nullopt;
    }
    return Rgb{chosen.red(), chosen.green(), chosen.blue()};
}

std::optional<SaveDialogAnswer> QtPlatformServices::RunFileDialog(const FileDialogRequest& request,
                                                                  bool save) {
    const QString filter = QtFileFilter(request.filter);
    const QStringList entries = filter.split(";;");
    QFileDialog dialog(parent_, QString(), PresetDirectoryOrName(request), filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Opening needs a file that exists. Saving over one is asked about by the save itself,
    // which can tell the user when the file is the photo that was opened.
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, save);
    dialog.setDefaultSuffix(Q(request.defaultExtension));
    ShowFilterNamesOnce(dialog);
    if (request.selectedFilter > 0 && request.selectedFilter < entries.size()) {
        dialog.selectNameFilter(entries[request.selectedFilter]);
    }
    if (!save) {
        AddPicturePreview(dialog, request.colour);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    // Qt's own dialog names the chosen entry as it shows it, without the patterns it filters
    // on; a desktop's dialog names it whole.
    const QString chosen = dialog.selectedNameFilter();
    int entry = 0;
    for (int i = 0; i < entries.size(); ++i) {
        if (entries[i] == chosen || entries[i].startsWith(chosen + " (")) {
            entry = i;
            break;
        }
    }
    return SaveDialogAnswer{FileNameFrom(dialog.selectedFiles().front()), entry};
}

std::optional<std::string> QtPlatformServices::OpenFileName(const FileDialogRequest& request) {
    const std::optional<SaveDialogAnswer> answer = RunFileDialog(request, false);
    return answer ? std::optional<std::string>(answer->fileName) : std::nullopt;
}

std::optional<SaveDialogAnswer> QtPlatformServices::SaveFileName(const FileDialogRequest& request) {
    return RunFileDialog(request, true);
}

namespace {

// Qt's image reader refuses pictures over its allocation limit (128 MB, about 33 megapixels)
// before our own limit is asked, and the paste then fails without a reason. The limit is set
// so that any picture our limit takes fits, even at 16 bits per channel.
constexpr int kReaderAllocationLimitMb = static_cast<int>(kMaxImagePixels * 8 / (1024 * 1024)) + 1;

void refuseIfTooLarge(QSize size) {
    if (!ImageSizeAcceptable(size.width(), size.height())) {
        throw ImageIoError(ImageTooLargeText(size.width(), size.height()));
    }
}

// The clipboard's picture from its encoded form (PNG, BMP and the like), its size checked
// against our limit before a pixel is decoded; a null image when no encoded form is readable.
QImage readEncodedImage(const QMimeData& data) {
    for (const QString& format : data.formats()) {
        if (!format.startsWith("image/")) {
            continue;
        }
        QByteArray bytes = data.data(format);
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer);
        if (!reader.canRead()) {
            continue;
        }
        if (reader.size().isValid()) {
            refuseIfTooLarge(reader.size());
        }
        QImage image = reader.read();
        if (!image.isNull()) {
            return image;
        }
    }
    return QImage();
}

}  // namespace

std::optional<WorkingBitmap> QtPlatformServices::ClipboardImage() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard->mimeData();
    const auto offersEncodedImage = [data] {
        const QStringList formats = data->formats();
        return std::any_of(formats.begin(), formats.end(),
                           [](const QString& f) { return f.startsWith("image/"); });
    };
    if (data == nullptr || !(data->hasImage() || offersEncodedImage())) {
        return std::nullopt;
    }
    QImageReader::setAllocationLimit(kReaderAllocationLimitMb);
    QImage image = readEncodedImage(*data);
    if (image.isNull()) {
        image = clipboard->image();
    }
    clipboardColourSpace_ = image.colorSpace();
    if (image.isNull()) {
        return WorkingBitmap{};  // an image is offered, but it cannot be read
    }
    // The same limit as a decoded file, before the picture is copied once more.
    refuseIfTooLarge(image.size());
    // A transparent area shows white, not whatever colour was stored under it.
    const bool alpha = image.hasAlphaChannel();
    const QImage rgb = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image = QImage();
    WorkingBitmap bitmap(rgb.width(), rgb.height());
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::memcpy(bitmap.Row(y), rgb.constScanLine(y), static_cast<std::size_t>(rgb.width()) * 4);
        if (alpha) {
            std::uint32_t* row = bitmap.RowWords(y);
            std::transform(row, row + bitmap.Width(), row, FlattenOnWhite);
        }
    }
    return bitmap;
}

bool QtPlatformServices::ClipboardImageIsIn(std::span<const std::uint8_t> profile) {
    if (!clipboardColourSpace_.isValid() || profile.empty()) {
        return false;
    }
    const QColorSpace described = QColorSpace::fromIccProfile(QByteArray(
        reinterpret_cast<const char*>(profile.data()), static_cast<qsizetype>(profile.size())));
    return described.isValid() && described == clipboardColourSpace_;
}

void QtPlatformServices::SetClipboardImage(const WorkingBitmap& bitmap) {
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::memcpy(image.scanLine(y), bitmap.Row(y), static_cast<std::size_t>(bitmap.Width()) * 4);
    }
    QGuiApplication::clipboard()->setImage(image);
}

std::vector<std::uint8_t> QtPlatformServices::DisplayColourProfile() {
    return X11ScreenProfile(parent_ ? parent_->screen() : QGuiApplication::primaryScreen());
}

bool QtPlatformServices::IsJapaneseLocale() {
    return QLocale::system().language() == QLocale::Japanese;
}

NumberFormat QtPlatformServices::LocaleNumberFormat() {
    const QLocale locale = QLocale::system();
    return NumberFormat{locale.groupSeparator().toStdString(), locale.decimalPoint().toStdString()};
}

bool QtPlatformServices::IsShiftKeyDown() {
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}

void QtPlatformServices::SetBusyCursor(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

std::vector<std::string> QtPlatformServices::SettingsFilePaths() {
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QString name = exe.completeBaseName() + ".ini";
    std::vector<std::string> paths{FileNameFrom(exe.dir().filePath(name))};
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (!config.isEmpty()) {
        paths.push_back(FileNameFrom(QDir(config).filePath(name)));
    }
    return paths;
}

std::string QtPlatformServices::UserSettingsFilePath() {
    // ~/.config/zelqorhdr/zelqorhdr.conf: beside the read-only .ini there, not in it.
    return FileNameFrom(
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "zelqorhdr", "zelqorhdr")
            .fileName());
}

void QtPlatformServices::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(Q(url)));
}

}  // namespace zelqor
