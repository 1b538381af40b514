// What each action of the window does, by the action table's names: the Qt layer connects every
// action to Execute and provides the few widgets the commands need.
#pragma once

#include <string>
#include <string_view>

#include "Document.h"
#include "FileActions.h"
#include "PageZoom.h"
#include "PlatformServices.h"
#include "RunController.h"
#include "ViewMenuModel.h"

namespace zelqor {

// The widgets behind the commands.
class CommandWindow {
  public:
    virtual ~CommandWindow() = default;
    virtual void CloseWindow() = 0;
    virtual void ShowAboutBox() = 0;
    // The level dialog: a strength 0..4 preselecting shown, -1 when cancelled or when the
    // dialog does not exist yet.
    virtual int AskLevel(const std::string& caption, const std::string& prompt, int shown) = 0;
    // An action's caption as the menu shows it now, in either caption set.
    virtual std::string ActionText(std::string_view action) const = 0;
    virtual bool ActionChecked(std::string_view action) const = 0;
    // Ticks and tags of the view-style actions follow the View-menu model.
    virtual void SyncViewActions() = 0;
};

class WindowCommands {
  public:
    WindowCommands(Document& doc,
                   PlatformServices& services,
                   FileActions& files,
                   RunController& runs,
                   ViewMenuModel& viewMenu,
                   PageZoom& zoom,
                   RunWindow& pages,
                   CommandWindow& window)
        : doc_(doc),
          services_(services),
          files_(files),
          runs_(runs),
          viewMenu_(viewMenu),
          zoom_(zoom),
          pages_(pages),
          window_(window) {}

    // The handler of the named action; throws std::invalid_argument for a name no row has.
    void Execute(std::string_view action);

    // The style code the source page is painted in: the current style only while the View
    // menu's "affect the source" entry is ticked.
    StyleCode SourceViewCode() const;

  private:
    void ViewStyleChosen(int entry);

    Document& doc_;
    PlatformServices& services_;
    FileActions& files_;
    RunController& runs_;
    ViewMenuModel& viewMenu_;
    PageZoom& zoom_;
    RunWindow& pages_;
    CommandWindow& window_;
};

}  // namespace zelqor
