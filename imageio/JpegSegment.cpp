// The JPEG marker walk that collects segments and the writer that inserts them after SOI.
#include "JpegSegment.h"

#include <algorithm>
#include <array>

namespace zelqor {

namespace {

constexpr std::uint16_t kMinSegmentLength = 2;  // the length field counts its own two bytes

bool isStandaloneMarker(std::uint8_t code) {
    return code == 0x01 || (code >= 0xD0 && code <= 0xD7);
}
bool isStartOfScan(std::uint8_t code) {
    return code == kMarkerSos;
}
bool isJfifSegment(std::uint8_t code) {
    return code == kMarkerApp0;
}

bool readByte(Stream& s, std::uint8_t& value) {
    return s.Read(&value, 1) == 1;
}

bool startsWithSoi(Stream& source) {
    std::array<std::uint8_t, 2> soi{};
    return source.Read(soi.data(), soi.size()) == soi.size() && soi[0] == kMarkerPrefix &&
           soi[1] == kMarkerSoi;
}

// Reads the 0xFF that introduces a marker, skips fill bytes and yields the code.
bool readMarkerCode(Stream& source, std::uint8_t& code) {
    std::uint8_t b = 0;
    if (!readByte(source, b) || b != kMarkerPrefix)
        return false;
    do {
        if (!readByte(source, b))
            return false;
    } while (b == kMarkerPrefix);
    code = b;
    return true;
}

// Finds the next marker as the decoder does, so that the metadata of every file it decodes is
// read: bytes up to an 0xFF are passed over (the decoder only warns of them), then the fill
// bytes; 0xFF 0x00 is a stuffed data byte, not a marker.
bool seekMarkerCode(Stream& source, std::uint8_t& code) {
    std::uint8_t b = 0;
    for (;;) {
        do {
            if (!readByte(source, b))
                return false;
        } while (b != kMarkerPrefix);
        do {
            if (!readByte(source, b))
                return false;
        } while (b == kMarkerPrefix);
        if (b != 0) {
            code = b;
            return true;
        }
    }
}

// Reads a segment length field; `raw` receives its two bytes as they were.
bool readSegmentLength(Stream& source, std::uint16_t& length, std::array<std::uint8_t, 2>& raw) {
    if (source.Read(raw.data(), raw.size()) != raw.size())
        return false;
    length = static_cast<std::uint16_t>((raw[0] << 8) | raw[1]);
    return true;
}

bool isValidLength(std::uint16_t length) {
    return length >= kMinSegmentLength;
}

std::uint16_t payloadSize(std::uint16_t length) {
    return static_cast<std::uint16_t>(length - kMinSegmentLength);
}

// Reads the length of a segment that is dropped and moves past it.
bool skipSegment(Stream& source) {
    std::uint16_t length = 0;
    std::array<std::uint8_t, 2> raw{};
    if (!readSegmentLength(source, length, raw) || !isValidLength(length))
        return false;
    source.Seek(payloadSize(length), SeekOrigin::Current);
    return true;
}

void writeMarker(Stream& dest, std::uint8_t code) {
    const std::array<std::uint8_t, 2> bytes{kMarkerPrefix, code};
    dest.WriteBuffer(bytes.data(), bytes.size());
}

void writeSegment(Stream& dest, std::uint8_t marker, const std::uint8_t* data, std::size_t size) {
    writeMarker(dest, marker);
    const auto length = static_cast<std::uint16_t>(size + kMinSegmentLength);
    const std::array<std::uint8_t, 2> lengthBytes{static_cast<std::uint8_t>(length >> 8),
                                                  static_cast<std::uint8_t>(length & 0xFF)};
    dest.WriteBuffer(lengthBytes.data(), lengthBytes.size());
    dest.WriteBuffer(data, size);
}

void writeBlockAsSegments(Stream& dest,
                          std::uint8_t marker,
                          const std::uint8_t* data,
                          std::size_t size) {
    while (size > kMaxSegmentPayload) {
        writeSegment(dest, marker, data, kMaxSegmentPayload);
        data += kMaxSegmentPayload;
        size -= kMaxSegmentPayload;
    }
    if (size > 0)
        writeSegment(dest, marker, data, size);
}

// Walks the markers from SOI to the first SOS and hands the payload size of every `marker`
// segment to `collect`, which must read exactly that many bytes. Returns true at SOS, false
// when the stream ends before it. A length below 2 counts as an empty segment and the search
// for the next marker goes on, as in the decoder.
template <typename Collect>
bool walkToScan(Stream& source, std::uint8_t marker, Collect collect) {
    if (!startsWithSoi(source))
        return false;
    for (;;) {
        std::uint8_t code = 0;
        if (!seekMarkerCode(source, code))
            return false;
        // The caller's marker is honoured before the stand-alone and scan codes.
        if (code != marker && isStandaloneMarker(code))
            continue;
        if (code != marker && isStartOfScan(code))
            return true;
        std::uint16_t length = 0;
        std::array<std::uint8_t, 2> raw{};
        if (!readSegmentLength(source, length, raw))
            return false;
        const std::uint16_t payload = isValidLength(length) ? payloadSize(length) : 0;
        if (code == marker)
            collect(payload);
        else
            source.Seek(payload, SeekOrigin::Current);
    }
}

}  // namespace

std::span<const std::uint8_t> SegmentPayloads::Payload(std::size_t index) const {
    const std::size_t end = index + 1 < starts.size() ? starts[index + 1] : bytes.size();
    return std::span<const std::uint8_t>(bytes).subspan(starts[index], end - starts[index]);
}

void SegmentPayloads::Append(std::span<const std::uint8_t> payload) {
    starts.push_back(bytes.size());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
}

bool ReadJpegSegment(MemoryStream& block, const std::string& fileName, std::uint8_t marker) {
    FileStream file(fileName, FileStream::Mode::Read);
    return ReadJpegSegmentFromStream(block, file, marker);
}

bool ReadJpegSegmentFromStream(MemoryStream& block, Stream& source, std::uint8_t marker) {
    return walkToScan(source, marker, [&](std::uint16_t size) {
        block.Seek(0, SeekOrigin::End);
        const auto before = static_cast<std::size_t>(block.Size());
        try {
            block.CopyFrom(source, size);
        } catch (...) {
            // A half-copied payload would pass for a whole one; keep only complete ones.
            block.Truncate(before);
            throw;
        }
    });
}

bool ReadJpegPayloadsFromStream(SegmentPayloads& payloads,
                                Stream& source,
                                std::uint8_t marker,
                                std::string_view prefix) {
    return walkToScan(source, marker, [&](std::uint16_t size) {
        std::vector<std::uint8_t>& bytes = payloads.bytes;
        const std::size_t before = bytes.size();
        bytes.resize(before + size);
        try {
            source.ReadBuffer(bytes.data() + before, size);
        } catch (...) {
            bytes.resize(before);
            throw;
        }
        const bool wanted =
            size >= prefix.size() &&
            std::equal(prefix.begin(), prefix.end(), bytes.begin() + before,
                       [](char p, std::uint8_t b) { return static_cast<std::uint8_t>(p) == b; });
        if (wanted)
            payloads.starts.push_back(before);
        else
            bytes.resize(before);
    });
}

bool InsertJpegSegments(Stream& dest,
                        Stream& source,
                        std::span<const InsertedSegment> segments,
                        JfifHeader jfif) {
    const bool keepJfif = jfif == JfifHeader::Kept;
    const auto replaced = [&](std::uint8_t code) {
        return (isJfifSegment(code) && !keepJfif) ||
               std::any_of(segments.begin(), segments.end(),
                           [&](const InsertedSegment& s) { return s.marker == code; });
    };
    if (!startsWithSoi(source))
        return false;
    writeMarker(dest, kMarkerSoi);
    bool blockWritten = false;
    for (;;) {
        std::uint8_t code = 0;
        if (!readMarkerCode(source, code))
            return false;
        if (!blockWritten && !(keepJfif && isJfifSegment(code))) {
            for (const InsertedSegment& s : segments)
                writeBlockAsSegments(dest, s.marker, s.data.data(), s.data.size());
            blockWritten = true;
        }
        if (replaced(code)) {
            if (!skipSegment(source))
                return false;
            continue;
        }
        if (isStandaloneMarker(code)) {
            writeMarker(dest, code);
            continue;
        }
        if (isStartOfScan(code)) {
            writeMarker(dest, code);
            dest.CopyRest(source);
            return true;
        }
        writeMarker(dest, code);
        std::uint16_t length = 0;
        std::array<std::uint8_t, 2> raw{};
        if (!readSegmentLength(source, length, raw))
            return false;
        dest.WriteBuffer(raw.data(), raw.size());
        if (!isValidLength(length))
            return false;
        dest.CopyFrom(source, payloadSize(length));
    }
}

bool InsertJpegSegment(Stream& dest,
                       Stream& source,
                       const std::uint8_t* data,
                       std::size_t size,
                       std::uint8_t marker) {
    const InsertedSegment only{marker, std::span<const std::uint8_t>(data, size)};
    return InsertJpegSegments(dest, source, std::span<const InsertedSegment>(&only, 1));
}

}  // namespace zelqor
