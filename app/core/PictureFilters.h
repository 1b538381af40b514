// The file dialogs' filters and the format a save writes, read from the picture format table.
#pragma once

#include <string>
#include <vector>

#include "PictureFormats.h"

namespace zelqor {

// "すべてのファイル (...)|...|JPEG イメージファイル (...)|...|...|All Files(*.*)|*.*": every
// readable format's extensions together first, then one entry per format in the table's order,
// then everything. Patterns come in both letter cases, for dialogs that match them exactly.
std::string OpenPictureFilter();

// The formats a save can write, in the table's order: the save dialog's entries.
std::vector<const PictureFormat*> SaveFormats();
// One entry per SaveFormats() row, in that order.
std::string SavePictureFilter();

// What a save writes for the name the save dialog gave and the entry chosen there.
struct SaveTarget {
    std::string fileName;  // with the entry's extension added when the name had none
    const PictureFormat* format = nullptr;  // null: the name's extension names a format not written
};
// A typed extension of a writable format decides the format, whatever entry was chosen; a name
// without an extension gets the chosen entry's first one (unless it names a folder); a name with an
// extension no format has keeps it and gets the chosen entry's format. An entry out of range counts
// as the first.
SaveTarget ChooseSaveTarget(const std::string& name, int filter);

// The save dialog's start: the opened file's name, with the first save format's extension in
// place of one that format cannot be written in, and the entry of its format.
struct SaveProposal {
    std::string fileName;
    int filter = 0;
};
SaveProposal ProposeSaveName(const std::string& loadedName);

// "photo.heic: HEIF pictures are not saved; choose JPEG, PNG, ..." for a name whose extension
// names a format the save does not write.
std::string NotWritableText(const std::string& fileName, const PictureFormat& format);

}  // namespace zelqor
