// Fills the format lists of a package file (menu entry, software-centre file, manual pages) from
// the picture format table at build time, so that what the package claims is what the loader reads.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "PictureFormats.h"

namespace {

using zelqor::PictureFormat;

// roff takes a leading dot as a request and a hyphen as a minus sign.
std::string roffExtensions(bool writableOnly) {
    std::vector<std::string> items;
    for (const PictureFormat& format : zelqor::PictureFormats()) {
        if (writableOnly && !zelqor::IsWritable(format))
            continue;
        for (const std::string_view ext : format.extensions)
            items.push_back("\\&." + std::string(ext));
    }
    return zelqor::SpokenList(items, "and");
}

std::vector<std::pair<std::string, std::string>> fills() {
    std::string mimeTypes;
    std::string mediaTypes;
    std::vector<std::string> read;
    std::vector<std::string> written;
    std::vector<std::string> cliNames;
    std::vector<std::string> keptOrder;
    for (const PictureFormat& format : zelqor::PictureFormats()) {
        for (const std::string_view type : format.mimeTypes) {
            mimeTypes += std::string(type) + ";";
            if (!mediaTypes.empty())
                mediaTypes += "\n    ";
            mediaTypes += "<mediatype>" + std::string(type) + "</mediatype>";
        }
        read.emplace_back(format.name);
        if (format.keepsStoredOrder)
            keptOrder.emplace_back(format.name);
        if (zelqor::IsWritable(format)) {
            written.emplace_back(format.name);
            cliNames.push_back("\\fB" + std::string(format.cliName) + "\\fR");
        }
    }
    return {
        {"{{MIME_TYPES}}", mimeTypes},
        {"{{MEDIA_TYPES}}", mediaTypes},
        {"{{READ_FORMATS}}", zelqor::SpokenList(read, "and")},
        {"{{WRITTEN_FORMATS}}", zelqor::SpokenList(written, "and")},
        {"{{CLI_FORMATS}}", zelqor::SpokenList(cliNames, "or")},
        {"{{KEPT_ORDER_FORMATS}}", zelqor::SpokenList(keptOrder, "or")},
        {"{{READ_EXTENSIONS}}", roffExtensions(false)},
    };
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: package_formats TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        std::cerr << "package_formats: cannot read " << argv[1] << "\n";
        return 1;
    }
    for (const auto& [mark, fill] : fills()) {
        for (std::size_t at = text.find(mark); at != std::string::npos;
             at = text.find(mark, at + fill.size()))
            text.replace(at, mark.size(), fill);
    }
    if (text.find("{{") != std::string::npos) {
        std::cerr << "package_formats: " << argv[1] << " holds an unknown {{...}} mark\n";
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "package_formats: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
