// The one exception type of the image-file layer and the user texts it carries.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zelqor {

// Every failure of imageio reaches the caller as this exception; what() is the text shown to
// the user (UTF-8), exactly as the message box should read: our own text first, then the file
// it concerns (once known), then on a second line the decoder's own words (when it gave any).
class ImageIoError : public std::runtime_error {
  public:
    explicit ImageIoError(const std::string& text, const std::string& reason = {})
        : ImageIoError(text, reason, {}) {}

    // Our own text alone, as the message tables word it.
    const std::string& Text() const { return text_; }
    // The library's or reader's own explanation; empty when there is none.
    const std::string& Reason() const { return reason_; }
    // The same error naming the file it happened to; a text that already names the file (the
    // open and create errors) is left as it is.
    ImageIoError ForFile(const std::string& fileName) const;

  private:
    ImageIoError(const std::string& text, const std::string& reason, const std::string& fileName);
    static std::string Compose(const std::string& text,
                               const std::string& reason,
                               const std::string& fileName);
    std::string text_;
    std::string reason_;
};

inline constexpr const char* kStreamReadErrorText = "ストリームからの読み込みエラー";
inline constexpr const char* kStreamWriteErrorText = "ストリームへの書き込みエラー";
inline constexpr const char* kInvalidBitmapText = "ビットマップイメージが不正です";
inline constexpr const char* kInvalidPngText = "PNG イメージが不正です";
// A file whose first bytes match no readable format although its extension names one.
inline constexpr const char* kUnknownPictureText = "画像形式を判別できません";

// "ファイル %s は開けません。 %s " with the file name and the system's reason.
std::string FileOpenErrorText(const std::string& fileName, const std::string& reason);
// "ファイル \"%s\" を作成できません。%s" with the file name and the system's reason.
std::string FileCreateErrorText(const std::string& fileName, const std::string& reason);
// "拡張子 .%s の画像形式は処理できません" with the extension without its dot.
std::string UnknownExtensionText(const std::string& extension);
// "JPEG エラー #%d" with libjpeg's message code.
std::string JpegErrorText(int messageCode);
// "The image is too large (W x H pixels; at most 268,435,456)" for a picture beyond
// kMaxImagePixels (ImageLimits.h).
std::string ImageTooLargeText(int width, int height);
// "The file is too large to be read whole (N MB; at most M MB)".
std::string FileTooLargeText(std::uint64_t bytes, std::uint64_t most);
// The reason given when a path names a device, a pipe or a socket instead of a file.
inline constexpr const char* kNotRegularFileReason = "Not a regular file";

// `text` (one of the texts above, as composed) in English; a text that is English already, or
// that none of them composed, comes back as it is. The window shows our texts as they are; the
// batch tool speaks English outside a Japanese locale.
std::string EnglishText(const std::string& text);

// The system's reason for errno value `error`, as strerror words it.
std::string SystemReason(int error);

[[noreturn]] inline void ThrowStreamReadError() {
    throw ImageIoError(kStreamReadErrorText);
}
[[noreturn]] inline void ThrowStreamWriteError() {
    throw ImageIoError(kStreamWriteErrorText);
}
[[noreturn]] inline void ThrowInvalidBitmap(const char* reason = "") {
    throw ImageIoError(kInvalidBitmapText, reason);
}

}  // namespace zelqor
