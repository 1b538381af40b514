// Tests of the JPEG marker walk and of the segment inserter on hand-built streams.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <vector>

#include "ImageIoError.h"
#include "JpegSegment.h"
#include "Stream.h"

namespace zelqor {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes segment(std::uint8_t code, const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    Bytes out(payload.size() + 4);
    out[0] = 0xFF;
    out[1] = code;
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length & 0xFF);
    std::copy(payload.begin(), payload.end(), out.begin() + 4);
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kSoi{0xFF, 0xD8};
const Bytes kScan{0xFF, 0xDA, 0x00, 0x04, 0x11, 0x22, 0xFF, 0x00, 0xFF, 0xE1, 0x33, 0xFF, 0xD9};

struct WalkResult {
    bool reachedScan;
    Bytes block;
};

WalkResult walk(const Bytes& file, std::uint8_t marker = kMarkerApp1) {
    MemoryStream source(file);
    MemoryStream block;
    const bool ok = ReadJpegSegmentFromStream(block, source, marker);
    return {ok, block.Bytes()};
}

TEST(ReadJpegSegment, CollectsMarkerPayloadsInFileOrder) {
    struct Case {
        const char* name;
        Bytes file;
        bool reachedScan;
        Bytes block;
    };
    const Bytes exif{'E', 'x', 'i', 'f', 0, 0, 1, 2};
    const Bytes xmp{'h', 't', 't', 'p', 9};
    const std::vector<Case> cases = {
        {"exif then xmp, other segments skipped",
         concat({kSoi, segment(0xE0, {1, 2, 3}), segment(0xE1, exif), segment(0xDB, {7}),
                 segment(0xE1, xmp), kScan}),
         true, concat({exif, xmp})},
        {"no APP1", concat({kSoi, segment(0xE0, {1}), segment(0xC0, {2, 3}), kScan}), true, {}},
        {"fill bytes before the code",
         concat({kSoi, {0xFF, 0xFF, 0xFF}, segment(0xE1, exif), kScan}), true, exif},
        {"length 2 adds nothing and the walk goes on",
         concat({kSoi, segment(0xE1, {}), segment(0xE1, xmp), kScan}), true, xmp},
        {"stand-alone markers carry no length",
         concat({kSoi, {0xFF, 0x01, 0xFF, 0xD0, 0xFF, 0xD7}, segment(0xE1, exif), kScan}), true,
         exif},
        {"segments after SOS are not examined",
         concat({kSoi, kScan, segment(0xE1, exif)}),
         true,
         {}},
        {"not a JPEG", Bytes{'B', 'M', 0xFF, 0xD8}, false, {}},
        {"empty stream", Bytes{}, false, {}},
        {"only SOI", kSoi, false, {}},
        {"garbage where a marker belongs", concat({kSoi, segment(0xE1, exif), {0x00, 0xFF}}), false,
         exif},
        {"stray bytes between segments are passed over as the decoder does",
         concat({kSoi,
                 segment(0xE0, {1}),
                 {0x00, 0x13},
                 segment(0xE1, exif),
                 {0xFF, 0x00, 0x44},
                 segment(0xE1, xmp),
                 kScan}),
         true, concat({exif, xmp})},
        {"length below 2 counts as an empty segment",
         concat({kSoi, segment(0xE1, exif), {0xFF, 0xE1, 0x00, 0x01}, segment(0xE1, xmp), kScan}),
         true, concat({exif, xmp})},
        {"ends inside the length", concat({kSoi, segment(0xE1, exif), {0xFF, 0xE1, 0x00}}), false,
         exif},
        {"ends inside fill bytes", concat({kSoi, {0xFF, 0xFF}}), false, {}},
        {"skip past the end ends the walk",
         concat({kSoi, segment(0xE1, exif), {0xFF, 0xE2, 0x40, 0x00, 1, 2}}), false, exif},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WalkResult r = walk(c.file);
        EXPECT_EQ(r.reachedScan, c.reachedScan);
        EXPECT_EQ(r.block, c.block);
    }
}

TEST(ReadJpegSegment, AppendsToWhatTheBlockHeld) {
    MemoryStream block(Bytes{9, 9});
    MemoryStream source(concat({kSoi, segment(0xE1, {5}), kScan}));
    EXPECT_TRUE(ReadJpegSegmentFromStream(block, source, kMarkerApp1));
    EXPECT_EQ(block.Bytes(), (Bytes{9, 9, 5}));
}

TEST(ReadJpegSegment, PayloadPastTheEndThrowsAndKeepsEarlierPayloads) {
    const Bytes first{'E', 'x', 'i', 'f', 0, 0};
    Bytes file = concat({kSoi, segment(0xE1, first), {0xFF, 0xE1, 0x01, 0x00, 1, 2, 3}});
    MemoryStream source(file);
    MemoryStream block;
    try {
        ReadJpegSegmentFromStream(block, source, kMarkerApp1);
        FAIL() << "no error";
    } catch (const ImageIoError& e) {
        EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
    }
    EXPECT_EQ(block.Bytes(), first);
}

TEST(ReadJpegSegment, MissingFileThrowsTheOpenError) {
    MemoryStream block;
    try {
        ReadJpegSegment(block, "/nonexistent/x.jpg", kMarkerApp1);
        FAIL() << "no error";
    } catch (const ImageIoError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "ファイル /nonexistent/x.jpg は開けません。 No such file or directory ");
    }
    EXPECT_EQ(block.Size(), 0);
}

