// The action handlers of the main window.
#include "WindowCommands.h"

#include <algorithm>
#include <stdexcept>

#include "ActionTable.h"
#include "CaptionTable.h"

namespace zelqor {

void WindowCommands::Execute(std::string_view name) {
    const ActionInfo* action = FindAction(name);
    if (action == nullptr) {
        throw std::invalid_argument("no action named " + std::string(name));
    }
    if (action->isMake) {
        const WorkingBitmap& src = doc_.BitmapSrc();
        runs_.StartRun(action->makeSize == kMakeFullSize ? std::max(src.Width(), src.Height())
                                                         : action->makeSize);
        return;
    }
    if (action->radioGroup == 1) {
        ViewStyleChosen(viewMenu_.IndexOf(action->tag));
        return;
    }
    if (name == "ActionViewAffectSrc") {
        if (pages_.CurrentPage() == Page::Source) {
            pages_.Repaint(Page::Source);
        }
    } else if (name == "ActionFileOpen") {
        files_.ActionFileOpenExecute();
    } else if (name == "ActionFileSave") {
        files_.ActionFileSaveExecute();
    } else if (name == "ActionFileExit") {
        window_.CloseWindow();
    } else if (name == "ActionEditCopy") {
        files_.ActionEditCopyExecute();
    } else if (name == "ActionEditPaste") {
        files_.PasteFromClipboard();
    } else if (name == "ActionHelpAbout") {
        window_.ShowAboutBox();
    } else if (name == "ActionViewFit") {
        zoom_.Execute(ZoomCommand::Fit);
    } else if (name == "ActionViewActualPixels") {
        zoom_.Execute(ZoomCommand::ActualPixels);
    } else if (name == "ActionViewZoomIn") {
        zoom_.Execute(ZoomCommand::ZoomIn);
    } else if (name == "ActionViewZoomOut") {
        zoom_.Execute(ZoomCommand::ZoomOut);
    }
}

StyleCode WindowCommands::SourceViewCode() const {
    return window_.ActionChecked("ActionViewAffectSrc") ? viewMenu_.CurrentViewCode() : StyleCode{};
}

void WindowCommands::ViewStyleChosen(int entry) {
    viewMenu_.Tick(entry);
    const auto askLevel = [this](int index, int shown) {
        const std::string prompt = window_.ActionText(viewMenu_.Entries()[index].style->actionName);
        return window_.AskLevel(kLevelDialogCaption.In(services_.IsJapaneseLocale()), prompt,
                                shown);
    };
    const auto askColour = [this](Rgb current) { return services_.PickColour(current); };
    const bool repaint = viewMenu_.Execute(entry, askLevel, askColour);
    window_.SyncViewActions();
    if (repaint) {
        pages_.Repaint(pages_.CurrentPage());
    }
}

}  // namespace zelqor
