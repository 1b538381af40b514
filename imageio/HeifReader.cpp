// libheif glue: the primary image as interleaved RGB(A), its metadata items and colour profile.
#include "HeifReader.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "HeifGrid.h"
#include "HevcPictureSize.h"
#include "ImageIoError.h"
#include "NclxProfile.h"
#include "PngReader.h"

namespace zelqor {

namespace {

constexpr std::string_view kHeifBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                            "hevm", "hevs", "mif1", "msf1", "mif2"};
constexpr std::string_view kAvifBrands[] = {"avif", "avis"};

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct NclxDeleter {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

std::uint64_t big32(const std::uint8_t* p) {
    return (std::uint64_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// The brands of the leading "ftyp" box: its major brand and the compatible ones.
std::vector<std::string_view> brandsOf(const std::uint8_t* data, std::size_t size) {
    if (size < 16 || std::memcmp(data + 4, "ftyp", 4) != 0)
        return {};
    const std::uint64_t boxSize = std::min<std::uint64_t>(big32(data), size);
    std::vector<std::string_view> brands{{reinterpret_cast<const char*>(data + 8), 4}};
    for (std::uint64_t at = 16; at + 4 <= boxSize; at += 4)
        brands.emplace_back(reinterpret_cast<const char*>(data + at), 4);
    return brands;
}

template <std::size_t N>
bool namesAny(const std::vector<std::string_view>& brands, const std::string_view (&set)[N]) {
    return std::any_of(brands.begin(), brands.end(), [&](std::string_view b) {
        return std::find(std::begin(set), std::end(set), b) != std::end(set);
    });
}

// A file with a movie ("moov") and no item box ("meta") at its top holds only a sequence.
bool onlySequence(const std::uint8_t* data, std::size_t size) {
    bool movie = false, items = false;
    for (std::uint64_t at = 0; at + 8 <= size;) {
        std::uint64_t boxSize = big32(data + at);
        if (boxSize == 1 && at + 16 <= size)
            boxSize = (big32(data + at + 8) << 32) | big32(data + at + 12);
        else if (boxSize == 0)
            boxSize = size - at;
        movie |= std::memcmp(data + at + 4, "moov", 4) == 0;
        items |= std::memcmp(data + at + 4, "meta", 4) == 0;
        if (boxSize < 8)
            break;
        at += boxSize;
    }
    return movie && !items;
}

void check(const heif_error& error) {
    if (error.code != heif_error_Ok)
        throw ImageIoError(kInvalidHeifText, error.message != nullptr ? error.message : "");
}

std::vector<std::uint8_t> metadataItem(heif_image_handle* handle, heif_item_id id) {
    std::vector<std::uint8_t> bytes(heif_image_handle_get_metadata_size(handle, id));
    if (bytes.empty() ||
        heif_image_handle_get_metadata(handle, id, bytes.data()).code != heif_error_Ok)
        return {};
    return bytes;
}

void collectMetadata(heif_image_handle* handle, DecodedPicture& picture) {
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, nullptr);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(std::max(count, 0)));
    heif_image_handle_get_list_of_metadata_block_IDs(handle, nullptr, ids.data(), count);
    for (const heif_item_id id : ids) {
        const std::string_view type = heif_image_handle_get_metadata_type(handle, id);
        const char* contentType = heif_image_handle_get_metadata_content_type(handle, id);
        if (type == "Exif" && picture.exif.empty()) {
            picture.exif = ExifAfterOffsetHeader(metadataItem(handle, id));
        } else if (type == "mime" && contentType != nullptr &&
                   std::string_view(contentType) == "application/rdf+xml" && picture.xmp.empty()) {
            picture.xmp = metadataItem(handle, id);
        }
    }
}

// The ICC profile as stored, or one made from the nclx description; refuses HDR transfers.
void collectColour(heif_image_handle* handle, DecodedPicture& picture) {
    heif_color_profile_nclx* raw = nullptr;
    const heif_error got = heif_image_handle_get_nclx_color_profile(handle, &raw);
    // Owned whatever the call says: libheif can hand one out with an error code.
    const std::unique_ptr<heif_color_profile_nclx, NclxDeleter> nclx(raw);
    if (got.code == heif_error_Ok && nclx) {
        if (IsHdrTransfer(nclx->transfer_characteristics))
            throw ImageIoError(kInvalidHeifText, kHeifHdrReason);
        picture.icc = IccProfileFromNclx(
            {nclx->color_primary_red_x, nclx->color_primary_red_y, nclx->color_primary_green_x,
             nclx->color_primary_green_y, nclx->color_primary_blue_x, nclx->color_primary_blue_y,
             nclx->color_primary_white_x, nclx->color_primary_white_y},
            nclx->transfer_characteristics);
    }
    const std::size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle);
    if (iccSize > 0) {
        std::vector<std::uint8_t> icc(iccSize);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
            picture.icc = std::move(icc);
    }
}

// Interleaved R, G, B(, A) samples of `bits` bits into our pixels, reduced with rounding.
// The decoder's planes (R, G, B and perhaps alpha, each of `bits`) into 8-bit pixels, alpha laid
// over white. Planes rather than interleaved samples, because libheif makes its planes first and
// interleaving them is a whole pass and a whole copy more.
void copyPixels(const heif_image* image, bool alpha, bool premultiplied, WorkingBitmap& bitmap) {
    const heif_channel channels[4] = {heif_channel_R, heif_channel_G, heif_channel_B,
                                      heif_channel_Alpha};
    const std::uint8_t* planes[4] = {};
    int strides[4] = {};
    const int count = alpha ? 4 : 3;
    for (int i = 0; i < count; ++i) {
        planes[i] = heif_image_get_plane_readonly(image, channels[i], &strides[i]);
        if (planes[i] == nullptr || heif_image_get_width(image, channels[i]) < bitmap.Width() ||
            heif_image_get_height(image, channels[i]) < bitmap.Height())
            throw ImageIoError(kInvalidHeifText, "the decoder gave no picture");
    }
    const int bits = heif_image_get_bits_per_pixel_range(image, heif_channel_R);
    const std::uint32_t maximum = (1u << bits) - 1;
    const auto sample = [&](int i, int y, int x) -> std::uint32_t {
        const std::uint8_t* row = planes[i] + static_cast<std::size_t>(strides[i]) * y;
        if (bits <= 8)
            return row[x];
        std::uint16_t v;
        std::memcpy(&v, row + 2 * static_cast<std::size_t>(x), 2);
        return (std::min<std::uint32_t>(v, maximum) * 255 + maximum / 2) / maximum;
    };
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint32_t* out = bitmap.RowWords(y);
        if (!alpha && bits <= 8) {
            // Nearly every photo: no per-sample choices.
            const std::uint8_t* r = planes[0] + static_cast<std::size_t>(strides[0]) * y;
            const std::uint8_t* g = planes[1] + static_cast<std::size_t>(strides[1]) * y;
            const std::uint8_t* b = planes[2] + static_cast<std::size_t>(strides[2]) * y;
            for (int x = 0; x < bitmap.Width(); ++x)
                out[x] =
                    0xFF000000u | (std::uint32_t{r[x]} << 16) | (std::uint32_t{g[x]} << 8) | b[x];
            continue;
        }
        for (int x = 0; x < bitmap.Width(); ++x) {
            std::uint32_t c[4] = {sample(0, y, x), sample(1, y, x), sample(2, y, x), 255};
            if (alpha)
                c[3] = sample(3, y, x);
            if (alpha && premultiplied) {
                const std::uint32_t white = 255 - c[3];
                for (int i = 0; i < 3; ++i)
                    c[i] = std::min(255u, c[i] + white);
                c[3] = 255;
            }
            out[x] = FlattenOnWhite((c[3] << 24) | (c[0] << 16) | (c[1] << 8) | c[2]);
        }
    }
}

}  // namespace

