// libjpeg glue: one error exit that unwinds by longjmp, the decoder and the encoder.
#include "JpegCodec.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include <jpeglib.h>
// jerror.h must follow jpeglib.h.
#include <jerror.h>

#include "CmykConversion.h"
#include "ImageIoError.h"
#include "JpegRestartSplit.h"
#include "JpegRowStream.h"
#include "RowGate.h"
#include "Stream.h"
#include "WorkerThreads.h"

namespace zelqor {

namespace {

// Working memory libjpeg may take beyond the output bitmap (coefficient buffers of progressive
// files, mostly); past it the library fails instead of exhausting the machine.
constexpr long kMaxLibraryMemory = 512L * 1024 * 1024;
// Corrupt progressive files can hold endless tiny scans that decode for minutes.
constexpr int kMaxScans = 500;
// A file of several scans keeps every coefficient of the picture in memory, and each scan walks
// its blocks even when the scan holds no data, so a few kilobytes could declare gigabytes of
// work. Real progressive photos declare well under one block per byte and a Huffman-coded file
// can hold at most eight (its first DC scan spends a bit on every block); far beyond that the
// file cannot hold the picture it declares.
constexpr std::uint64_t kMaxBlocksPerFileByte = 64;
// Every block is visited about five times by the usual progressions; a file asking for ten
// times that does nothing but burn time.
constexpr std::uint64_t kMaxScanPasses = 50;
constexpr int kGreyLevels = 236;
constexpr std::uint8_t kStartOfImage = 0xD8;  // after 0xFF: every JPEG file begins so
constexpr std::uint8_t kOpaque = 0xFF;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int messageCode;
    char message[JMSG_LENGTH_MAX];  // the library's own words for messageCode
    bool endedEarly;                // the data ran out and the library filled in the rest
    char damage[JMSG_LENGTH_MAX];   // the library's words for the first sign of corrupt data
};

void errorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->messageCode = err->pub.msg_code;
    (*err->pub.format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings that say nothing about the picture's pixels.
bool isAboutMetadata(int code) {
    return code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR || code == JWRN_BOGUS_ICC;
}

// Warnings do not stop the decode: a corrupt stream decodes as far as it goes. What the user
// should hear of, data that ends early or is corrupt, is remembered. Trace messages (level 0
// and up) are not warnings.
void noteWarning(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    const int code = err->pub.msg_code;
    // Once the data has run out, the library's stand-in end marker cuts the scan short too:
    // that is the same loss, already told.
    if (level >= 0 || isAboutMetadata(code) || err->endedEarly)
        return;
    if (code == JWRN_JPEG_EOF) {
        err->endedEarly = true;
    } else if (err->damage[0] == '\0') {
        (*err->pub.format_message)(cinfo, err->damage);
    }
}
void ignoreOutput(j_common_ptr) {}

void installErrorManager(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = noteWarning;
    err.pub.output_message = ignoreOutput;
    err.messageCode = 0;
    err.message[0] = '\0';
    err.endedEarly = false;
    err.damage[0] = '\0';
}

void createObject(jpeg_decompress_struct& cinfo) {
    jpeg_create_decompress(&cinfo);
}
void createObject(jpeg_compress_struct& cinfo) {
    jpeg_create_compress(&cinfo);
}

// The one frame a library error unwinds to: `work` runs on a fresh library object, which is
// destroyed on every way out. Returns `work`'s result, or libjpeg's message code after an
// error (its words in `err`). The longjmp skips `work`'s frames, so they must hold only C
// objects while the library runs; C++ objects belong to the callers.
template <typename Object, typename Work>
int withLibrary(Object& cinfo, ErrorManager& err, Work&& work) {
    installErrorManager(err);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy(reinterpret_cast<j_common_ptr>(&cinfo));
        return err.messageCode == 0 ? JERR_BAD_STATE : err.messageCode;
    }
    createObject(cinfo);
    const int result = work(cinfo);
    jpeg_destroy(reinterpret_cast<j_common_ptr>(&cinfo));
    return result;
}

void copyNotes(const ErrorManager& err, JpegDecodeNotes* notes) {
    if (notes == nullptr)
        return;
    notes->endedEarly = err.endedEarly;
    notes->damage = err.damage;
}

// Our text for the library's failure, with its own words as the reason.
[[noreturn]] void throwJpegError(const ErrorManager& err) {
    throw ImageIoError(JpegErrorText(err.messageCode == 0 ? JERR_BAD_STATE : err.messageCode),
                       err.message);
}

std::uint64_t blocksOf(const jpeg_component_info& c) {
    return static_cast<std::uint64_t>(c.width_in_blocks) * c.height_in_blocks;
}

// The blocks of the coefficient buffer of a file read in several scans, rounded up as the
// library allocates them; 0 for a single-scan file, which needs no such buffer.
std::uint64_t wholeImageBlocks(j_decompress_ptr cinfo) {
    if (!cinfo->progressive_mode && cinfo->comps_in_scan >= cinfo->num_components)
        return 0;
    std::uint64_t blocks = 0;
    for (int i = 0; i < cinfo->num_components; ++i) {
        const jpeg_component_info& c = cinfo->comp_info[i];
        const auto roundUp = [](std::uint64_t n, int factor) {
            return (n + factor - 1) / factor * factor;
        };
        blocks += roundUp(c.width_in_blocks, c.h_samp_factor) *
                  roundUp(c.height_in_blocks, c.v_samp_factor);
    }
    return blocks;
}

// Called after the header, before the library allocates anything for the picture.
void checkFileCanHoldPicture(j_decompress_ptr cinfo, std::size_t fileSize) {
    if (wholeImageBlocks(cinfo) > kMaxBlocksPerFileByte * fileSize)
        ERREXIT(cinfo, JERR_INPUT_EOF);
}

struct ScanBudget {
    jpeg_progress_mgr pub;  // first, so the library's pointer is ours
    int countedScan = 0;
    std::uint64_t blocksVisited = 0;
    std::uint64_t maxBlocksVisited = 0;
};

std::uint64_t totalBlocks(j_decompress_ptr cinfo) {
    std::uint64_t blocks = 0;
    for (int i = 0; i < cinfo->num_components; ++i)
        blocks += blocksOf(cinfo->comp_info[i]);
    return blocks;
}

// Counts each scan's blocks once, when the library reaches the scan: it walks them all whether
// the scan holds data or not.
void limitScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans)
        ERREXIT4(cinfo, JERR_BAD_PROGRESSION, 0, 0, 0, 0);
    auto* budget = reinterpret_cast<ScanBudget*>(cinfo->progress);
    if (d->input_scan_number == budget->countedScan)
        return;
    budget->countedScan = d->input_scan_number;
    for (int i = 0; i < d->comps_in_scan; ++i)
        budget->blocksVisited += blocksOf(*d->cur_comp_info[i]);
    if (budget->blocksVisited > budget->maxBlocksVisited)
        ERREXIT4(cinfo, JERR_BAD_PROGRESSION, 0, 0, 0, 0);
}

