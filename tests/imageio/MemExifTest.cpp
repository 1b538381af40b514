// Tests of the Exif size patch on small TIFF structures built here.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "ImageIoError.h"
#include "MemExif.h"
#include "Stream.h"

namespace zelqor {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t value;  // SHORT values sit in the first two bytes of the field
};

constexpr std::uint16_t kShort = 3, kLong = 4, kRational = 5;
constexpr std::uint32_t kFieldFill = 0xEEEE;  // marks the unused half of a SHORT field

// Builds "Exif\0\0", a TIFF header, IFD0 at TIFF offset 8 and, when given, the Exif
// sub-directory right after it (an 0x8769 entry in ifd0 is pointed at it automatically).
class BlockBuilder {
  public:
    explicit BlockBuilder(bool bigEndian) : big_(bigEndian) {}

    Bytes Build(std::vector<Entry> ifd0,
                const std::vector<Entry>& exif,
                const char* identifier = "Exif") {
        Bytes b(identifier, identifier + 4);
        b.push_back(0);
        b.push_back(0);
        const std::uint32_t ifd0Offset = 8;
        const std::uint32_t exifOffset = ifd0Offset + 2 + 12 * ifd0.size() + 4;
        for (Entry& e : ifd0) {
            if (e.tag == 0x8769)
                e.value = exifOffset;
        }
        b.push_back(big_ ? 'M' : 'I');
        b.push_back(big_ ? 'M' : 'I');
        put16(b, 42);
        put32(b, ifd0Offset);
        directory(b, ifd0);
        if (!exif.empty())
            directory(b, exif);
        return b;
    }

    std::uint32_t Field(const Bytes& b,
                        std::size_t entryIndexFromIfd0,
                        bool inExif,
                        std::size_t ifd0Count,
                        bool shortValue) const {
        std::size_t at = 6 + 8 + 2 + 12 * entryIndexFromIfd0 + 8;
        if (inExif)
            at = 6 + 8 + 2 + 12 * ifd0Count + 4 + 2 + 12 * entryIndexFromIfd0 + 8;
        if (shortValue)
            return big_ ? (b[at] << 8) | b[at + 1] : (b[at + 1] << 8) | b[at];
        return big_
                   ? (std::uint32_t(b[at]) << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3]
                   : (std::uint32_t(b[at + 3]) << 24) | (b[at + 2] << 16) | (b[at + 1] << 8) |
                         b[at];
    }

  private:
    void put16(Bytes& b, std::uint16_t v) const {
        if (big_) {
            b.push_back(v >> 8);
            b.push_back(v & 0xFF);
        } else {
            b.push_back(v & 0xFF);
            b.push_back(v >> 8);
        }
    }
    void put32(Bytes& b, std::uint32_t v) const {
        if (big_) {
            put16(b, v >> 16);
            put16(b, v & 0xFFFF);
        } else {
            put16(b, v & 0xFFFF);
            put16(b, v >> 16);
        }
    }
    void directory(Bytes& b, const std::vector<Entry>& entries) const {
        put16(b, static_cast<std::uint16_t>(entries.size()));
        for (const Entry& e : entries) {
            put16(b, e.tag);
            put16(b, e.type);
            put32(b, 1);
            if (e.type == kShort) {
                put16(b, static_cast<std::uint16_t>(e.value));
                put16(b, kFieldFill);
            } else {
                put32(b, e.value);
            }
        }
        put32(b, 0);
    }
    bool big_;
};

struct Patched {
    bool result;
    Bytes before;
    Bytes after;
};

Patched patch(const Bytes& block, std::int32_t width, std::int32_t height) {
    MemoryStream s(block);
    const bool r = TExifInfo().SetImageSize(s, width, height);
    return {r, block, s.Bytes()};
}

// Offsets where before and after differ.
std::vector<std::size_t> changedBytes(const Patched& p) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < p.before.size(); ++i) {
        if (p.before[i] != p.after[i])
            out.push_back(i);
    }
    return out;
}

