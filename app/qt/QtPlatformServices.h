// The platform services of the product, on Qt.
#pragma once

#include <QColorSpace>
#include <QPointer>
#include <QWidget>

#include "PlatformServices.h"

namespace zelqor {

class QtPlatformServices : public PlatformServices {
  public:
    // Boxes and dialogs are parented to the window, once it exists.
    void SetParentWindow(QWidget* window) { parent_ = window; }

    void ShowMessage(const std::string& caption, const std::string& text) override;
    bool AskOkCancel(const std::string& caption, const std::string& text) override;
    bool AskYesNo(const std::string& caption, const std::string& text) override;
    void ShowError(const std::string& caption, const std::string& text) override;
    std::optional<Rgb> PickColour(Rgb initial) override;
    std::optional<std::string> OpenFileName(const FileDialogRequest& request) override;
    std::optional<SaveDialogAnswer> SaveFileName(const FileDialogRequest& request) override;
    std::optional<WorkingBitmap> ClipboardImage() override;
    bool ClipboardImageIsIn(std::span<const std::uint8_t> profile) override;
    void SetClipboardImage(const WorkingBitmap& image) override;
    std::vector<std::uint8_t> DisplayColourProfile() override;
    bool IsJapaneseLocale() override;
    NumberFormat LocaleNumberFormat() override;
    bool IsShiftKeyDown() override;
    void SetBusyCursor(bool busy) override;
    void OpenUrl(const std::string& url) override;
    std::vector<std::string> SettingsFilePaths() override;
    std::string UserSettingsFilePath() override;

  private:
    QColorSpace clipboardColourSpace_;  // of the image the last ClipboardImage call gave
    std::optional<SaveDialogAnswer> RunFileDialog(const FileDialogRequest& request, bool save);
    QPointer<QWidget> parent_;
};

// "Name (*.a;*.b)|*.a;*.b|..." as the toolkit's dialogs take it: "Name (*.a *.b);;...".
QString QtFileFilter(const std::string& filter);

}  // namespace zelqor