void checkDimensions(j_decompress_ptr cinfo) {
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(cinfo->image_width) * cinfo->image_height;
    if (cinfo->image_width > kMaxJpegDimension || cinfo->image_height > kMaxJpegDimension ||
        pixels > kMaxDecodedPixels) {
        ERREXIT1(cinfo, JERR_IMAGE_TOO_BIG, kMaxJpegDimension);
    }
}

// Maps the quantiser's colour indices of a greyscale file to grey pixels.
void storeGreyRow(const j_decompress_ptr cinfo, const JSAMPLE* in, std::uint8_t* out) {
    const JSAMPLE* grey = cinfo->colormap[0];
    for (unsigned x = 0; x < cinfo->output_width; ++x) {
        const std::uint8_t v = grey[in[x]];
        out[4 * x] = v;
        out[4 * x + 1] = v;
        out[4 * x + 2] = v;
        out[4 * x + 3] = kOpaque;
    }
}

// The DCT scale (over 8) that decodes the picture smallest while still covering the wanted
// size on both sides: 1/8, 1/4, 1/2 or whole. Those three have the library's fast reduced
// transforms.
int scaleNumerator(JDIMENSION width, JDIMENSION height, const JpegDecodeOptions& options) {
    if (options.atLeastWidth <= 0 || options.atLeastHeight <= 0)
        return 8;
    for (const int numerator : {1, 2, 4}) {
        const auto covers = [numerator](JDIMENSION side, int wanted) {
            return (static_cast<std::uint64_t>(side) * numerator + 7) / 8 >=
                   static_cast<std::uint64_t>(wanted);
        };
        if (covers(width, options.atLeastWidth) && covers(height, options.atLeastHeight))
            return numerator;
    }
    return 8;
}
int scaleNumerator(j_decompress_ptr cinfo, const JpegDecodeOptions& options) {
    return scaleNumerator(cinfo->image_width, cinfo->image_height, options);
}

