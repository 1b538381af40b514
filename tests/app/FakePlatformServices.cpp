// The scripted platform of the tests.
#include "FakePlatformServices.h"

namespace zelqor {

void FakePlatformServices::Record(Kind kind, const std::string& caption, const std::string& text) {
    boxes.push_back({kind, caption, text});
    if (onBox) {
        onBox(boxes.back());
    }
}

void FakePlatformServices::ShowMessage(const std::string& caption, const std::string& text) {
    Record(Kind::Message, caption, text);
}

bool FakePlatformServices::AskOkCancel(const std::string& caption, const std::string& text) {
    Record(Kind::Question, caption, text);
    if (okCancelAnswers.empty()) {
        return true;
    }
    const bool answer = okCancelAnswers.front();
    okCancelAnswers.pop_front();
    return answer;
}

bool FakePlatformServices::AskYesNo(const std::string& caption, const std::string& text) {
    Record(Kind::Question, caption, text);
    if (yesNoAnswers.empty()) {
        return true;
    }
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

void FakePlatformServices::ShowError(const std::string& caption, const std::string& text) {
    Record(Kind::Error, caption, text);
}

std::optional<Rgb> FakePlatformServices::PickColour(Rgb initial) {
    colourRequests.push_back(initial);
    if (colourAnswers.empty()) {
        return std::nullopt;
    }
    const std::optional<Rgb> answer = colourAnswers.front();
    colourAnswers.pop_front();
    return answer;
}

std::optional<std::string> FakePlatformServices::OpenFileName(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (fileAnswers.empty()) {
        return std::nullopt;
    }
    const std::optional<std::string> answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::optional<SaveDialogAnswer> FakePlatformServices::SaveFileName(
    const FileDialogRequest& request) {
    const std::optional<std::string> name = OpenFileName(request);
    int filter = request.selectedFilter;
    if (!filterAnswers.empty()) {
        filter = filterAnswers.front();
        filterAnswers.pop_front();
    }
    return name ? std::optional<SaveDialogAnswer>(SaveDialogAnswer{*name, filter}) : std::nullopt;
}

std::vector<std::string> FakePlatformServices::Texts() const {
    std::vector<std::string> texts;
    for (const Box& b : boxes) {
        texts.push_back(b.text);
    }
    return texts;
}

}  // namespace zelqor
