// Keys and drops as the main window receives them: Space switches the page once the focused
// control has had it, and local files dropped from the desktop are handed on by name.
#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QMimeData;
class QWidget;

class WindowInput : public QObject {
  public:
    // Watches window for drags; WatchKeys() adds its native window once it exists.
    explicit WindowInput(QWidget* window);
    void WatchKeys();

    std::function<void()> OnPageSwitchKey;
    // False while nothing may replace the images (a run reads them).
    std::function<bool()> AcceptsDrops;
    std::function<void(const std::vector<std::string>& names)> OnDrop;

    // The local files of a drag, or nothing when it carries anything else.
    static std::vector<std::string> DroppedFiles(const QMimeData* data);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool Accepts(const QMimeData* data) const;

    QWidget* window_;
};
