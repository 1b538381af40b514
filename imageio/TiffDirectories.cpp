// Walking TIFF directories by hand: libtiff reads pixels well but hands out no raw directories.
#include "TiffDirectories.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "DecodedPicture.h"

namespace zelqor {

namespace {

// The tags of IFD0 that describe the photograph rather than the pixels' layout.
constexpr std::uint16_t kDescriptiveTags[] = {270, 271, 272, 274,   282,         283,       296,
                                              305, 306, 315, 33432, kExifIfdTag, kGpsIfdTag};
constexpr std::uint16_t kInteropIfdTag = 40965;
constexpr std::size_t kEntrySize = 12;
// Deeper than any real file nests (IFD0, Exif, Interop), low enough to stop a forged chain.
constexpr int kMaxNesting = 4;
constexpr std::size_t kMaxDirectories = 65536;

class Bytes {
  public:
    Bytes(std::span<const std::uint8_t> data, bool bigEndian) : data_(data), big_(bigEndian) {}
    bool Has(std::uint64_t offset, std::uint64_t count) const {
        return offset <= data_.size() && count <= data_.size() - offset;
    }
    std::uint64_t Get(std::uint64_t offset, int bytes) const {
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint8_t b = data_[offset + (big_ ? i : bytes - 1 - i)];
            v = (v << 8) | b;
        }
        return v;
    }
    std::span<const std::uint8_t> Data() const { return data_; }
    bool BigEndian() const { return big_; }

  private:
    std::span<const std::uint8_t> data_;
    bool big_;
};

void put(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v, int bytes, bool big) {
    for (int i = 0; i < bytes; ++i)
        out[at + (big ? bytes - 1 - i : i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::size_t typeSize(std::uint64_t type) {
    switch (type) {
        case 1:  // BYTE
        case 2:  // ASCII
        case 6:  // SBYTE
        case 7:  // UNDEFINED
            return 1;
        case 3:  // SHORT
        case 8:  // SSHORT
            return 2;
        case 4:   // LONG
        case 9:   // SLONG
        case 11:  // FLOAT
        case 13:  // IFD
            return 4;
        case 5:   // RATIONAL
        case 10:  // SRATIONAL
        case 12:  // DOUBLE
            return 8;
        default:
            return 0;
    }
}

bool isPointer(std::uint16_t tag) {
    return tag == kExifIfdTag || tag == kGpsIfdTag || tag == kInteropIfdTag;
}

struct Header {
    bool bigEndian = false;
    bool bigTiff = false;
    std::uint64_t firstIfd = 0;
};

std::optional<Header> readHeader(std::span<const std::uint8_t> file) {
    if (file.size() < 8 || !(file[0] == file[1] && (file[0] == 'I' || file[0] == 'M')))
        return std::nullopt;
    Header h;
    h.bigEndian = file[0] == 'M';
    const Bytes in(file, h.bigEndian);
    const std::uint64_t magic = in.Get(2, 2);
    if (magic == 42) {
        h.firstIfd = in.Get(4, 4);
    } else if (magic == 43 && in.Has(0, 16)) {
        h.bigTiff = true;
        h.firstIfd = in.Get(8, 8);
    } else {
        return std::nullopt;
    }
    return h;
}

// Appends a copy of the directory at `offset` of `in` to `out` (offsets relative to out's
// start), keeping the entries `keep` accepts; nested directories are copied behind it. Returns
// the copy's offset, or 0 when the directory cannot be read.
using KeepTag = bool (*)(std::uint16_t tag);
bool everyTag(std::uint16_t) {
    return true;
}
bool descriptiveTag(std::uint16_t tag) {
    return std::find(std::begin(kDescriptiveTags), std::end(kDescriptiveTags), tag) !=
           std::end(kDescriptiveTags);
}

std::uint64_t copyDirectory(const Bytes& in,
                            std::uint64_t offset,
                            std::vector<std::uint8_t>& out,
                            KeepTag keep,
                            int depth) {
    if (depth > kMaxNesting || !in.Has(offset, 2))
        return 0;
    const std::uint64_t declared = in.Get(offset, 2);
    const std::uint64_t count =
        std::min<std::uint64_t>(declared, (in.Data().size() - offset - 2) / kEntrySize);
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::span<const std::uint8_t> value;
        std::uint64_t nested;
    };
    std::vector<Entry> entries;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = offset + 2 + i * kEntrySize;
        Entry e{static_cast<std::uint16_t>(in.Get(at, 2)),
                static_cast<std::uint16_t>(in.Get(at + 2, 2)),
                static_cast<std::uint32_t>(in.Get(at + 4, 4)),
                {},
                0};
        const std::size_t size = typeSize(e.type);
        if (size == 0 || !keep(e.tag) || (!entries.empty() && e.tag <= entries.back().tag))
            continue;
        const std::uint64_t bytes = std::uint64_t{size} * e.count;
        const std::uint64_t valueAt = bytes <= 4 ? at + 8 : in.Get(at + 8, 4);
        if (!in.Has(valueAt, bytes))
            continue;
        e.value = in.Data().subspan(valueAt, bytes);
        if (isPointer(e.tag)) {
            if (e.count != 1 || size != 4)
                continue;
            e.nested = in.Get(at + 8, 4);
        }
        entries.push_back(e);
    }
    if (entries.empty())
        return 0;

    const bool big = in.BigEndian();
    const std::uint64_t start = out.size() + (out.size() & 1);
    out.resize(start + 2 + entries.size() * kEntrySize + 4);
    put(out, start, entries.size(), 2, big);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const std::size_t at = start + 2 + i * kEntrySize;
        put(out, at, e.tag, 2, big);
        put(out, at + 2, e.type, 2, big);
        put(out, at + 4, e.count, 4, big);
        if (e.value.size() <= 4) {
            std::copy(e.value.begin(), e.value.end(), out.begin() + at + 8);
            continue;
        }
        const std::size_t valueAt = out.size() + (out.size() & 1);
        out.resize(valueAt + e.value.size());
        std::copy(e.value.begin(), e.value.end(), out.begin() + valueAt);
        put(out, at + 8, valueAt, 4, big);
    }
    // Nested directories go last, so the values above stay where their offsets say.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!isPointer(entries[i].tag))
            continue;
        const std::size_t at = start + 2 + i * kEntrySize;
        const std::uint64_t copy = copyDirectory(in, entries[i].nested, out, everyTag, depth + 1);
        put(out, at + 8, copy, 4, big);
    }
    return start;
}

