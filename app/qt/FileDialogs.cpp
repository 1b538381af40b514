// Options and the preview widget of the file dialogs.
#include "FileDialogs.h"

#include <QFileDialog>
#include <QGridLayout>

#include "PicturePreview.h"

void ShowFilterNamesOnce(QFileDialog& dialog) {
    // The dialog reads the patterns from the last parenthesised list of each filter and, with
    // this option, shows only what precedes it: the program's own name, parentheses and all.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
}

PicturePreview* AddPicturePreview(QFileDialog& dialog, zelqor::DisplayColour* colour) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    auto* preview = new PicturePreview(&dialog, colour);
    // Qt's dialog lays itself out on a grid: the folder row, the file list (row 1), the name
    // and the filter rows. The preview takes a new column beside the list.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        grid->addWidget(preview, 1, grid->columnCount(), Qt::AlignTop);
    }
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, &PicturePreview::ShowFile);
    // The dialog opens on the last loaded file, selected: show it before anything is clicked.
    preview->ShowFile(dialog.selectedFiles().value(0));
    return preview;
}