// Once every coefficient that each component's reduced transform reads is final, later scans
// of a progressive file cannot change a pixel. The smallest transforms read the DC alone; the
// others are taken to read all 64.
bool laterScansUnseen(j_decompress_ptr cinfo) {
    for (int ci = 0; ci < cinfo->num_components; ++ci) {
        const int read = cinfo->comp_info[ci].DCT_scaled_size == 1 ? 1 : DCTSIZE2;
        for (int k = 0; k < read; ++k) {
            if (cinfo->coef_bits[ci][k] != 0)
                return false;
        }
    }
    return true;
}

// Reads the header only; returns 0 or libjpeg's message code (its text in `err`).
int readHeader(const std::uint8_t* data,
               std::size_t size,
               std::uint64_t fileSize,
               JpegSize& out,
               ErrorManager& err) {
    jpeg_decompress_struct cinfo{};
    return withLibrary(cinfo, err, [&](jpeg_decompress_struct& c) {
        jpeg_mem_src(&c, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
        jpeg_read_header(&c, TRUE);
        checkDimensions(&c);
        checkFileCanHoldPicture(&c, static_cast<std::size_t>(fileSize));
        out.width = static_cast<int>(c.image_width);
        out.height = static_cast<int>(c.image_height);
        return 0;
    });
}

// The library's source reading a stream a piece at a time into a buffer of its own, so that a
// file need never be held whole; the end of the stream reads as the library's own source reads
// the end of memory (a warning and a stand-in end marker).
struct StreamSource {
    jpeg_source_mgr pub;  // first, so the library's pointer is ours
    Stream* stream;
    JOCTET* buffer;
    std::size_t capacity;
};

void initStreamSource(j_decompress_ptr) {}
void termStreamSource(j_decompress_ptr) {}

boolean fillFromStream(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<StreamSource*>(cinfo->src);
    std::size_t n = 0;
    try {
        n = source->stream->Read(source->buffer, source->capacity);
    } catch (...) {
        n = 0;  // nothing may unwind through the library: a failed read ends the data
    }
    if (n == 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        n = 2;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = n;
    return TRUE;
}

void skipInStream(j_decompress_ptr cinfo, long count) {
    auto* source = reinterpret_cast<StreamSource*>(cinfo->src);
    if (count <= 0)
        return;
    if (static_cast<std::size_t>(count) <= source->pub.bytes_in_buffer) {
        source->pub.next_input_byte += count;
        source->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
        return;
    }
    const auto beyond = static_cast<std::int64_t>(count - source->pub.bytes_in_buffer);
    source->pub.bytes_in_buffer = 0;
    try {
        source->stream->Seek(beyond, SeekOrigin::Current);
    } catch (...) {
    }
}

// Where a decode reads from: bytes in memory, or a stream of `size` bytes.
struct DecodeInput {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    StreamSource* stream = nullptr;
};

// Runs the decoder; returns 0 or libjpeg's message code. Only C objects live in this frame
// between setjmp and a possible longjmp. CMYK rows pass through `row` and `cmyk`, made once the
// header says what the file holds. With `published`, each row is handed over as soon as it is in
// the bitmap, and a closed gate ends the decode early (0 is returned then as well).
int decodeInto(const DecodeInput& input,
               const JpegDecodeOptions& options,
               WorkingBitmap& bitmap,
               std::vector<JSAMPLE>& row,
               std::optional<CmykToBgr>& cmyk,
               ErrorManager& err,
               RowGate* published,
               RowGate* released) {
    jpeg_decompress_struct object{};
    ScanBudget progress{};
    progress.pub.progress_monitor = limitScans;
    return withLibrary(object, err, [&](jpeg_decompress_struct& cinfo) {
        cinfo.progress = &progress.pub;
        cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
        if (input.stream)
            cinfo.src = &input.stream->pub;
        else
            jpeg_mem_src(&cinfo, const_cast<unsigned char*>(input.data),
                         static_cast<unsigned long>(input.size));
        // A CMYK file's colours are only known through its profile.
        jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
        jpeg_read_header(&cinfo, TRUE);
        checkDimensions(&cinfo);
        checkFileCanHoldPicture(&cinfo, input.size);
        progress.maxBlocksVisited = kMaxScanPasses * totalBlocks(&cinfo);
        const bool fourColours =
            cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;

        cinfo.dct_method = JDCT_ISLOW;
        cinfo.do_block_smoothing = TRUE;
        cinfo.scale_num = static_cast<unsigned>(scaleNumerator(&cinfo, options));
        cinfo.scale_denom = 8;
        if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
            cinfo.out_color_space = JCS_GRAYSCALE;
            cinfo.quantize_colors = TRUE;
            cinfo.desired_number_of_colors = kGreyLevels;
            cinfo.dither_mode = JDITHER_FS;
            cinfo.two_pass_quantize = FALSE;
        } else if (fourColours) {
            // The library turns YCCK into CMYK; the rest is the profile's or the formula's.
            cinfo.out_color_space = JCS_CMYK;
        } else {
            // libjpeg-turbo writes blue, green, red and an opaque fourth byte straight into our
            // rows.
            cinfo.out_color_space = JCS_EXT_BGRX;
        }
        // Buffered-image mode lets the output start after any scan.
        cinfo.buffered_image = options.glance && cinfo.progressive_mode;
        jpeg_start_decompress(&cinfo);
        if (cinfo.buffered_image) {
            int status = JPEG_SUSPENDED;
            do {
                // Our sources never suspend: at their end they give a stand-in end marker.
                status = jpeg_consume_input(&cinfo);
            } while (status != JPEG_REACHED_EOI &&
                     !(status == JPEG_SCAN_COMPLETED && laterScansUnseen(&cinfo)));
            // Block smoothing guesses the coefficients still missing; stopped early, those are
            // only ones the transform never reads, and a whole decode makes no such guesses.
            // With the whole file read it guesses as the whole decode does.
            if (status != JPEG_REACHED_EOI)
                cinfo.do_block_smoothing = FALSE;
            jpeg_start_output(&cinfo, cinfo.input_scan_number);
        }
        JOCTET* profile = nullptr;
        unsigned profileSize = 0;
        if (fourColours && !jpeg_read_icc_profile(&cinfo, &profile, &profileSize))
            profile = nullptr;
        // A C++ exception must not leave this frame with the library's memory still held.
        bool allocated = true;
        try {
            const int width = static_cast<int>(cinfo.output_width);
            const int height = static_cast<int>(cinfo.output_height);
            // Pixels of the right size are kept: every row is written below.
            if (bitmap.Width() != width || bitmap.Height() != height)
                bitmap.Resize(width, height);
            if (cinfo.quantize_colors)
                row.resize(static_cast<std::size_t>(cinfo.output_width));
            if (fourColours) {
                row.resize(static_cast<std::size_t>(cinfo.output_width) * 4);
                // Files with Adobe's marker store CMYK inverted (Photoshop's habit, which every
                // reader follows).
                cmyk.emplace(std::span<const std::uint8_t>(profile, profile ? profileSize : 0),
                             cinfo.saw_Adobe_marker != 0);
            }
        } catch (const std::bad_alloc&) {
            allocated = false;
        }
        std::free(profile);
        if (!allocated)
            ERREXIT1(&cinfo, JERR_OUT_OF_MEMORY, 0);
        const bool direct = !cinfo.quantize_colors && !fourColours;
        const auto slotFree = [&](int y) { return WaitForRingSlot(bitmap, y, released); };
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = static_cast<int>(cinfo.output_scanline);
            if (!slotFree(y)) {
                return 0;
            }
            JSAMPROW rows[1] = {direct ? bitmap.Row(y) : row.data()};
            if (jpeg_read_scanlines(&cinfo, rows, 1) != 1)
                break;
            if (fourColours)
                cmyk->ConvertRow(row.data(), bitmap.Row(y), static_cast<int>(cinfo.output_width));
            else if (!direct)
                storeGreyRow(&cinfo, row.data(), bitmap.Row(y));
            if (published && !published->Publish(y + 1)) {
                return 0;
            }
        }
        // Rows the library never gave are black, also in pixels that held an older picture.
        for (JDIMENSION y = cinfo.output_scanline; y < cinfo.output_height; ++y) {
            if (!slotFree(static_cast<int>(y))) {
                return 0;
            }
            std::memset(bitmap.Row(static_cast<int>(y)), 0, std::size_t{cinfo.output_width} * 4);
            // Handed on one by one: in a ring a row's slot is wanted again before the last row.
            if (published && !published->Publish(static_cast<int>(y) + 1)) {
                return 0;
            }
        }
        if (published)
            published->Publish(static_cast<int>(cinfo.output_height));
        // A glance never reads the scans it does not need.
        if (cinfo.output_scanline == cinfo.output_height && !cinfo.buffered_image) {
            jpeg_finish_decompress(&cinfo);
        }
        return 0;
    });
}

