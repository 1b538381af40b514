// A walk over the boxes of a HEIF file's "meta" box, as far as the primary grid needs.
#include "HeifGrid.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace zelqor {
namespace {

using Bytes = std::span<const std::uint8_t>;

// Big-endian fields from a span; any read past its end leaves the reader failed and gives 0.
class Fields {
  public:
    explicit Fields(Bytes bytes) : bytes_(bytes) {}
    std::uint64_t Read(std::size_t size) {
        if (size > bytes_.size() - std::min(at_, bytes_.size())) {
            failed_ = true;
            at_ = bytes_.size();
            return 0;
        }
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < size; ++i)
            v = (v << 8) | bytes_[at_ + i];
        at_ += size;
        return v;
    }
    std::uint32_t U8() { return static_cast<std::uint32_t>(Read(1)); }
    std::uint32_t U16() { return static_cast<std::uint32_t>(Read(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Read(4)); }
    // A field of 16 or 32 bits by a box's version, as item IDs are.
    std::uint32_t Id(bool wide) { return wide ? U32() : U16(); }
    bool Failed() const { return failed_; }

  private:
    Bytes bytes_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

struct Box {
    std::array<char, 4> type{};
    Bytes body;  // after the header
};

// The boxes laid one after another in `bytes`; stops at the first that does not fit.
std::vector<Box> Boxes(Bytes bytes) {
    std::vector<Box> boxes;
    std::size_t at = 0;
    while (bytes.size() - at >= 8) {
        Fields f(bytes.subspan(at));
        std::uint64_t size = f.U32();
        Box box;
        for (char& c : box.type)
            c = static_cast<char>(f.U8());
        std::size_t header = 8;
        if (size == 1) {
            size = f.Read(8);
            header = 16;
        } else if (size == 0) {
            size = bytes.size() - at;
        }
        if (f.Failed() || size < header || size > bytes.size() - at)
            break;
        box.body = bytes.subspan(at + header, static_cast<std::size_t>(size) - header);
        boxes.push_back(box);
        at += static_cast<std::size_t>(size);
    }
    return boxes;
}

const Box* Find(const std::vector<Box>& boxes, const char* type) {
    for (const Box& box : boxes) {
        if (std::memcmp(box.type.data(), type, 4) == 0)
            return &box;
    }
    return nullptr;
}

// The bytes of `item` as its "iloc" entry places them (one extent, in the file or in "idat").
std::optional<Bytes> ItemBytes(Bytes file, Bytes iloc, Bytes idat, std::uint32_t item) {
    Fields f(iloc);
    const std::uint32_t version = f.U8();
    f.Read(3);
    const std::uint32_t sizes = f.U8();
    const std::uint32_t more = f.U8();
    const std::size_t offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = more >> 4;
    const std::size_t indexSize = version == 1 || version == 2 ? (more & 15) : 0;
    const std::uint32_t count = version < 2 ? f.U16() : f.U32();
    for (std::uint32_t i = 0; i < count && !f.Failed(); ++i) {
        const std::uint32_t id = f.Id(version >= 2);
        const std::uint32_t method = version == 1 || version == 2 ? (f.U16() & 15) : 0;
        f.U16();  // data reference
        const std::uint64_t base = f.Read(baseSize);
        const std::uint32_t extents = f.U16();
        std::uint64_t offset = 0, length = 0;
        for (std::uint32_t e = 0; e < extents && !f.Failed(); ++e) {
            f.Read(indexSize);
            offset = f.Read(offsetSize);
            length = f.Read(lengthSize);
        }
        if (id != item)
            continue;
        const Bytes from = method == 0 ? file : method == 1 ? idat : Bytes{};
        if (f.Failed() || extents != 1 || base > from.size() || offset > from.size() - base)
            return std::nullopt;
        const std::size_t start = static_cast<std::size_t>(base + offset);
        // A length of 0 reaches to the end of where the item lies.
        const std::uint64_t rest = from.size() - start;
        if (length > rest)
            return std::nullopt;
        return from.subspan(start, static_cast<std::size_t>(length == 0 ? rest : length));
    }
    return std::nullopt;
}

// The first item `from` refers to by a reference of `type` in "iref".
std::optional<std::uint32_t> FirstReference(Bytes iref, const char* type, std::uint32_t from) {
    if (iref.size() < 4)
        return std::nullopt;
    const bool wide = iref[0] != 0;
    for (const Box& box : Boxes(iref.subspan(4))) {
        Fields f(box.body);
        const std::uint32_t source = f.Id(wide);
        const std::uint32_t count = f.U16();
        const std::uint32_t first = f.Id(wide);
        if (!f.Failed() && count > 0 && source == from &&
            std::memcmp(box.type.data(), type, 4) == 0)
            return first;
    }
    return std::nullopt;
}

// The "ispe" property associated with `item` in "iprp": width and height.
std::optional<std::pair<std::uint32_t, std::uint32_t>> ItemSize(Bytes iprp, std::uint32_t item) {
    const std::vector<Box> boxes = Boxes(iprp);
    const Box* ipco = Find(boxes, "ipco");
    const Box* ipma = Find(boxes, "ipma");
    if (!ipco || !ipma)
        return std::nullopt;
    const std::vector<Box> properties = Boxes(ipco->body);
    Fields f(ipma->body);
    const std::uint32_t version = f.U8();
    const bool wideIndex = (f.Read(3) & 1) != 0;
    const std::uint32_t entries = f.U32();
    for (std::uint32_t i = 0; i < entries && !f.Failed(); ++i) {
        const std::uint32_t id = f.Id(version >= 1);
        const std::uint32_t associations = f.U8();
        for (std::uint32_t a = 0; a < associations && !f.Failed(); ++a) {
            const std::uint32_t index = wideIndex ? (f.U16() & 0x7FFF) : (f.U8() & 0x7F);
            if (id != item || index == 0 || index > properties.size())
                continue;
            const Box& property = properties[index - 1];
            if (std::memcmp(property.type.data(), "ispe", 4) != 0)
                continue;
            Fields size(property.body);
            size.U32();  // version and flags
            const std::uint32_t width = size.U32(), height = size.U32();
            if (!size.Failed())
                return std::pair{width, height};
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<HeifGridLayout> PrimaryGridLayout(std::span<const std::uint8_t> file) {
    const std::vector<Box> top = Boxes(file);
    const Box* meta = Find(top, "meta");
    if (!meta || meta->body.size() < 4)
        return std::nullopt;
    const std::vector<Box> boxes = Boxes(meta->body.subspan(4));
    const Box* pitm = Find(boxes, "pitm");
    const Box* iinf = Find(boxes, "iinf");
    const Box* iloc = Find(boxes, "iloc");
    const Box* iref = Find(boxes, "iref");
    const Box* iprp = Find(boxes, "iprp");
    if (!pitm || !iinf || !iloc || !iref || !iprp)
        return std::nullopt;
    Fields p(pitm->body);
    const std::uint32_t pitmVersion = p.U8();
    p.Read(3);
    const std::uint32_t primary = p.Id(pitmVersion != 0);
    if (p.Failed())
        return std::nullopt;

    // Is the primary item a grid?
    Fields info(iinf->body);
    const std::uint32_t infoVersion = info.U8();
    info.Read(3);
    info.Read(infoVersion == 0 ? 2 : 4);
    if (info.Failed() || infoVersion > 1)
        return std::nullopt;
    bool grid = false;
    for (const Box& infe : Boxes(iinf->body.subspan(infoVersion == 0 ? 6 : 8))) {
        Fields f(infe.body);
        const std::uint32_t version = f.U8();
        f.Read(3);
        if (version < 2 || std::memcmp(infe.type.data(), "infe", 4) != 0)
            continue;
        const std::uint32_t id = f.Id(version >= 3);
        f.U16();  // protection
        const std::uint32_t type = f.U32();
        if (!f.Failed() && id == primary)
            grid = type == 0x67726964;  // "grid"
    }
    if (!grid)
        return std::nullopt;

    const Box* idat = Find(boxes, "idat");
    const std::optional<Bytes> descriptor =
        ItemBytes(file, iloc->body, idat ? idat->body : Bytes{}, primary);
    if (!descriptor)
        return std::nullopt;
    Fields d(*descriptor);
    d.U8();  // version
    const bool wide = (d.U8() & 1) != 0;
    HeifGridLayout layout;
    layout.rows = d.U8() + 1;
    layout.columns = d.U8() + 1;
    layout.canvasWidth = wide ? d.U32() : d.U16();
    layout.canvasHeight = wide ? d.U32() : d.U16();
    const std::optional<std::uint32_t> tile = FirstReference(iref->body, "dimg", primary);
    if (d.Failed() || !tile)
        return std::nullopt;
    const auto size = ItemSize(iprp->body, *tile);
    if (!size)
        return std::nullopt;
    layout.tileWidth = size->first;
    layout.tileHeight = size->second;
    return layout;
}

}  // namespace zelqor
