// libjxl glue: one pass of the decoder's events, the pixels written into our bitmap.
#include "JxlReader.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "ImageIoError.h"

namespace zelqor {

namespace {

constexpr std::uint8_t kContainerSignature[] = {0,   0,   0,    0x0C, 'J',  'X',
                                                'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
// Real Exif and XMP boxes are kilobytes; the cap stops a compressed box that unpacks forever.
constexpr std::size_t kMaxBoxBytes = std::size_t{16} << 20;
constexpr std::size_t kBoxChunk = 65536;

[[noreturn]] void fail(const std::string& reason) {
    throw ImageIoError(kInvalidJxlText, reason);
}

// libjxl 0.7 takes its working memory from the system allocator, past any memory manager we
// could give it, so the bound is set from what the header declares: the decoder holds one
// four-byte plane per channel of each frame it decodes, and a few bytes in a file can declare
// thousands of extra channels. Real files (colour, black, alpha, a spot colour or two) stay far
// below eight planes; the margin lets small pictures carry what they like.
constexpr std::uint64_t kPlanesPerBitmap = 8;
constexpr std::uint64_t kMemoryMargin = std::uint64_t{64} << 20;

void checkDecoderMemory(std::uint64_t width,
                        std::uint64_t height,
                        const JxlBasicInfo& info,
                        std::uint64_t bitmapBytes) {
    const std::uint64_t channels = std::uint64_t{info.num_color_channels} + info.num_extra_channels;
    const std::uint64_t budget = kPlanesPerBitmap * bitmapBytes + kMemoryMargin;
    // A frame's sides are 32 bits each: their product fits, a further product may not.
    const std::uint64_t pixels = width * height;
    const std::uint64_t needed = pixels > budget ? pixels : pixels * channels * 4;
    if (needed > budget) {
        const auto mb = [](std::uint64_t n) { return std::to_string((n + (1 << 20) - 1) >> 20); };
        fail("decoding it would take " + mb(needed) + " MB for " + std::to_string(channels) +
             " channels, more than a picture of its size needs (at most " + mb(budget) + " MB)");
    }
}

// The box being read: its contents grow in chunks until the decoder moves on.
struct BoxReader {
    enum class Kind { None, Exif, Xmp } kind = Kind::None;
    std::vector<std::uint8_t> bytes;
    std::size_t offered = 0;  // bytes handed to the decoder so far

    void Start(JxlDecoder* dec, Kind k) {
        kind = k;
        bytes.assign(kBoxChunk, 0);
        offered = 0;
        JxlDecoderSetBoxBuffer(dec, bytes.data(), bytes.size());
    }
    void Grow(JxlDecoder* dec) {
        const std::size_t unused = JxlDecoderReleaseBoxBuffer(dec);
        const std::size_t used = bytes.size() - unused;
        if (bytes.size() >= kMaxBoxBytes)
            fail("a metadata box is larger than any real one");
        bytes.resize(bytes.size() * 2);
        offered = used;
        JxlDecoderSetBoxBuffer(dec, bytes.data() + used, bytes.size() - used);
    }
    void Finish(JxlDecoder* dec, DecodedPicture& picture) {
        if (kind == Kind::None)
            return;
        const std::size_t unused = JxlDecoderReleaseBoxBuffer(dec);
        bytes.resize(bytes.size() - unused);
        if (kind == Kind::Exif && picture.exif.empty())
            picture.exif = ExifAfterOffsetHeader(bytes);
        else if (kind == Kind::Xmp && picture.xmp.empty())
            picture.xmp = std::move(bytes);
        kind = Kind::None;
        bytes.clear();
    }
};

// Grey and alpha pairs spread into B, G, R, A in place, from the end so nothing is overwritten
// before it is read.
void spreadGrey(WorkingBitmap& bitmap) {
    auto* bytes = reinterpret_cast<std::uint8_t*>(bitmap.Data());
    for (std::size_t i = static_cast<std::size_t>(bitmap.Width()) * bitmap.Height(); i-- > 0;) {
        const std::uint8_t grey = bytes[2 * i];
        const std::uint8_t alpha = bytes[2 * i + 1];
        bytes[4 * i] = bytes[4 * i + 1] = bytes[4 * i + 2] = grey;
        bytes[4 * i + 3] = alpha;
    }
}

void finishPixels(WorkingBitmap& bitmap, bool grey, bool alpha) {
    if (grey)
        spreadGrey(bitmap);
    SwapRedBlue(bitmap);
    if (alpha) {
        FlattenAllOnWhite(bitmap);
        return;
    }
    // Without an alpha channel libjxl leaves the fourth byte as it likes.
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint32_t* row = bitmap.RowWords(y);
        for (int x = 0; x < bitmap.Width(); ++x)
            row[x] |= 0xFF000000u;
    }
}

DecodedPicture finish(DecodedPicture& picture,
                      bool grey,
                      const JxlBasicInfo& info,
                      OrientationHandling orientation) {
    finishPixels(picture.bitmap, grey, info.alpha_bits > 0);
    // libjxl goes by the header alone; an Exif tag that disagrees would turn the pixels wrongly.
    if (orientation == OrientationHandling::AsStored) {
        if (picture.exif.empty() && info.orientation != JXL_ORIENT_IDENTITY)
            picture.exif = OrientationOnlyExif(static_cast<int>(info.orientation));
        SetOrientation(picture.exif, static_cast<int>(info.orientation));
    } else {
        picture.turnedUpright = true;
        SetOrientationUpright(picture.exif);
    }
    return std::move(picture);
}

}  // namespace

bool HasJxlSignature(const std::uint8_t* data, std::size_t size) {
    const JxlSignature s = JxlSignatureCheck(data, size);
    return s == JXL_SIG_CODESTREAM || s == JXL_SIG_CONTAINER ||
           (size >= sizeof kContainerSignature &&
            std::memcmp(data, kContainerSignature, sizeof kContainerSignature) == 0);
}

DecodedPicture DecodeJxl(const std::uint8_t* data, std::size_t size, std::uint64_t maxPixels) {
    return DecodeJxl(data, size, maxPixels, OrientationHandling::Upright);
}

DecodedPicture DecodeJxl(const std::uint8_t* data,
                         std::size_t size,
                         std::uint64_t maxPixels,
                         OrientationHandling orientation) {
    if (!HasJxlSignature(data, size))
        fail("Not a JPEG XL file: the signature is missing");
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    JxlDecoder* dec = decoder.get();
    if (dec == nullptr)
        fail("not enough memory");
    const JxlThreadParallelRunnerPtr runner =
        JxlThreadParallelRunnerMake(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
    if (runner &&
        JxlDecoderSetParallelRunner(dec, JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS)
        fail("the decoder's threads cannot start");
    if (JxlDecoderSubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME |
                                           JXL_DEC_FULL_IMAGE | JXL_DEC_BOX) != JXL_DEC_SUCCESS ||
        JxlDecoderSetDecompressBoxes(dec, JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(
            dec, orientation == OrientationHandling::AsStored ? JXL_TRUE : JXL_FALSE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(dec, data, size) != JXL_DEC_SUCCESS)
        fail("the decoder cannot be set up");
    JxlDecoderCloseInput(dec);

    DecodedPicture picture;
    JxlBasicInfo info{};
    JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    BoxReader box;
    bool grey = false;
    bool frameDone = false;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(dec);
        if (status != JXL_DEC_BOX_NEED_MORE_OUTPUT)
            box.Finish(dec, picture);
        switch (status) {
            case JXL_DEC_ERROR:
                fail("the decoder found the data broken");
            case JXL_DEC_NEED_MORE_INPUT:
                // A file cut short after its picture keeps the picture; only boxes are lost.
                if (frameDone)
                    return finish(picture, grey, info, orientation);
                fail("the file ends early");
            case JXL_DEC_BASIC_INFO: {
                if (JxlDecoderGetBasicInfo(dec, &info) != JXL_DEC_SUCCESS)
                    fail("the header is broken");
                CheckPictureSize(info.xsize, info.ysize, maxPixels);
                checkDecoderMemory(info.xsize, info.ysize, info,
                                   std::uint64_t{info.xsize} * info.ysize * 4);
                const bool swaps = orientation == OrientationHandling::Upright &&
                                   info.orientation >= JXL_ORIENT_TRANSPOSE;
                picture.bitmap = WorkingBitmap(static_cast<int>(swaps ? info.ysize : info.xsize),
                                               static_cast<int>(swaps ? info.xsize : info.ysize));
                grey = info.num_color_channels == 1;
                format.num_channels = grey ? 2 : 4;
                if (info.have_animation)
                    picture.notices.emplace_back(kJxlAnimationNotice);
                break;
            }
            case JXL_DEC_COLOR_ENCODING: {
                std::size_t iccSize = 0;
                if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                &iccSize) == JXL_DEC_SUCCESS &&
                    iccSize > 0) {
                    picture.icc.resize(iccSize);
                    if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                       picture.icc.data(),
                                                       iccSize) != JXL_DEC_SUCCESS)
                        picture.icc.clear();
                }
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                std::size_t needed = 0;
                if (JxlDecoderImageOutBufferSize(dec, &format, &needed) != JXL_DEC_SUCCESS ||
                    needed > picture.bitmap.ByteSize())
                    fail("the picture disagrees with its header");
                if (JxlDecoderSetImageOutBuffer(dec, &format, picture.bitmap.Data(),
                                                picture.bitmap.ByteSize()) != JXL_DEC_SUCCESS)
                    fail("the decoder refused the picture buffer");
                break;
            }
            case JXL_DEC_FRAME: {
                // A frame's layer may be larger than the canvas it is cropped to.
                JxlFrameHeader header{};
                if (JxlDecoderGetFrameHeader(dec, &header) != JXL_DEC_SUCCESS)
                    fail("a frame header is broken");
                checkDecoderMemory(header.layer_info.xsize, header.layer_info.ysize, info,
                                   picture.bitmap.ByteSize());
                break;
            }
            case JXL_DEC_BOX: {
                JxlBoxType type;
                if (JxlDecoderGetBoxType(dec, type, JXL_TRUE) != JXL_DEC_SUCCESS)
                    break;
                if (std::memcmp(type, "Exif", 4) == 0)
                    box.Start(dec, BoxReader::Kind::Exif);
                else if (std::memcmp(type, "xml ", 4) == 0)
                    box.Start(dec, BoxReader::Kind::Xmp);
                break;
            }
            case JXL_DEC_BOX_NEED_MORE_OUTPUT:
                box.Grow(dec);
                break;
            case JXL_DEC_FULL_IMAGE:
                if (!picture.bitmap.HoldsImage())
                    fail("the file holds no picture");
                frameDone = true;
                // Later frames are not wanted; a still picture's trailing boxes (where tools that
                // add metadata afterwards put it) are read on.
                if (info.have_animation)
                    return finish(picture, grey, info, orientation);
                break;
            case JXL_DEC_SUCCESS:
                if (!frameDone)
                    fail("the file holds no picture");
                return finish(picture, grey, info, orientation);
            default:
                break;
        }
    }
}

}  // namespace zelqor