// The library's source reading a few pieces of memory one after another, as one file.
struct PiecesSource {
    jpeg_source_mgr pub;  // first, so the library's pointer is ours
    std::span<const std::uint8_t> pieces[4];
    int next;
};

void initPieces(j_decompress_ptr) {}
void termPieces(j_decompress_ptr) {}

boolean fillFromPieces(j_decompress_ptr cinfo) {
    static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
    auto* source = reinterpret_cast<PiecesSource*>(cinfo->src);
    while (source->next < 4 && source->pieces[source->next].empty())
        ++source->next;
    if (source->next == 4) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->pub.next_input_byte = kEndOfImage;
        source->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    const std::span<const std::uint8_t> piece = source->pieces[source->next++];
    source->pub.next_input_byte = piece.data();
    source->pub.bytes_in_buffer = piece.size();
    return TRUE;
}

void skipInPieces(j_decompress_ptr cinfo, long count) {
    auto* source = reinterpret_cast<PiecesSource*>(cinfo->src);
    auto left = static_cast<std::size_t>(std::max(count, 0L));
    while (left > source->pub.bytes_in_buffer) {
        left -= source->pub.bytes_in_buffer;
        source->pub.bytes_in_buffer = 0;
        if (source->next >= 4)
            return;
        fillFromPieces(cinfo);
    }
    source->pub.next_input_byte += left;
    source->pub.bytes_in_buffer -= left;
}

