// Open, drop, paste, copy and save: what they do to the document, in the window's order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DisplayColour.h"
#include "Document.h"
#include "ParameterTable.h"
#include "PictureFormats.h"
#include "PlatformServices.h"
#include "ViewMenuModel.h"

namespace zelqor {

// What the operations ask of the window around the document.
class DocumentView {
  public:
    virtual ~DocumentView() = default;
    virtual void ShowSourcePage() = 0;
    virtual void RepaintSrc() = 0;
    virtual void RepaintDst() = 0;
    // Refreshes the calculation-size label from the current source.
    virtual void RefreshCalcSizeLabel() = 0;
    // Puts a text in the status bar: what a load that succeeded wants the user to know.
    virtual void ShowStatusText(const std::string& text) = 0;
    virtual const std::string& Title() const = 0;
};

class FileActions {
  public:
    FileActions(Document& doc,
                PlatformServices& services,
                DocumentView& view,
                const ViewMenuModel& viewMenu,
                const OptionPositions& options,
                DisplayColour& colour)
        : doc_(doc),
          services_(services),
          view_(view),
          viewMenu_(viewMenu),
          options_(options),
          colour_(colour) {}

    // Each of these reports its own messages; errors of the file and picture layers are
    // thrown for the window's error box, with the document as the failing step left it.
    void ActionFileOpenExecute();
    void LoadImageFile(const std::string& fileName);
    // Files dropped on the window, full paths; the first is opened.
    void DropFiles(const std::vector<std::string>& fileNames);
    void PasteFromClipboard();
    void ActionEditCopyExecute();
    void ActionFileSaveExecute();
    // In the format the name's extension names, JPEG when it names none.
    void SaveImageFile(const std::string& fileName);
    void SaveImageFile(const std::string& fileName, PictureFormatId format);

    // The names the open and save dialogs start from.
    const std::string& OpenDialogFileName() const { return openDialogFileName_; }
    const std::string& SaveDialogFileName() const { return saveDialogFileName_; }

  private:
    // BitmapDst as Copy and Save hand it out: in the current view style when there is one.
    WorkingBitmap StyledResult() const;
    // True when nothing is at `fileName` or the user agrees to replace it.
    bool MayReplace(const std::string& fileName);
    void ShowDebugMessage(const std::string& text);

    Document& doc_;
    PlatformServices& services_;
    DocumentView& view_;
    const ViewMenuModel& viewMenu_;
    const OptionPositions& options_;
    DisplayColour& colour_;
    std::string openDialogFileName_;
    std::string saveDialogFileName_;
    // The last file whose picture was read, and its size: saving over it loses the original.
    std::string sourceFileName_;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    bool noticeShown_ = false;  // the status bar holds a text about an earlier file
};

// "name.jpg: notice; notice": the status text of a load that has something to say.
std::string LoadNoticeText(const std::string& fileName, const std::vector<std::string>& notices);

// "Saved name.jpg (600 x 400, 48,213 bytes)": the status text after a save.
std::string SavedText(const std::string& fileName,
                      int width,
                      int height,
                      std::uintmax_t bytes,
                      const NumberFormat& fmt);

// True when the file's first bytes are those of a format the loader reads: what a drop takes.
bool IsReadablePictureFile(const std::string& fileName);

}  // namespace zelqor
