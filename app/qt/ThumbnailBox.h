// The options page's preview group: it keeps to the page's free corner as the page grows, holds
// the panel that shows the live thumbnail, and hands the thumbnail's work back to the window's
// thread.
#pragma once

#include <QGroupBox>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "LiveThumbnail.h"

class TPaintPanel;

// How the thumbnail is shown: the view style, its tint and the conversion for the screen.
struct ThumbnailLook {
    zelqor::StyleCode code;
    zelqor::Rgb tint;
    zelqor::SharedTransform colour;
};

class ThumbnailBox : public QGroupBox, private zelqor::ThumbnailHost {
    Q_OBJECT

  public:
    // A child of page from left, top to margin short of the page's right and bottom edges,
    // showing the thumbnail of doc's source at the options' values as `look` says.
    ThumbnailBox(QWidget* page,
                 int left,
                 int top,
                 int margin,
                 zelqor::Document& doc,
                 const zelqor::OptionPositions& options,
                 std::function<ThumbnailLook()> look);
    ~ThumbnailBox() override;

    TPaintPanel* Panel() const { return panel_; }
    zelqor::LiveThumbnail& Thumbnail() const { return *thumbnail_; }
    // Runs the thumbnail's tasks on the window's thread, reporting what they throw.
    std::function<void(const std::function<void()>&)> RunTask;

  signals:
    void Posted();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FollowPage();
    void RunPosted();
    // ThumbnailHost: callable from any thread.
    void PostToWindowThread(std::function<void()> task) override;
    void ThumbnailChanged() override;

    int left_;
    int top_;
    int margin_;
    TPaintPanel* panel_;
    // The tasks cross threads here, under our own lock, and not inside a Qt event made on the
    // worker: the hand-over is then one that the thread sanitizer can see.
    std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;
    std::unique_ptr<zelqor::LiveThumbnail> thumbnail_;
};
