// Platform services for tests: records every box and question and answers from a script.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "PlatformServices.h"

namespace zelqor {

class FakePlatformServices : public PlatformServices {
  public:
    enum class Kind { Message, Question, Error };
    struct Box {
        Kind kind;
        std::string caption;
        std::string text;
    };

    void ShowMessage(const std::string& caption, const std::string& text) override;
    bool AskOkCancel(const std::string& caption, const std::string& text) override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;
    void ShowError(const std::string& caption, const std::string& text) override;
    std::optional<Rgb> PickColour(Rgb initial) override;
    std::optional<std::string> OpenFileName(const FileDialogRequest& request) override;
    std::optional<SaveDialogAnswer> SaveFileName(const FileDialogRequest& request) override;
    std::optional<WorkingBitmap> ClipboardImage() override { return clipboard; }
    void SetClipboardImage(const WorkingBitmap& image) override { clipboard = image; }
    std::vector<std::uint8_t> DisplayColourProfile() override { return displayProfile; }
    bool ClipboardImageIsIn(std::span<const std::uint8_t> profile) override {
        return !profile.empty() && std::equal(profile.begin(), profile.end(),
                                              clipboardProfile.begin(), clipboardProfile.end());
    }
    bool IsJapaneseLocale() override { return japanese; }
    NumberFormat LocaleNumberFormat() override { return numberFormat; }
    bool IsShiftKeyDown() override { return shiftDown; }
    void SetBusyCursor(bool busy) override { busyDepth += busy ? 1 : -1; }
    void OpenUrl(const std::string& url) override { openedUrls.push_back(url); }
    std::vector<std::string> SettingsFilePaths() override { return settingsFiles; }
    std::string UserSettingsFilePath() override { return userSettingsFile; }

    // The texts of every box shown so far, in order.
    std::vector<std::string> Texts() const;

    // Script: answers are taken from the front; an empty script answers OK, Yes / cancel.
    std::deque<bool> okCancelAnswers;
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<Rgb>> colourAnswers;
    std::deque<std::optional<std::string>> fileAnswers;
    // The save dialog's chosen filter entries; without one, the entry the dialog started on.
    std::deque<int> filterAnswers;
    // Called with each box as it is shown, for tests that act while a box is up.
    std::function<void(const Box&)> onBox;

    bool japanese = true;
    bool shiftDown = false;
    NumberFormat numberFormat;
    int busyDepth = 0;
    std::optional<WorkingBitmap> clipboard;
    std::vector<std::uint8_t> displayProfile;
    std::vector<std::uint8_t> clipboardProfile;  // the colour profile the clipboard image carries
    std::vector<Box> boxes;
    std::vector<Rgb> colourRequests;
    std::vector<FileDialogRequest> fileRequests;
    std::vector<std::string> openedUrls;
    std::vector<std::string> settingsFiles;
    std::string userSettingsFile;  // empty: the window remembers nothing between tests

  private:
    void Record(Kind kind, const std::string& caption, const std::string& text);
};

}  // namespace zelqor
