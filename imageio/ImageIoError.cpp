// Formatting of the user texts carried by ImageIoError.
#include "ImageIoError.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "ImageLimits.h"

namespace zelqor {
namespace {

// Each text with its English wording; "%s" stands for a part filled in (a file name, a reason,
// a number), in the same order in both.
struct TextPair {
    std::string_view japanese;
    std::string_view english;
};

constexpr TextPair kOpenError{"ファイル %s は開けません。 %s ", "cannot open the file %s: %s"};
constexpr TextPair kCreateError{"ファイル \"%s\" を作成できません。%s",
                                "cannot create the file \"%s\": %s"};
constexpr TextPair kUnknownExtension{"拡張子 .%s の画像形式は処理できません",
                                     "pictures with the extension .%s cannot be processed"};
constexpr TextPair kJpegError{"JPEG エラー #%s", "JPEG error #%s"};

constexpr std::array kTextPairs = {
    TextPair{kStreamReadErrorText, "read error in the stream"},
    TextPair{kStreamWriteErrorText, "write error in the stream"},
    TextPair{kInvalidBitmapText, "the bitmap image is not valid"},
    TextPair{kInvalidPngText, "the PNG image is not valid"},
    TextPair{kUnknownPictureText, "the picture format is not recognised"},
    kOpenError,
    kCreateError,
    kUnknownExtension,
    kJpegError,
};

constexpr std::string_view kHole = "%s";

std::string Fill(std::string_view pattern, const std::vector<std::string>& parts) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t at = 0;;) {
        const std::size_t hole = pattern.find(kHole, at);
        out.append(pattern.substr(at, hole - at));
        if (hole == std::string_view::npos)
            return out;
        out += next < parts.size() ? parts[next++] : std::string();
        at = hole + kHole.size();
    }
}

// The parts that fill `pattern`'s holes to give `text`, or false when no filling does. Each
// part ends at the first place the literal text after it follows (the last at the text's end),
// so a file name holding that literal text would be cut there; none of ours is that odd.
bool Match(std::string_view pattern, std::string_view text, std::vector<std::string>& parts) {
    parts.clear();
    std::size_t hole = pattern.find(kHole);
    const std::string_view head = pattern.substr(0, hole);
    if (text.substr(0, head.size()) != head)
        return false;
    if (hole == std::string_view::npos)
        return text.size() == head.size();
    std::size_t at = head.size();
    while (hole != std::string_view::npos) {
        const std::size_t after = hole + kHole.size();
        const std::size_t nextHole = pattern.find(kHole, after);
        const std::string_view literal = pattern.substr(after, nextHole - after);
        std::size_t end;
        if (nextHole == std::string_view::npos) {
            if (text.size() < at + literal.size() ||
                text.substr(text.size() - literal.size()) != literal)
                return false;
            end = text.size() - literal.size();
        } else {
            end = text.find(literal, at);
            if (end == std::string_view::npos)
                return false;
        }
        parts.emplace_back(text.substr(at, end - at));
        at = end + literal.size();
        hole = nextHole;
    }
    return true;
}

}  // namespace

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
    return Fill(kOpenError.japanese, {fileName, reason});
}

std::string FileCreateErrorText(const std::string& fileName, const std::string& reason) {
    return Fill(kCreateError.japanese, {fileName, reason});
}

std::string UnknownExtensionText(const std::string& extension) {
    return Fill(kUnknownExtension.japanese, {extension});
}

std::string JpegErrorText(int messageCode) {
    return Fill(kJpegError.japanese, {std::to_string(messageCode)});
}

std::string EnglishText(const std::string& text) {
    std::vector<std::string> parts;
    for (const TextPair& pair : kTextPairs) {
        if (Match(pair.japanese, text, parts))
            return Fill(pair.english, parts);
    }
    return text;
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

std::string FileTooLargeText(std::uint64_t bytes, std::uint64_t most) {
    const auto mb = [](std::uint64_t n) { return std::to_string((n + (1 << 20) - 1) >> 20); };
    return "The file is too large to be read whole (" + mb(bytes) + " MB; at most " + mb(most) +
           " MB)";
}

std::string SystemReason(int error) {
    // strerror_r has two incompatible signatures; glibc's strerror returns fixed texts for
    // known codes and the text is copied at once.
    return std::strerror(error);
}

}  // namespace zelqor