// What an encoder hands over: SOI, JFIF APP0, an APP1 of its own, tables, frame, scan.
const Bytes kEncoded = concat({kSoi,
                               segment(0xE0, {'J', 'F', 'I', 'F', 0}),
                               segment(0xE1, {'o', 'l', 'd'}),
                               segment(0xDB, {1, 2, 3}),
                               {0xFF, 0xFF},
                               segment(0xC0, {4, 5}),
                               {0xFF, 0xD0},
                               segment(0xC4, {}),
                               kScan});

Bytes insert(const Bytes& data, const Bytes& encoded = kEncoded, bool* ok = nullptr) {
    MemoryStream source(encoded);
    MemoryStream dest;
    const bool result = InsertJpegSegment(dest, source, data.data(), data.size(), kMarkerApp1);
    if (ok)
        *ok = result;
    return dest.Bytes();
}

TEST(InsertJpegSegment, PutsTheBlockAfterSoiAndDropsApp0AndOldApp1) {
    const Bytes data{'E', 'x', 'i', 'f', 0, 0, 'M', 'M'};
    bool ok = false;
    const Bytes out = insert(data, kEncoded, &ok);
    EXPECT_TRUE(ok);
    const Bytes expected = concat({kSoi,
                                   segment(0xE1, data),
                                   segment(0xDB, {1, 2, 3}),
                                   segment(0xC0, {4, 5}),
                                   {0xFF, 0xD0},
                                   segment(0xC4, {}),
                                   kScan});
    EXPECT_EQ(out, expected);
}

TEST(InsertJpegSegment, SplitsLongBlocksAt65533Bytes) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> segmentLengths;
    };
    const std::vector<Case> cases = {
        {0, {}},
        {1, {3}},
        {65533, {0xFFFF}},
        {65534, {0xFFFF, 3}},
        {2 * 65533 + 10, {0xFFFF, 0xFFFF, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        Bytes data(c.size);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * 7);
        const Bytes out = insert(data);
        std::size_t pos = 2;
        Bytes collected;
        for (std::size_t length : c.segmentLengths) {
            ASSERT_EQ(out[pos], 0xFF);
            ASSERT_EQ(out[pos + 1], 0xE1);
            ASSERT_EQ((out[pos + 2] << 8) | out[pos + 3], static_cast<int>(length));
            collected.insert(collected.end(), out.begin() + pos + 4,
                             out.begin() + pos + 2 + length);
            pos += 2 + length;
        }
        EXPECT_EQ(collected, data);
        EXPECT_EQ(out[pos + 1], 0xDB) << "tables follow the inserted run";
        // Read back, the run yields the block again.
        EXPECT_EQ(walk(out).block, data);
    }
}

TEST(InsertJpegSegment, CopiesEverythingFromSosByteForByte) {
    Bytes scan{0xFF, 0xDA, 0x00, 0x02};
    for (int i = 0; i < 200000; ++i)
        scan.push_back(static_cast<std::uint8_t>(i * 31 + 5));
    const Bytes encoded = concat({kSoi, segment(0xE0, {1}), scan});
    const Bytes out = insert({'E', 'x', 'i', 'f', 0, 0}, encoded);
    ASSERT_GE(out.size(), scan.size());
    EXPECT_TRUE(std::equal(scan.begin(), scan.end(), out.end() - scan.size()));
}

TEST(InsertJpegSegment, RefusesAStreamWithoutSoi) {
    bool ok = true;
    EXPECT_TRUE(insert({1, 2, 3}, Bytes{0x89, 'P', 'N', 'G'}, &ok).empty());
    EXPECT_FALSE(ok);
}

TEST(InsertJpegSegment, PayloadPastTheEndThrowsTheReadError) {
    const Bytes encoded = concat({kSoi, {0xFF, 0xDB, 0x00, 0x40, 1, 2}});
    MemoryStream source(encoded);
    MemoryStream dest;
    const Bytes data{1};
    EXPECT_THROW(InsertJpegSegment(dest, source, data.data(), data.size(), kMarkerApp1),
                 ImageIoError);
}

}  // namespace
}  // namespace zelqor