// The offset of IFD0's entry for `tag`, if it has one.
std::optional<std::uint64_t> entryOf(const Bytes& in, std::uint64_t ifd, std::uint16_t tag) {
    if (!in.Has(ifd, 2))
        return std::nullopt;
    const std::uint64_t count = in.Get(ifd, 2);
    for (std::uint64_t i = 0; i < count && in.Has(ifd + 2 + i * kEntrySize, kEntrySize); ++i) {
        const std::uint64_t at = ifd + 2 + i * kEntrySize;
        if (in.Get(at, 2) == tag)
            return at;
    }
    return std::nullopt;
}

bool isLayoutTag(std::uint16_t tag) {
    return tag == 274 || tag == 282 || tag == 283 || tag == 296;
}

}  // namespace

std::optional<std::size_t> CountTiffDirectories(std::span<const std::uint8_t> file) {
    const auto header = readHeader(file);
    if (!header)
        return 0;
    const Bytes in(file, header->bigEndian);
    const int countBytes = header->bigTiff ? 8 : 2;
    const int offsetBytes = header->bigTiff ? 8 : 4;
    const std::uint64_t entryBytes = header->bigTiff ? 20 : 12;
    std::set<std::uint64_t> seen;
    std::uint64_t ifd = header->firstIfd;
    while (ifd != 0 && seen.size() < kMaxDirectories) {
        if (!seen.insert(ifd).second)
            return std::nullopt;
        if (!in.Has(ifd, countBytes))
            break;
        const std::uint64_t count = in.Get(ifd, countBytes);
        if (count > file.size() / entryBytes)
            break;
        const std::uint64_t next = ifd + countBytes + count * entryBytes;
        if (!in.Has(next, offsetBytes))
            break;
        ifd = in.Get(next, offsetBytes);
    }
    return seen.size();
}

