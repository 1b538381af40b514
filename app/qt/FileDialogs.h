// What the program's file dialogs add to Qt's own: filter names shown as given, and the open
// dialog's picture preview.
#pragma once

class QFileDialog;
class PicturePreview;
namespace zelqor {
class DisplayColour;
}

// Each filter's name appears once, exactly as the program's filter string gives it ("All
// Files(*.*)"), instead of with Qt's pattern list appended again; the patterns still filter.
void ShowFilterNamesOnce(QFileDialog& dialog);

// A preview beside the file list that shows the preset file and then follows the current one. Uses
// Qt's own dialog (a desktop's native one has no room for it). The dialog owns the preview, which
// converts its pictures through `colour` when given.
PicturePreview* AddPicturePreview(QFileDialog& dialog, zelqor::DisplayColour* colour = nullptr);