TEST(SetImageSize, PatchesSizeTagsInBothByteOrdersAndTypes) {
    for (bool big : {false, true}) {
        for (std::uint16_t type : {kShort, kLong}) {
            SCOPED_TRACE(std::string(big ? "MM " : "II ") + (type == kShort ? "SHORT" : "LONG"));
            BlockBuilder builder(big);
            const std::vector<Entry> ifd0 = {{0x0100, type, 10},
                                             {0x0101, type, 20},
                                             {0x010F, 2, 0x41424344},
                                             {0x8769, kLong, 0}};
            const std::vector<Entry> exif = {
                {0x9000, 7, 0x30323230}, {0xA002, type, 10}, {0xA003, type, 20}};
            const Patched p = patch(builder.Build(ifd0, exif), 1234, 567);
            ASSERT_TRUE(p.result);
            ASSERT_EQ(p.after.size(), p.before.size());
            const bool s = type == kShort;
            EXPECT_EQ(builder.Field(p.after, 0, false, 4, s), 1234u);
            EXPECT_EQ(builder.Field(p.after, 1, false, 4, s), 567u);
            EXPECT_EQ(builder.Field(p.after, 1, true, 4, s), 1234u);
            EXPECT_EQ(builder.Field(p.after, 2, true, 4, s), 567u);
            // Only the value bytes of the four size fields change; a SHORT keeps its other half.
            const std::size_t perField = s ? 2 : 4;
            for (std::size_t at : changedBytes(p)) {
                const std::size_t ifd0Field0 = 6 + 8 + 2 + 8;
                const std::size_t exifField1 = 6 + 8 + 2 + 12 * 4 + 4 + 2 + 12 + 8;
                const bool inIfd0Fields =
                    (at >= ifd0Field0 && at < ifd0Field0 + perField) ||
                    (at >= ifd0Field0 + 12 && at < ifd0Field0 + 12 + perField);
                const bool inExifFields =
                    (at >= exifField1 && at < exifField1 + perField) ||
                    (at >= exifField1 + 12 && at < exifField1 + 12 + perField);
                EXPECT_TRUE(inIfd0Fields || inExifFields) << "byte " << at << " changed";
            }
        }
    }
}

TEST(SetImageSize, ShortFieldTakesTheLow16Bits) {
    BlockBuilder builder(false);
    const Patched p = patch(builder.Build({{0x8769, kLong, 0}}, {{0xA002, kShort, 1}}), 70000, 1);
    ASSERT_TRUE(p.result);
    EXPECT_EQ(builder.Field(p.after, 0, true, 1, true), 4464u);
}

TEST(SetImageSize, LeavesOtherTypesAndUnknownTagsAlone) {
    BlockBuilder builder(true);
    const Patched p =
        patch(builder.Build({{0x0100, kRational, 99}, {0x0110, kShort, 5}}, {}), 640, 480);
    EXPECT_TRUE(p.result);
    EXPECT_EQ(p.after, p.before);
}

TEST(SetImageSize, ReadsIfd0EntriesAfterTheExifPointer) {
    BlockBuilder builder(false);
    // A GPS pointer and the size tags come after the Exif pointer.
    const std::vector<Entry> ifd0 = {
        {0x8769, kLong, 0}, {0x8825, kLong, 0}, {0x0100, kLong, 1}, {0x0101, kLong, 2}};
    const Patched p = patch(builder.Build(ifd0, {{0xA003, kLong, 3}}), 800, 600);
    ASSERT_TRUE(p.result);
    EXPECT_EQ(builder.Field(p.after, 1, false, 4, false), 0u) << "GPS pointer untouched";
    EXPECT_EQ(builder.Field(p.after, 2, false, 4, false), 800u);
    EXPECT_EQ(builder.Field(p.after, 3, false, 4, false), 600u);
    EXPECT_EQ(builder.Field(p.after, 0, true, 4, false), 600u);
}