std::vector<std::uint8_t> ExifBlockOfTiff(std::span<const std::uint8_t> file) {
    const auto header = readHeader(file);
    if (!header || header->bigTiff)
        return {};
    const Bytes in(file, header->bigEndian);
    std::vector<std::uint8_t> out(8);
    out[0] = out[1] = header->bigEndian ? 'M' : 'I';
    put(out, 2, 42, 2, header->bigEndian);
    const std::uint64_t ifd0 = copyDirectory(in, header->firstIfd, out, descriptiveTag, 0);
    // Orientation and resolution alone are the layout every TIFF writer records, not Exif.
    const Bytes copy(out, header->bigEndian);
    const bool describes =
        ifd0 != 0 &&
        std::any_of(std::begin(kDescriptiveTags), std::end(kDescriptiveTags),
                    [&](auto tag) { return !isLayoutTag(tag) && entryOf(copy, ifd0, tag); });
    if (!describes)
        return {};
    put(out, 4, ifd0, 4, header->bigEndian);
    return out;
}

bool ExifIsBigEndian(std::span<const std::uint8_t> exif) {
    return !exif.empty() && exif[0] == 'M';
}

std::optional<std::string> ExifAsciiTag(std::span<const std::uint8_t> exif, std::uint16_t tag) {
    const auto header = readHeader(exif);
    if (!header || header->bigTiff)
        return std::nullopt;
    const Bytes in(exif, header->bigEndian);
    const auto at = entryOf(in, header->firstIfd, tag);
    if (!at || in.Get(*at + 2, 2) != 2)
        return std::nullopt;
    const std::uint64_t count = in.Get(*at + 4, 4);
    const std::uint64_t valueAt = count <= 4 ? *at + 8 : in.Get(*at + 8, 4);
    if (!in.Has(valueAt, count))
        return std::nullopt;
    std::string text(reinterpret_cast<const char*>(exif.data() + valueAt), count);
    text.resize(std::strlen(text.c_str()));
    return text;
}

bool ExifHasDirectory(std::span<const std::uint8_t> exif, std::uint16_t tag) {
    const auto header = readHeader(exif);
    if (!header || header->bigTiff)
        return false;
    const Bytes in(exif, header->bigEndian);
    const auto pointer = entryOf(in, header->firstIfd, tag);
    if (!pointer)
        return false;
    std::vector<std::uint8_t> scratch(8);  // a copy at offset 0 would read as none
    return copyDirectory(in, in.Get(*pointer + 8, 4), scratch, everyTag, 1) != 0;
}

bool AttachExifDirectories(std::vector<std::uint8_t>& file, std::span<const std::uint8_t> exif) {
    const auto fileHeader = readHeader(file);
    const auto exifHeader = readHeader(exif);
    if (!fileHeader || fileHeader->bigTiff || !exifHeader || exifHeader->bigTiff ||
        fileHeader->bigEndian != exifHeader->bigEndian)
        return false;
    const bool big = fileHeader->bigEndian;
    const Bytes source(exif, big);
    for (const std::uint16_t tag : {kExifIfdTag, kGpsIfdTag}) {
        const auto target = entryOf(Bytes(file, big), fileHeader->firstIfd, tag);
        const auto pointer = entryOf(source, exifHeader->firstIfd, tag);
        if (!target || !pointer)
            continue;
        // Offsets in the copy count from the start of `file`, which the copy is appended to.
        const std::uint64_t copy =
            copyDirectory(source, source.Get(*pointer + 8, 4), file, everyTag, 1);
        if (copy != 0)
            put(file, *target + 8, copy, 4, big);
    }
    return true;
}

}  // namespace zelqor
