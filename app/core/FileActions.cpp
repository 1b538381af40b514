// The image input and output operations of the window.
#include "FileActions.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "CaptionTable.h"
#include "ImageFile.h"
#include "ImageIoError.h"
#include "PictureFilters.h"

namespace zelqor {
namespace {

std::string SizeText(int width, int height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

// `pattern` with each "{key}" replaced by its value; other braces stay as they are.
std::string Filled(std::string_view pattern,
                   std::initializer_list<std::pair<std::string_view, std::string>> values) {
    std::string out;
    for (std::size_t at = 0; at < pattern.size();) {
        bool filled = false;
        if (pattern[at] == '{') {
            const std::size_t close = pattern.find('}', at);
            const std::string_view key =
                close == std::string_view::npos ? "" : pattern.substr(at + 1, close - at - 1);
            for (const auto& [name, value] : values) {
                if (!filled && name == key) {
                    out += value;
                    at = close + 1;
                    filled = true;
                }
            }
        }
        if (!filled) {
            out += pattern[at++];
        }
    }
    return out;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::string SavedText(const std::string& fileName,
                      int width,
                      int height,
                      std::uintmax_t bytes,
                      const NumberFormat& fmt) {
    return "Saved " + std::filesystem::path(fileName).filename().string() + " (" +
           FormatGrouped(width, 0, fmt) + " x " + FormatGrouped(height, 0, fmt) + ", " +
           FormatGrouped(static_cast<double>(bytes), 0, fmt) + " bytes)";
}

bool IsReadablePictureFile(const std::string& fileName) {
    // The loader's own rule: the first bytes decide, whatever the name says.
    std::ifstream in(fileName, std::ios::binary);
    std::uint8_t head[kSignatureBytes] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    return in.gcount() > 0 && FormatOfBytes(head, static_cast<std::size_t>(in.gcount())) != nullptr;
}

std::string LoadNoticeText(const std::string& fileName, const std::vector<std::string>& notices) {
    std::string text = std::filesystem::path(fileName).filename().string() + ":";
    for (std::size_t i = 0; i < notices.size(); ++i)
        text += (i == 0 ? " " : "; ") + notices[i];
    return text;
}

void FileActions::ActionFileOpenExecute() {
    const std::optional<std::string> name = services_.OpenFileName(
        FileDialogRequest{OpenPictureFilter(), "jpg", openDialogFileName_, &colour_});
    if (name) {
        LoadImageFile(*name);
    }
}

void FileActions::LoadImageFile(const std::string& fileName) {
    const BusyCursor busy(services_);
    openDialogFileName_ = fileName;
    doc_.ClearExif();
    PictureFile file = ReadPictureFile(fileName);
    saveDialogFileName_ = fileName;
    sourceFileName_ = fileName;
    sourceWidth_ = file.width;
    sourceHeight_ = file.height;
    WorkingBitmap picture;
    try {
        picture = DecodePicture(file);
    } catch (...) {
        // The source has already given way to the new picture's size when its pixels fail.
        doc_.SetSource(WorkingBitmap(file.width, file.height));
        throw;
    }
    doc_.SetSource(std::move(picture));
    view_.ShowSourcePage();
    view_.RepaintSrc();
    doc_.ClearResult();
    view_.RepaintDst();
    std::optional<std::string> exifError;
    doc_.SetExif(CollectMetadata(file, exifError));
    if (const auto notice = colour_.UnusableProfileNotice(doc_.ColourProfile())) {
        file.notices.push_back(*notice);
    }
    // A notice of an earlier file must not stay to be read as this one's.
    if (!file.notices.empty() || noticeShown_) {
        view_.ShowStatusText(file.notices.empty() ? "" : LoadNoticeText(fileName, file.notices));
        noticeShown_ = !file.notices.empty();
    }
    if (exifError) {
        throw ImageIoError(*exifError);
    }
    view_.RefreshCalcSizeLabel();
}

void FileActions::DropFiles(const std::vector<std::string>& fileNames) {
    if (fileNames.empty()) {
        return;
    }
    // Several files open the first, as if it had come alone; the rest are not looked at, so an
    // unreadable first file is refused rather than passed over for a later one.
    if (!IsReadablePictureFile(fileNames.front())) {
        services_.ShowMessage(view_.Title(), "accept only JPEG file");
        return;
    }
    LoadImageFile(fileNames.front());
}

void FileActions::ShowDebugMessage(const std::string& text) {
    services_.ShowMessage(view_.Title(), "DEBUG\r\n" + text);
}

void FileActions::PasteFromClipboard() {
    const BusyCursor busy(services_);
    if (!services_.IsShiftKeyDown()) {
        doc_.ClearExif();
    }
    std::optional<WorkingBitmap> image = services_.ClipboardImage();
    if (!image) {
        services_.ShowMessage(view_.Title(), "Unsupported Clipboard Format");
        return;
    }
    // The kept metadata goes with pixels it does not describe; its colour profile would make
    // viewers read them as what they are not, unless the picture comes in that colour space.
    if (!doc_.Metadata().icc.bytes.empty() &&
        !services_.ClipboardImageIsIn(doc_.Metadata().IccProfile())) {
        MetadataBlock kept = doc_.Metadata();
        kept.icc = {};
        doc_.SetExif(std::move(kept));
    }
    if (image->HoldsImage()) {
        doc_.SetSource(std::move(*image));
    } else {
        // The clipboard offered a picture whose size could not be read.
        ShowDebugMessage("Error: GetObject() = 0");
    }
    view_.ShowSourcePage();
    view_.RefreshCalcSizeLabel();
    doc_.ClearResult();
    view_.RepaintSrc();
    view_.RepaintDst();
}

WorkingBitmap FileActions::StyledResult() const {
    WorkingBitmap copy = doc_.BitmapDst();
    const StyleCode code = viewMenu_.CurrentViewCode();
    if (code != StyleCode{}) {
        MakeViewBitmapAll(&copy, code, viewMenu_.Tint());
    }
    return copy;
}

void FileActions::ActionEditCopyExecute() {
    if (!doc_.BitmapDst().HoldsImage()) {
        // Nothing is put on the clipboard: what the user had there stays.
        services_.ShowMessage(view_.Title(), "no output bitmap");
        return;
    }
    // The clipboard carries no profile, and other programs read what it holds as sRGB.
    WorkingBitmap copy = StyledResult();
    if (const SharedTransform toSrgb = colour_.ToSrgb(doc_.ColourProfile())) {
        toSrgb->ApplyAll(copy);
    }
    services_.SetClipboardImage(copy);
}

void FileActions::ActionFileSaveExecute() {
    if (!doc_.BitmapDst().HoldsImage()) {
        services_.ShowMessage(view_.Title(), "no output bitmap");
        return;
    }
    const SaveProposal proposal = ProposeSaveName(saveDialogFileName_);
    // No default extension: the chosen entry's is added below, where the format is decided.
    const std::optional<SaveDialogAnswer> answer = services_.SaveFileName(
        FileDialogRequest{SavePictureFilter(), "", proposal.fileName, nullptr, proposal.filter});
    if (!answer) {
        return;
    }
    const SaveTarget target = ChooseSaveTarget(answer->fileName, answer->filter);
    if (target.format == nullptr) {
        const PictureFormat* typed = FormatByExtension(FileExtension(answer->fileName));
        services_.ShowMessage(view_.Title(), NotWritableText(answer->fileName, *typed));
        return;
    }
    if (MayReplace(target.fileName)) {
        SaveImageFile(target.fileName, target.format->id);
    }
}

bool FileActions::MayReplace(const std::string& fileName) {
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec)) {
        return true;
    }
    const std::string name = std::filesystem::path(fileName).filename().string();
    const bool japanese = services_.IsJapaneseLocale();
    // The save dialog proposes the opened photo's own name, so Enter in it would replace the
    // original with whatever the last run made, a preview perhaps: say what is at stake.
    const std::string question =
        SameFile(fileName, sourceFileName_)
            ? Filled(kReplaceSourceQuestion.In(japanese),
                     {{"name", name},
                      {"original", SizeText(sourceWidth_, sourceHeight_)},
                      {"result", SizeText(doc_.BitmapDst().Width(), doc_.BitmapDst().Height())}})
            : Filled(kReplaceQuestion.In(japanese), {{"name", name}});
    return services_.AskYesNo(view_.Title(), question);
}

void FileActions::SaveImageFile(const std::string& fileName) {
    const PictureFormat* named = FormatByExtension(FileExtension(fileName));
    SaveImageFile(fileName,
                  named != nullptr && IsWritable(*named) ? named->id : PictureFormatId::Jpeg);
}

void FileActions::SaveImageFile(const std::string& fileName, PictureFormatId format) {
    if (!doc_.BitmapDst().HoldsImage()) {
        services_.ShowMessage(view_.Title(), "no output bitmap");
        return;
    }
    const BusyCursor busy(services_);
    // The previous file stays intact if anything fails.
    const OptionValues options = ValuesAt(options_);
    const auto save = [&](const WorkingBitmap& pixels) {
        SavePictureFile(fileName, format, pixels, options.jpegQuality, doc_.Metadata(),
                        options.exif);
    };
    if (viewMenu_.CurrentViewCode() == StyleCode{}) {
        save(doc_.BitmapDst());  // no copy of a result that may be 96 MB
    } else {
        save(StyledResult());
    }
    if (SameFile(fileName, sourceFileName_)) {
        sourceFileName_.clear();  // the original is gone; the file holds a result now
    }
    std::error_code ec;
    const std::uintmax_t bytes = std::filesystem::file_size(fileName, ec);
    view_.ShowStatusText(SavedText(fileName, doc_.BitmapDst().Width(), doc_.BitmapDst().Height(),
                                   ec ? 0 : bytes, services_.LocaleNumberFormat()));
    noticeShown_ = true;
}

}  // namespace zelqor
