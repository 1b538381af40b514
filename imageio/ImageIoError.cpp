// Formatting of the user texts carried by ImageIoError.
#include "ImageIoError.h"

#include <cstring>

#include "ImageLimits.h"

namespace zelqor {

ImageIoError::ImageIoError(const std::string& text,
                           const std::string& reason,
                           const std::string& fileName)
    : std::runtime_error(Compose(text, reason, fileName)), text_(text), reason_(reason) {}

std::string ImageIoError::Compose(const std::string& text,
                                  const std::string& reason,
                                  const std::string& fileName) {
    std::string out = text;
    if (!fileName.empty())
        out += ": " + fileName;
    if (!reason.empty())
        out += "\n" + reason;
    return out;
}

ImageIoError ImageIoError::ForFile(const std::string& fileName) const {
    if (fileName.empty() || text_.find(fileName) != std::string::npos)
        return *this;
    return ImageIoError(text_, reason_, fileName);
}

std::string FileOpenErrorText(const std::string& fileName, const std::string& reason) {
    return "ファイル " + fileName + " は開けません。 " + reason + " ";
}

std::string FileCreateErrorText(const std::string& fileName, const std::string& reason) {
    return "ファイル \"" + fileName + "\" を作成できません。" + reason;
}

std::string UnknownExtensionText(const std::string& extension) {
    return "拡張子 ." + extension + " の画像形式は処理できません";
}

std::string JpegErrorText(int messageCode) {
    return "JPEG エラー #" + std::to_string(messageCode);
}

std::string ImageTooLargeText(int width, int height) {
    const std::string digits = std::to_string(kMaxImagePixels);
    std::string limit;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            limit += ',';
        limit += digits[i];
    }
    return "The image is too large (" + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; at most " + limit + ")";
}

std::string SystemReason(int error) {
    // strerror_r has two incompatible signatures; glibc's strerror returns fixed texts for
    // known codes and the text is copied at once.
    return std::strerror(error);
}

}  // namespace zelqor
