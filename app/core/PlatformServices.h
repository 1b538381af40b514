// What the window asks of the desktop: message boxes, questions, dialogs, clipboard, locale,
// keyboard, cursor and the shell. Qt provides it in the product; tests use a scripted fake.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "RunTexts.h"
#include "ViewStyles.h"
#include "WorkingBitmap.h"

namespace zelqor {

class DisplayColour;

struct FileDialogRequest {
    std::string filter;            // "Description|*.a;*.b|..." pairs
    std::string defaultExtension;  // without the dot
    std::string fileName;          // preset name, may be empty
    // What the open dialog's preview is converted into for the screen; null: shown unconverted.
    DisplayColour* colour = nullptr;
    int selectedFilter = 0;  // the filter entry the dialog starts on, counted from 0
};

struct SaveDialogAnswer {
    std::string fileName;  // as the user gave it; no extension is added
    int filter = 0;        // the filter entry chosen when the user confirmed
};

class PlatformServices {
  public:
    virtual ~PlatformServices() = default;

    // A plain information box with an OK button.
    virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
    // An OK/Cancel question; true for OK.
    virtual bool AskOkCancel(const std::string& caption, const std::string& text) = 0;
    // A Yes/No question whose default (Enter) is No; true for Yes.
    virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
    // The application's error box for an operation that failed with this text.
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;

    // The colour dialog, opened on initial; nullopt when cancelled.
    virtual std::optional<Rgb> PickColour(Rgb initial) = 0;
    virtual std::optional<std::string> OpenFileName(const FileDialogRequest& request) = 0;
    // The save dialog does not ask about a file that exists: its caller knows what the file is,
    // and what the name's extension and the chosen filter entry make of it.
    virtual std::optional<SaveDialogAnswer> SaveFileName(const FileDialogRequest& request) = 0;

    // The image on the clipboard, or nullopt when there is none; an empty bitmap when one is
    // offered but cannot be read. Transparent areas come laid over white. Throws ImageIoError
    // for a picture beyond the pixel limit.
    virtual std::optional<WorkingBitmap> ClipboardImage() = 0;
    // True when the image the last ClipboardImage call gave carries the colour space that the ICC
    // profile `profile` describes (an image that says nothing of its colours carries none).
    virtual bool ClipboardImageIsIn(std::span<const std::uint8_t> profile) = 0;
    // Empties the clipboard and puts exactly this one image on it.
    virtual void SetClipboardImage(const WorkingBitmap& image) = 0;

    // The ICC profile of the screen the window is on, as the desktop's colour manager sets it;
    // empty when none is set or the desktop cannot tell, and the screen then counts as sRGB.
    virtual std::vector<std::uint8_t> DisplayColourProfile() = 0;

    // Asked afresh at every call: the user may change the language while the program runs.
    virtual bool IsJapaneseLocale() = 0;
    virtual NumberFormat LocaleNumberFormat() = 0;
    // True while Shift is held at the moment of the call.
    virtual bool IsShiftKeyDown() = 0;

    // Nested: each true must be matched by a false. Use BusyCursor rather than calling it.
    virtual void SetBusyCursor(bool busy) = 0;
    // The settings files to read at start-up: the one beside the executable (its path with the
    // extension replaced by ".ini"), then the one of that name in the user's configuration folder.
    virtual std::vector<std::string> SettingsFilePaths() = 0;
    // The user's own settings file, which the program writes (where the window was left);
    // never one of the read-only files above. Empty: nothing is remembered.
    virtual std::string UserSettingsFilePath() = 0;

    // Hands a link (mailto: and the like) to the desktop; no result is reported to the user.
    virtual void OpenUrl(const std::string& url) = 0;
};

// Runs an event handler and shows what it throws in the application's error box, captioned with
// title, so that nothing unwinds into the toolkit's event handling.
void ReportFailures(PlatformServices& services,
                    const std::string& title,
                    const std::function<void()>& handler);

// Shows the busy cursor for the lifetime of the object, so every path out restores it.
class BusyCursor {
  public:
    explicit BusyCursor(PlatformServices& services) : services_(services) {
        services_.SetBusyCursor(true);
    }
    ~BusyCursor() { services_.SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

  private:
    PlatformServices& services_;
};

}  // namespace zelqor
