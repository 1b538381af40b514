// Dialog filters and save targets from the format table.
#include "PictureFilters.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "ImageFile.h"

namespace zelqor {
namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

// "*.jpg;*.jpeg" as the description shows it, and "*.jpg;*.JPG;*.jpeg;*.JPEG" as it filters.
struct Patterns {
    std::string shown;
    std::string matched;

    void Add(std::string_view extension) {
        Append(shown, extension);
        Append(matched, extension);
        Append(matched, Upper(extension));
    }
    static void Append(std::string& list, std::string_view extension) {
        list.append(list.empty() ? "*." : ";*.").append(extension);
    }
};

Patterns PatternsOf(const PictureFormat& format) {
    Patterns p;
    for (const std::string_view ext : format.extensions) {
        p.Add(ext);
    }
    return p;
}

std::string Entry(const std::string& name, const Patterns& p) {
    return name + " (" + p.shown + ")|" + p.matched;
}

std::string FormatEntry(const PictureFormat& format) {
    return Entry(std::string(format.name) + " イメージファイル", PatternsOf(format));
}

}  // namespace

std::string OpenPictureFilter() {
    Patterns all;
    std::string perFormat;
    for (const PictureFormat& format : PictureFormats()) {
        for (const std::string_view ext : format.extensions) {
            all.Add(ext);
        }
        perFormat.append("|").append(FormatEntry(format));
    }
    return Entry("すべてのファイル", all) + perFormat + "|All Files(*.*)|*.*";
}

std::vector<const PictureFormat*> SaveFormats() {
    std::vector<const PictureFormat*> formats;
    for (const PictureFormat& format : PictureFormats()) {
        if (IsWritable(format)) {
            formats.push_back(&format);
        }
    }
    return formats;
}

std::string SavePictureFilter() {
    std::string filter;
    for (const PictureFormat* format : SaveFormats()) {
        filter.append(filter.empty() ? "" : "|").append(FormatEntry(*format));
    }
    return filter;
}

SaveTarget ChooseSaveTarget(const std::string& name, int filter) {
    const std::vector<const PictureFormat*> formats = SaveFormats();
    const PictureFormat* chosen =
        formats.at(filter >= 0 && static_cast<std::size_t>(filter) < formats.size() ? filter : 0);
    const std::string ext = FileExtension(name);
    std::error_code ec;
    // A folder is not made a file by a suffix; the save refuses it under the name given.
    if (ext.empty() && !std::filesystem::is_directory(name, ec)) {
        // "photo." has no extension either: the dot is not doubled.
        const bool dot = !name.empty() && name.back() == '.';
        return {name + (dot ? "" : ".") + std::string(chosen->extensions.front()), chosen};
    }
    if (const PictureFormat* typed = FormatByExtension(ext)) {
        return {name, IsWritable(*typed) ? typed : nullptr};
    }
    return {name, chosen};
}

SaveProposal ProposeSaveName(const std::string& loadedName) {
    const std::vector<const PictureFormat*> formats = SaveFormats();
    const PictureFormat* own = FormatByExtension(FileExtension(loadedName));
    const auto at = std::find(formats.begin(), formats.end(), own);
    if (loadedName.empty() || at != formats.end()) {
        return {loadedName, at == formats.end() ? 0 : static_cast<int>(at - formats.begin())};
    }
    std::filesystem::path name(loadedName);
    name.replace_extension(std::string(formats.front()->extensions.front()));
    return {name.string(), 0};
}

std::string NotWritableText(const std::string& fileName, const PictureFormat& format) {
    std::string names;
    const std::vector<const PictureFormat*> formats = SaveFormats();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        names.append(i == 0                    ? ""
                     : i + 1 == formats.size() ? " or "
                                               : ", ")
            .append(formats[i]->name);
    }
    return std::filesystem::path(fileName).filename().string() + ": " + std::string(format.name) +
           " pictures are not saved; choose " + names;
}

}  // namespace zelqor
