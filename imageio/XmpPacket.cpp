// Finding tiff:Orientation in the packet's text without an XML parser: the property is one digit
// in either of the two forms RDF allows for a simple value.
#include "XmpPacket.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace zelqor {

namespace {

constexpr std::string_view kProperty = "tiff:Orientation";

bool isSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where the digit of the property named at `at` lies: `tiff:Orientation="6"` (or with
// apostrophes) or `<tiff:Orientation>6</tiff:Orientation>`, spaces allowed where XML allows
// them.
std::optional<std::size_t> digitAt(std::span<const std::uint8_t> text, std::size_t at) {
    std::size_t i = at + kProperty.size();
    const auto skipSpaces = [&] {
        while (i < text.size() && isSpace(text[i]))
            ++i;
    };
    skipSpaces();
    if (i >= text.size())
        return std::nullopt;
    const bool element = at > 0 && text[at - 1] == '<';
    if (element ? text[i] != '>' : text[i] != '=')
        return std::nullopt;
    ++i;
    skipSpaces();
    std::uint8_t close = '<';
    if (!element) {
        if (i >= text.size() || (text[i] != '"' && text[i] != '\''))
            return std::nullopt;
        close = text[i++];
    }
    const std::size_t digit = i++;
    if (digit >= text.size() || text[digit] < '1' || text[digit] > '8')
        return std::nullopt;
    if (element)
        skipSpaces();
    if (i >= text.size() || text[i] != close)
        return std::nullopt;
    return digit;
}

template <typename Each>
void forEachDigit(std::span<const std::uint8_t> payload, Each each) {
    if (!IsXmpPayload(payload))
        return;
    const auto* p = reinterpret_cast<const std::uint8_t*>(kProperty.data());
    for (auto it = payload.begin() + static_cast<std::ptrdiff_t>(kXmpIdentifier.size());;) {
        it = std::search(it, payload.end(), p, p + kProperty.size());
        if (it == payload.end())
            return;
        const auto at = static_cast<std::size_t>(it - payload.begin());
        if (const auto digit = digitAt(payload, at))
            each(*digit);
        ++it;
    }
}

}  // namespace

bool IsXmpPayload(std::span<const std::uint8_t> payload) {
    return payload.size() >= kXmpIdentifier.size() &&
           std::memcmp(payload.data(), kXmpIdentifier.data(), kXmpIdentifier.size()) == 0;
}

int ReadXmpOrientation(std::span<const std::uint8_t> payload) {
    int value = 0;
    forEachDigit(payload, [&](std::size_t digit) {
        if (value == 0)
            value = payload[digit] - '0';
    });
    return value;
}

bool SetXmpOrientationUpright(std::span<std::uint8_t> payload) {
    bool set = false;
    forEachDigit(payload, [&](std::size_t digit) {
        payload[digit] = '1';
        set = true;
    });
    return set;
}

}  // namespace zelqor