// What a half decodes to when it is not the half of the file it should be.
constexpr int kHalfInDoubt = -1;

// One half of a cut file into rows `firstRow` on of `bitmap`, at 1/8 x `scaleNum`. Returns 0
// only when the half decoded without a single warning to exactly the rows expected, through
// the colour path the whole decode takes; kHalfInDoubt or the library's code otherwise.
int decodeHalf(const PiecesSource& pieces,
               int scaleNum,
               WorkingBitmap& bitmap,
               int firstRow,
               int rows,
               ErrorManager& err) {
    jpeg_decompress_struct object{};
    PiecesSource source = pieces;
    source.pub.init_source = initPieces;
    source.pub.fill_input_buffer = fillFromPieces;
    source.pub.skip_input_data = skipInPieces;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = termPieces;
    source.pub.bytes_in_buffer = 0;
    source.next = 0;
    const int code = withLibrary(object, err, [&](jpeg_decompress_struct& cinfo) {
        cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
        cinfo.src = &source.pub;
        jpeg_read_header(&cinfo, TRUE);
        checkDimensions(&cinfo);
        if ((cinfo.jpeg_color_space != JCS_YCbCr && cinfo.jpeg_color_space != JCS_RGB) ||
            cinfo.progressive_mode || cinfo.arith_code || cinfo.num_components != 3)
            return kHalfInDoubt;
        cinfo.dct_method = JDCT_ISLOW;
        cinfo.do_block_smoothing = TRUE;
        cinfo.scale_num = static_cast<unsigned>(scaleNum);
        cinfo.scale_denom = 8;
        cinfo.out_color_space = JCS_EXT_BGRX;
        jpeg_calc_output_dimensions(&cinfo);
        // Upsampling that blends a row with its neighbours above and below would see the cut.
        for (int ci = 0; ci < cinfo.num_components; ++ci) {
            const jpeg_component_info& c = cinfo.comp_info[ci];
            if (c.v_samp_factor * c.DCT_scaled_size !=
                cinfo.max_v_samp_factor * cinfo.min_DCT_scaled_size)
                return kHalfInDoubt;
        }
        if (cinfo.output_width != static_cast<JDIMENSION>(bitmap.Width()) ||
            cinfo.output_height != static_cast<JDIMENSION>(rows))
            return kHalfInDoubt;
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row[1] = {bitmap.Row(firstRow + static_cast<int>(cinfo.output_scanline))};
            if (jpeg_read_scanlines(&cinfo, row, 1) != 1)
                return kHalfInDoubt;
        }
        jpeg_finish_decompress(&cinfo);
        return 0;
    });
    if (code == 0 && (err.endedEarly || err.damage[0] != '\0'))
        return kHalfInDoubt;
    return code;
}

