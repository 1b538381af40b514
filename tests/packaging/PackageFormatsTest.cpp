// The package's files name exactly the formats of the table, as the build filled them in.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "PictureFormats.h"

namespace zelqor {
namespace {

std::string packageFile(const std::string& name) {
    std::ifstream in(std::string(ZELQOR_PACKAGING_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::set<std::string> tableTypes() {
    std::set<std::string> types;
    for (const PictureFormat& format : PictureFormats())
        types.insert(format.mimeTypes.begin(), format.mimeTypes.end());
    return types;
}

TEST(PackageFiles, NameEveryMimeTypeOfTheTableAndNoOther) {
    const std::string desktop = packageFile("io.github.zelqorhdr.ZelqorHDR.desktop");
    const auto line = desktop.find("\nMimeType=");
    ASSERT_NE(line, std::string::npos);
    std::set<std::string> listed;
    const auto end = desktop.find('\n', line + 1);
    std::string rest = desktop.substr(line + 10, end - line - 10);
    for (std::size_t at = 0, semi; (semi = rest.find(';', at)) != std::string::npos; at = semi + 1)
        listed.insert(rest.substr(at, semi - at));
    EXPECT_EQ(listed, tableTypes());

    const std::string metainfo = packageFile("io.github.zelqorhdr.ZelqorHDR.metainfo.xml");
    std::set<std::string> media;
    const std::string open = "<mediatype>", close = "</mediatype>";
    for (std::size_t at = metainfo.find(open); at != std::string::npos;
         at = metainfo.find(open, at + 1)) {
        const auto stop = metainfo.find(close, at);
        media.insert(metainfo.substr(at + open.size(), stop - at - open.size()));
    }
    EXPECT_EQ(media, tableTypes());
    // The registry counts 9 types in 8 formats; a lost row would shrink both sets alike.
    EXPECT_EQ(tableTypes().size(), 9u);
}

TEST(PackageFiles, ManualPagesNameEveryFormatTheyReadAndWrite) {
    for (const char* page : {"zelqorhdr-cli.1", "zelqorhdr.1"}) {
        const std::string text = packageFile(page);
        ASSERT_FALSE(text.empty()) << page;
        EXPECT_EQ(text.find("{{"), std::string::npos) << page;
        for (const PictureFormat& format : PictureFormats())
            EXPECT_NE(text.find(format.name), std::string::npos) << page << " " << format.name;
    }
    const std::string cli = packageFile("zelqorhdr-cli.1");
    for (const PictureFormat& format : PictureFormats()) {
        if (IsWritable(format)) {
            EXPECT_NE(cli.find("\\fB" + std::string(format.cliName) + "\\fR"), std::string::npos)
                << format.cliName;
        }
    }
}

}  // namespace
}  // namespace zelqor
