// The JPEG marker walk that collects segments and the writer that inserts them after SOI.
#include "JpegSegment.h"

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

}  // namespace

bool ReadJpegSegment(MemoryStream& block, const std::string& fileName, std::uint8_t marker) {
    FileStream file(fileName, FileStream::Mode::Read);
    return ReadJpegSegmentFromStream(block, file, marker);
}

bool ReadJpegSegmentFromStream(MemoryStream& block, Stream& source, std::uint8_t marker) {
    if (!startsWithSoi(source))
        return false;
    for (;;) {
        std::uint8_t code = 0;
        if (!readMarkerCode(source, code))
            return false;
        if (code == marker) {
            std::uint16_t length = 0;
            std::array<std::uint8_t, 2> raw{};
            if (!readSegmentLength(source, length, raw) || !isValidLength(length))
                return false;
            block.Seek(0, SeekOrigin::End);
            const auto before = static_cast<std::size_t>(block.Size());
            try {
                block.CopyFrom(source, payloadSize(length));
            } catch (...) {
                // A half-copied payload would pass for a whole one; keep only complete ones.
                block.Truncate(before);
                throw;
            }
            continue;
        }
        if (isStandaloneMarker(code))
            continue;
        if (isStartOfScan(code))
            return true;
        if (!skipSegment(source))
            return false;
    }
}

bool InsertJpegSegment(Stream& dest,
                       Stream& source,
                       const std::uint8_t* data,
                       std::size_t size,
                       std::uint8_t marker) {
    if (!startsWithSoi(source))
        return false;
    writeMarker(dest, kMarkerSoi);
    bool blockWritten = false;
    for (;;) {
        std::uint8_t code = 0;
        if (!readMarkerCode(source, code))
            return false;
        if (!blockWritten) {
            writeBlockAsSegments(dest, marker, data, size);
            blockWritten = true;
        }
        if (code == marker || isJfifSegment(code)) {
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

}  // namespace zelqor