// The picture of `data` decoded in two halves at once, cut at a restart marker; nothing when
// the file cannot be cut or either half is in any doubt, for the whole decode to settle.
std::optional<WorkingBitmap> decodeCut(std::span<const std::uint8_t> data,
                                       const JpegDecodeOptions& options) {
    const std::optional<JpegRestartSplit> split = FindRestartSplit(data.data(), data.size());
    if (!split)
        return std::nullopt;
    const std::size_t width =
        (std::size_t{data[split->heightField + 2]} << 8) | data[split->heightField + 3];
    const int scaleNum = scaleNumerator(static_cast<JDIMENSION>(width),
                                        static_cast<JDIMENSION>(split->height), options);
    const auto scaled = [scaleNum](std::size_t side) {
        return static_cast<int>((side * static_cast<std::size_t>(scaleNum) + 7) / 8);
    };
    const int topRows = scaled(static_cast<std::size_t>(split->topHeight));
    const int allRows = scaled(static_cast<std::size_t>(split->height));
    const auto heightBytes = [](int height) {
        return std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(height >> 8),
                                           static_cast<std::uint8_t>(height)};
    };
    const std::array<std::uint8_t, 2> topHeight = heightBytes(split->topHeight);
    const std::array<std::uint8_t, 2> bottomHeight = heightBytes(split->height - split->topHeight);
    static const std::uint8_t kEndOfImage[2] = {0xFF, JPEG_EOI};
    const std::span<const std::uint8_t> head = data.first(split->heightField);
    const std::size_t afterHeight = split->heightField + 2;
    PiecesSource top{};
    top.pieces[0] = head;
    top.pieces[1] = topHeight;
    top.pieces[2] = data.subspan(afterHeight, split->cut - afterHeight);
    top.pieces[3] = kEndOfImage;
    PiecesSource bottom{};
    bottom.pieces[0] = head;
    bottom.pieces[1] = bottomHeight;
    bottom.pieces[2] = data.subspan(afterHeight, split->scanData - afterHeight);
    bottom.pieces[3] = data.subspan(split->cut + 2);

    WorkingBitmap bitmap;
    try {
        bitmap.Resize(scaled(width), allRows);
    } catch (const std::bad_alloc&) {
        return std::nullopt;  // the whole decode fails with the library's words for it
    }
    int codes[2] = {0, 0};
    // Each half has its own library object and error frame; they share only their own rows.
    RunWorkers(2, [&](int half) {
        ErrorManager err{};
        codes[half] = half == 0
                          ? decodeHalf(top, scaleNum, bitmap, 0, topRows, err)
                          : decodeHalf(bottom, scaleNum, bitmap, topRows, allRows - topRows, err);
    });
    if (codes[0] != 0 || codes[1] != 0)
        return std::nullopt;
    return bitmap;
}

// A file larger than this is never held whole for a glance.
constexpr std::uint64_t kMostHeldForCut = 256ULL * 1024 * 1024;