TEST(SetImageSize, IdentifierAndHeaderChecks) {
    struct Case {
        const char* name;
        Bytes block;
        bool result;
    };
    BlockBuilder ii(false);
    Bytes badMagic = ii.Build({{0x0100, kLong, 1}}, {});
    badMagic[8] = 0x2B;
    Bytes mixedMark = ii.Build({{0x0100, kLong, 1}}, {});
    mixedMark[7] = 'M';
    Bytes noZero = ii.Build({{0x0100, kLong, 1}}, {});
    noZero[4] = ' ';
    const std::vector<Case> cases = {
        {"capitals", ii.Build({{0x0100, kLong, 1}}, {}, "EXIF"), true},
        {"mixed case", ii.Build({{0x0100, kLong, 1}}, {}, "eXiF"), true},
        {"xmp payload", Bytes{'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd'}, false},
        {"empty", Bytes{}, false},
        {"identifier only", Bytes{'E', 'x', 'i', 'f', 0, 0}, false},
        {"short header", Bytes{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0}, false},
        {"wrong magic", badMagic, false},
        {"mixed byte-order mark", mixedMark, false},
        {"byte 4 not zero", noZero, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Patched p = patch(c.block, 300, 200);
        EXPECT_EQ(p.result, c.result);
        if (!c.result) {
            EXPECT_EQ(p.after, p.before);
        }
        if (c.result) {
            EXPECT_EQ(ii.Field(p.after, 0, false, 1, false), 300u);
        }
    }
}

TEST(SetImageSize, CorruptDirectoriesThrowTheReadErrorWithoutWritingOutside) {
    BlockBuilder mm(true);
    const std::vector<Entry> ifd0 = {{0x0100, kLong, 1}, {0x8769, kLong, 0}};
    const Bytes good = mm.Build(ifd0, {{0xA002, kLong, 1}, {0xA003, kLong, 1}});

    Bytes truncatedIfd0 = good;
    truncatedIfd0.resize(6 + 8 + 2 + 12 + 5);  // the Exif pointer entry is cut
    Bytes truncatedExif = good;
    truncatedExif.resize(good.size() - 4 - 6);  // the PixelYDimension entry is cut
    Bytes farIfd0 = good;
    farIfd0[10] = 0x7F;  // IFD0 offset far past the end
    Bytes hugeCount = good;
    hugeCount[14] = 0xFF;  // IFD0 claims 0xFF02 entries

    for (const Bytes* block : {&truncatedIfd0, &truncatedExif, &farIfd0, &hugeCount}) {
        MemoryStream s(*block);
        try {
            TExifInfo().SetImageSize(s, 4000, 3000);
            ADD_FAILURE() << "no error";
        } catch (const ImageIoError& e) {
            EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
        }
        EXPECT_EQ(s.Bytes().size(), block->size()) << "the block keeps its length";
    }
    // Patches made before the break stay.
    MemoryStream s(truncatedExif);
    EXPECT_THROW(TExifInfo().SetImageSize(s, 4000, 3000), ImageIoError);
    EXPECT_EQ(mm.Field(s.Bytes(), 0, false, 2, false), 4000u);
    EXPECT_EQ(mm.Field(s.Bytes(), 0, true, 2, false), 4000u);
}

TEST(SetImageSize, OnlyTheFirstExifPointerIsFollowed) {
    // Every IFD0 entry points at the same large directory: following each would cost
    // 20000 x 20000 entry reads.
    BlockBuilder builder(false);
    const std::vector<Entry> ifd0(20000, Entry{0x8769, kLong, 0});
    std::vector<Entry> exif(20000, Entry{0x9000, 7, 0});
    exif[0] = {0xA002, kLong, 1};
    const Bytes block = builder.Build(ifd0, exif);
    const auto start = std::chrono::steady_clock::now();
    const Patched p = patch(block, 640, 480);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(p.result);
    EXPECT_EQ(builder.Field(p.after, 0, true, ifd0.size(), false), 640u);
    EXPECT_LT(seconds, 0.5);
}

}  // namespace
}  // namespace zelqor
