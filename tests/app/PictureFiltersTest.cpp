// The format and name a save takes from the typed name and the save dialog's entry.
#include <gtest/gtest.h>

#include "PictureFilters.h"

namespace zelqor {
namespace {

int Entry(std::string_view name) {
    const auto formats = SaveFormats();
    const auto at = std::find_if(formats.begin(), formats.end(),
                                 [name](const PictureFormat* f) { return f->name == name; });
    return at == formats.end() ? -1 : static_cast<int>(at - formats.begin());
}

TEST(PictureFilters, ATypedExtensionBeatsTheEntryAndANameWithoutOneTakesTheEntrys) {
    EXPECT_EQ(SavePictureFilter().rfind("JPEG イメージファイル (*.jpg;*.jpeg;*.jpe;", 0), 0u);
    const struct {
        std::string typed, file, format;  // format "-": refused
        int entry;
    } kCases[] = {
        {"/p/a", "/p/a.tif", "TIFF", Entry("TIFF")},
        {"/p/a.jpe", "/p/a.jpe", "JPEG", Entry("WebP")},
        {"/p/a.jxl", "/p/a.jxl", "-", Entry("JPEG")},
        {"/p.v1/a", "/p.v1/a.jpg", "JPEG", Entry("JPEG")},  // a folder's dot is not the name's
        {"/p/a.v2", "/p/a.v2", "TIFF", Entry("TIFF")},      // no format's extension
        {"/p/a", "/p/a.jpg", "JPEG", 99},
    };
    for (const auto& c : kCases) {
        const SaveTarget target = ChooseSaveTarget(c.typed, c.entry);
        EXPECT_EQ(target.fileName, c.file) << c.typed;
        EXPECT_EQ(target.format ? target.format->name : "-", c.format) << c.typed << c.entry;
    }
    EXPECT_EQ(ProposeSaveName("/p/scan.TIF").filter, Entry("TIFF"));
    EXPECT_EQ(ProposeSaveName("/p/x.y/phone.heic").fileName, "/p/x.y/phone.jpg");
    EXPECT_EQ(NotWritableText("/p/phone.heic", *FormatByExtension("heic")),
              "phone.heic: HEIF pictures are not saved; choose JPEG, PNG, TIFF, WebP or BMP");
}

}  // namespace
}  // namespace zelqor