bool HasAvifSignature(const std::uint8_t* data, std::size_t size) {
    return namesAny(brandsOf(data, size), kAvifBrands);
}

bool HasHeifSignature(const std::uint8_t* data, std::size_t size) {
    const auto brands = brandsOf(data, size);
    return namesAny(brands, kHeifBrands) && !namesAny(brands, kAvifBrands);
}

DecodedPicture DecodeHeif(const std::uint8_t* data, std::size_t size, std::uint64_t maxPixels) {
    if (!HasHeifSignature(data, size) && !HasAvifSignature(data, size))
        throw ImageIoError(kInvalidHeifText, "Not a HEIF or AVIF file: no HEIF brand");
    if (onlySequence(data, size))
        throw ImageIoError(kInvalidHeifText, kHeifSequenceReason);

    const std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context)
        throw ImageIoError(kInvalidHeifText, "not enough memory");
    // libheif applies this to each side, before it takes memory for a picture or a grid.
    heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(kMaxPictureSide));
    check(heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr));
    if (heif_context_get_number_of_top_level_images(context.get()) == 0)
        throw ImageIoError(kInvalidHeifText, kHeifSequenceReason);
    heif_image_handle* rawHandle = nullptr;
    check(heif_context_get_primary_image_handle(context.get(), &rawHandle));
    const std::unique_ptr<heif_image_handle, HandleDeleter> handle(rawHandle);

    // The stored size is what the decoder allocates, the shown size (turned, cropped) what we
    // keep; both must fit.
    const auto side = [](int v) { return static_cast<std::uint64_t>(std::max(v, 0)); };
    CheckPictureSize(side(heif_image_handle_get_ispe_width(handle.get())),
                     side(heif_image_handle_get_ispe_height(handle.get())), maxPixels);
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    CheckPictureSize(side(width), side(height), maxPixels);

    // The coded streams may declare more than the items do; the HEVC decoder would allocate
    // for that without asking.
    const CodedSize coded = LargestHevcPicture({data, size});
    if (coded.width != 0)
        CheckPictureSize(coded.width, coded.height, maxPixels);
    // Nothing decoded on the way needs a side longer than the picture's own or its coded
    // streams'; a grid or overlay declaring a larger canvas than its item says would otherwise
    // take that memory (and the time to clear it) at each level it is nested.
    const std::uint64_t longest = std::max({side(heif_image_handle_get_ispe_width(handle.get())),
                                            side(heif_image_handle_get_ispe_height(handle.get())),
                                            side(width), side(height), coded.width, coded.height});
    // libheif refuses a side equal to its limit.
    heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(longest) + 1);

    // libheif fills what a grid's tiles leave of its canvas with black, without a word.
    if (const std::optional<HeifGridLayout> grid = PrimaryGridLayout({data, size})) {
        const std::uint64_t coveredWidth = std::uint64_t{grid->columns} * grid->tileWidth;
        const std::uint64_t coveredHeight = std::uint64_t{grid->rows} * grid->tileHeight;
        if (coveredWidth < grid->canvasWidth || coveredHeight < grid->canvasHeight)
            throw ImageIoError(kInvalidHeifText,
                               "its grid's tiles cover only " + std::to_string(coveredWidth) +
                                   " x " + std::to_string(coveredHeight) + " of its " +
                                   std::to_string(grid->canvasWidth) + " x " +
                                   std::to_string(grid->canvasHeight) + " canvas");
    }

    DecodedPicture picture;
    collectColour(handle.get(), picture);
    collectMetadata(handle.get(), picture);

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const std::unique_ptr<heif_decoding_options, OptionsDeleter> options(
        heif_decoding_options_alloc());
    heif_image* rawImage = nullptr;
    check(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_444,
                            options.get()));
    const std::unique_ptr<heif_image, ImageDeleter> image(rawImage);
    if (heif_image_get_primary_width(image.get()) != width ||
        heif_image_get_primary_height(image.get()) != height)
        throw ImageIoError(kInvalidHeifText, "the decoded picture disagrees with its header");
    // A transfer given only inside the coded stream shows up once decoded.
    heif_color_profile_nclx* streamNclx = nullptr;
    const heif_error gotStream = heif_image_get_nclx_color_profile(image.get(), &streamNclx);
    const std::unique_ptr<heif_color_profile_nclx, NclxDeleter> nclx(streamNclx);
    if (gotStream.code == heif_error_Ok && nclx && IsHdrTransfer(nclx->transfer_characteristics))
        throw ImageIoError(kInvalidHeifText, kHeifHdrReason);

    picture.bitmap = WorkingBitmap(width, height);
    copyPixels(image.get(), alpha, heif_image_handle_is_premultiplied_alpha(handle.get()) != 0,
               picture.bitmap);
    // libheif applied the rotation, mirror and crop; an Exif Orientation would turn it twice.
    picture.turnedUpright = true;
    SetOrientationUpright(picture.exif);
    return picture;
}

}  // namespace zelqor