// The glance at a file that can be cut at a restart marker: read whole and decoded in halves,
// or when a half is in doubt decoded whole from the bytes already read. Nothing for any other
// file, with `source` back where it was, for the decode a piece at a time.
std::optional<WorkingBitmap> glanceInHalves(Stream& source,
                                            const JpegDecodeOptions& options,
                                            JpegDecodeNotes* notes) {
    // Enough for a header with a camera's Exif block and a large profile.
    constexpr std::size_t kHeadPiece = 256 * 1024;
    const std::int64_t position = source.Position();
    const std::int64_t size = source.Size() - position;
    if (size <= 0 || static_cast<std::uint64_t>(size) > kMostHeldForCut)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(std::min(kHeadPiece, static_cast<std::size_t>(size)));
        bytes.resize(source.Read(bytes.data(), bytes.size()));
        if (!PlanRestartSplit(bytes.data(), bytes.size())) {
            source.SetPosition(position);
            return std::nullopt;
        }
        const std::size_t had = bytes.size();
        bytes.resize(static_cast<std::size_t>(size));
        bytes.resize(had + source.Read(bytes.data() + had, bytes.size() - had));
    } catch (const std::exception&) {
        // The decode a piece at a time tells of a failed read in its own way.
        source.SetPosition(position);
        return std::nullopt;
    }
    if (std::optional<WorkingBitmap> cut = decodeCut(bytes, options)) {
        if (notes)
            *notes = JpegDecodeNotes{};
        return cut;
    }
    JpegDecodeOptions whole = options;
    whole.glance = false;
    return DecodeJpeg(bytes.data(), bytes.size(), whole, WorkingBitmap{}, notes);
}

// The encode was ended by its row feed; no message code is negative.
constexpr int kEncodeStopped = -1;

// A picture of width x height whose rows come from `bitmap`, or from `feed` as it hands them out.
int encodeInto(int width,
               int height,
               const WorkingBitmap* bitmap,
               int quality,
               unsigned char*& out,
               unsigned long& outSize,
               ErrorManager& err,
               JpegRowFeed* feed) {
    jpeg_compress_struct object{};
    return withLibrary(object, err, [&](jpeg_compress_struct& cinfo) {
        jpeg_mem_dest(&cinfo, &out, &outSize);
        cinfo.image_width = static_cast<JDIMENSION>(width);
        cinfo.image_height = static_cast<JDIMENSION>(height);
        // The encoder reads our blue, green, red, fourth-byte rows as they are; the colour
        // conversion is the same as from plain RGB.
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_EXT_BGRX;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, quality, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            const int y = static_cast<int>(cinfo.next_scanline);
            const std::uint8_t* row = feed ? feed->Row(y) : bitmap->Row(y);
            if (!row)
                return kEncodeStopped;
            JSAMPROW rows[1] = {const_cast<JSAMPLE*>(row)};
            jpeg_write_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_compress(&cinfo);
        return 0;
    });
}

}  // namespace

JpegSize ReadJpegSize(const std::uint8_t* data, std::size_t size) {
    return ReadJpegSize(data, size, size);
}

JpegSize ReadJpegSize(const std::uint8_t* data, std::size_t size, std::uint64_t fileSize) {
    JpegSize out;
    ErrorManager err{};
    if (readHeader(data, size, fileSize, out, err) != 0)
        throwJpegError(err);
    return out;
}

void CheckJpegStart(const std::uint8_t* data, std::size_t size) {
    if (size >= 2 && data[0] == 0xFF && data[1] == kStartOfImage)
        return;
    // The library's own refusal, worded as it would word it.
    ErrorManager err{};
    installErrorManager(err);
    jpeg_common_struct common{};
    common.err = &err.pub;
    // An empty file is told as such, as the library's file source tells it.
    err.pub.msg_code = size == 0 ? JERR_INPUT_EMPTY : JERR_NO_SOI;
    err.pub.msg_parm.i[0] = size > 0 ? data[0] : 0;
    err.pub.msg_parm.i[1] = size > 1 ? data[1] : 0;
    err.messageCode = err.pub.msg_code;
    (*err.pub.format_message)(&common, err.message);
    throwJpegError(err);
}

WorkingBitmap DecodeJpeg(const std::uint8_t* data, std::size_t size) {
    return DecodeJpeg(data, size, JpegDecodeOptions{}, WorkingBitmap{});
}

WorkingBitmap DecodeJpeg(const std::uint8_t* data,
                         std::size_t size,
                         const JpegDecodeOptions& options,
                         WorkingBitmap reuse,
                         JpegDecodeNotes* notes) {
    WorkingBitmap bitmap = std::move(reuse);
    std::vector<JSAMPLE> row;
    std::optional<CmykToBgr> cmyk;
    ErrorManager err{};
    if (decodeInto(DecodeInput{data, size}, options, bitmap, row, cmyk, err, nullptr, nullptr) != 0)
        throwJpegError(err);
    copyNotes(err, notes);
    if (notes && cmyk)
        notes->profileSetAside = cmyk->ProfileSetAside();
    return bitmap;
}

