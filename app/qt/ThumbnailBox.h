// The options page's preview group: it keeps to the page's free corner as the page grows, holds
// the panel that shows the live thumbnail or the loupe, hands their work back to the window's
// thread, and forwards the panel's clicks, drags and Esc to the loupe.
#pragma once

#include <QGroupBox>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "LiveThumbnail.h"
#include "PreviewLoupe.h"

class QShortcut;
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
    zelqor::PreviewLoupe& Loupe() const { return *loupe_; }
    // The sliders, the check box or the end of a run: the thumbnail and the loupe catch up.
    void Refresh();
    // Runs the thumbnail's tasks on the window's thread, reporting what they throw.
    std::function<void(const std::function<void()>&)> RunTask;

  signals:
    void Posted();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FollowPage();
    void RunPosted();
    bool PanelMouse(QEvent* event);
    void LoupeMayHaveChanged();
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
    std::unique_ptr<zelqor::PreviewLoupe> loupe_;
    // A click takes effect once the double-click time has passed without a second press.
    QTimer clickTimer_;
    QShortcut* escape_ = nullptr;
};
