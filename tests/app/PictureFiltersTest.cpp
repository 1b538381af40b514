// The dialogs' filters as the format table makes them, and the format and name a save takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PictureFilters.h"

namespace zelqor {
namespace {

using Texts = std::vector<std::string>;

// "a|b|c|d" as {{"a", "b"}, {"c", "d"}}.
std::vector<std::pair<std::string, std::string>> Entries(const std::string& filter) {
    std::vector<std::string> parts;
    for (std::size_t at = 0;;) {
        const std::size_t bar = filter.find('|', at);
        parts.push_back(filter.substr(at, bar == std::string::npos ? bar : bar - at));
        if (bar == std::string::npos) {
            break;
        }
        at = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> entries;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        entries.emplace_back(parts[i], parts[i + 1]);
    }
    EXPECT_EQ(parts.size() % 2, 0u) << filter;
    return entries;
}

TEST(PictureFilters, OneEntryForAllThenOnePerFormatFromTheTable) {
    const auto open = Entries(OpenPictureFilter());
    const auto formats = PictureFormats();
    ASSERT_EQ(open.size(), formats.size() + 2);
    EXPECT_EQ(open.front().first.rfind("すべてのファイル (*.jpg;*.jpeg;", 0), 0u);
    EXPECT_EQ(open.back(), (std::pair<std::string, std::string>{"All Files(*.*)", "*.*"}));
    std::string all;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        std::string patterns;
        for (const std::string_view ext : formats[i].extensions) {
            std::string upper(ext);
            for (char& c : upper) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            patterns.append(patterns.empty() ? "*." : ";*.")
                .append(ext)
                .append(";*.")
                .append(upper);
        }
        all.append(all.empty() ? "" : ";").append(patterns);
        EXPECT_EQ(
            open[i + 1].first.rfind(std::string(formats[i].name) + " イメージファイル (*.", 0), 0u);
        EXPECT_EQ(open[i + 1].second, patterns);
    }
    EXPECT_EQ(open.front().second, all);
    EXPECT_NE(all.find("*.heic;*.HEIC"), std::string::npos);

    Texts saved;
    for (const auto& [name, patterns] : Entries(SavePictureFilter())) {
        saved.push_back(name.substr(0, name.find(' ')));
    }
    EXPECT_EQ(saved, (Texts{"JPEG", "PNG", "WebP", "TIFF", "BMP"}));
    ASSERT_EQ(SaveFormats().size(), saved.size());
}

TEST(PictureFilters, ATypedExtensionBeatsTheFilterAndANameWithoutOneTakesTheFilters) {
    const auto entry = [](std::string_view name) {
        const auto formats = SaveFormats();
        for (std::size_t i = 0; i < formats.size(); ++i) {
            if (formats[i]->name == name) {
                return static_cast<int>(i);
            }
        }
        ADD_FAILURE() << name;
        return 0;
    };
    const struct {
        std::string typed;
        int filter;
        std::string file;
        const char* format;  // null: not written
    } kCases[] = {
        {"/p/a.png", entry("JPEG"), "/p/a.png", "PNG"},
        {"/p/a.BMP", entry("JPEG"), "/p/a.BMP", "BMP"},
        {"/p/a.jpe", entry("WebP"), "/p/a.jpe", "JPEG"},
        {"/p/a.tiff", entry("PNG"), "/p/a.tiff", "TIFF"},
        {"/p/a", entry("PNG"), "/p/a.png", "PNG"},
        {"/p/a", entry("TIFF"), "/p/a.tif", "TIFF"},
        {"/p/a", entry("WebP"), "/p/a.webp", "WebP"},
        {"/p/a.", entry("BMP"), "/p/a.bmp", "BMP"},
        {"/p.v1/a", entry("JPEG"), "/p.v1/a.jpg", "JPEG"},  // a folder's dot is not the name's
        {"/p/a.v2", entry("TIFF"), "/p/a.v2", "TIFF"},      // no format's extension: the filter's
        {"/p/a", 99, "/p/a.jpg", "JPEG"},
        {"/p/a", -1, "/p/a.jpg", "JPEG"},
        {"/p/a.HEIC", entry("PNG"), "/p/a.HEIC", nullptr},
        {"/p/a.jxl", entry("JPEG"), "/p/a.jxl", nullptr},
    };
    for (const auto& c : kCases) {
        const SaveTarget target = ChooseSaveTarget(c.typed, c.filter);
        EXPECT_EQ(target.fileName, c.file) << c.typed;
        EXPECT_EQ(target.format ? std::string(target.format->name) : "-", c.format ? c.format : "-")
            << c.typed << " with entry " << c.filter;
    }
}

TEST(PictureFilters, TheSaveProposesTheOpenedNameInAFormatItWrites) {
    const struct {
        std::string loaded;
        std::string proposed;
        std::string entry;
    } kCases[] = {
        {"/p/photo.jpg", "/p/photo.jpg", "JPEG"},
        {"/p/scan.TIF", "/p/scan.TIF", "TIFF"},
        {"/p/b.bmp", "/p/b.bmp", "BMP"},
        {"/p/phone.heic", "/p/phone.jpg", "JPEG"},
        {"/p/x.y/web.jxl", "/p/x.y/web.jpg", "JPEG"},
        {"", "", "JPEG"},
    };
    for (const auto& c : kCases) {
        const SaveProposal p = ProposeSaveName(c.loaded);
        EXPECT_EQ(p.fileName, c.proposed);
        EXPECT_EQ(SaveFormats().at(p.filter)->name, c.entry) << c.loaded;
    }
    EXPECT_EQ(NotWritableText("/p/phone.heic", *FormatByExtension("heic")),
              "phone.heic: HEIF pictures are not saved; choose JPEG, PNG, WebP, TIFF or BMP");
}

}  // namespace
}  // namespace zelqor