WorkingBitmap DecodeJpeg(Stream& source, const JpegDecodeOptions& options, JpegDecodeNotes* notes) {
    constexpr std::size_t kPiece = 64 * 1024;
    if (options.glance) {
        if (std::optional<WorkingBitmap> cut = glanceInHalves(source, options, notes))
            return std::move(*cut);
    }
    std::vector<JOCTET> buffer(kPiece);
    StreamSource stream{};
    stream.pub.init_source = initStreamSource;
    stream.pub.fill_input_buffer = fillFromStream;
    stream.pub.skip_input_data = skipInStream;
    stream.pub.resync_to_restart = jpeg_resync_to_restart;
    stream.pub.term_source = termStreamSource;
    stream.stream = &source;
    stream.buffer = buffer.data();
    stream.capacity = buffer.size();
    const std::int64_t position = source.Position();
    const auto size = static_cast<std::size_t>(std::max<std::int64_t>(source.Size() - position, 0));
    WorkingBitmap bitmap;
    std::vector<JSAMPLE> row;
    std::optional<CmykToBgr> cmyk;
    ErrorManager err{};
    if (decodeInto(DecodeInput{nullptr, size, &stream}, options, bitmap, row, cmyk, err, nullptr,
                   nullptr) != 0)
        throwJpegError(err);
    copyNotes(err, notes);
    if (notes && cmyk)
        notes->profileSetAside = cmyk->ProfileSetAside();
    return bitmap;
}

std::vector<std::uint8_t> EncodeJpeg(const WorkingBitmap& bitmap, int quality) {
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int clamped = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
    ErrorManager err{};
    const int code =
        encodeInto(bitmap.Width(), bitmap.Height(), &bitmap, clamped, out, outSize, err, nullptr);
    std::vector<std::uint8_t> bytes;
    if (code == 0)
        bytes.assign(out, out + outSize);
    std::free(out);
    if (code != 0)
        throwJpegError(err);
    return bytes;
}

JpegRowOrder JpegDecodesInRows(const std::uint8_t* data, std::size_t size) {
    jpeg_decompress_struct object{};
    ErrorManager err{};
    J_COLOR_SPACE space = JCS_UNKNOWN;
    bool oneScan = false;
    const int failed = withLibrary(object, err, [&](jpeg_decompress_struct& cinfo) {
        jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
        jpeg_read_header(&cinfo, TRUE);
        space = cinfo.jpeg_color_space;
        oneScan = wholeImageBlocks(&cinfo) == 0;
        return 0;
    });
    if (failed != 0 || (space != JCS_GRAYSCALE && space != JCS_YCbCr && space != JCS_RGB)) {
        return JpegRowOrder::NotInRows;
    }
    return oneScan ? JpegRowOrder::AsRead : JpegRowOrder::AfterLastScan;
}

void DecodeJpegInRows(const std::uint8_t* data,
                      std::size_t size,
                      WorkingBitmap& bitmap,
                      RowGate& published,
                      JpegDecodeNotes* notes,
                      RowGate* released) {
    // Closed on every way out: the waiters must never wait for rows that will not come.
    struct CloseGate {
        RowGate& gate;
        ~CloseGate() { gate.Close(); }
    } closeGate{published};
    std::vector<JSAMPLE> row;
    std::optional<CmykToBgr> cmyk;
    ErrorManager err{};
    if (decodeInto(DecodeInput{data, size}, JpegDecodeOptions{}, bitmap, row, cmyk, err, &published,
                   released) != 0)
        throwJpegError(err);
    copyNotes(err, notes);
    if (notes && cmyk)
        notes->profileSetAside = cmyk->ProfileSetAside();
}

std::vector<std::uint8_t> EncodeJpegInRows(int width, int height, int quality, JpegRowFeed& feed) {
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const int clamped = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
    ErrorManager err{};
    const int code = encodeInto(width, height, nullptr, clamped, out, outSize, err, &feed);
    std::vector<std::uint8_t> bytes;
    if (code == 0)
        bytes.assign(out, out + outSize);
    std::free(out);
    if (code > 0)
        throwJpegError(err);
    return bytes;
}

}  // namespace zelqor
