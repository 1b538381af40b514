// Modal dialog asking for one strength from 0 to 4 on a vertical slider, strongest at the top.
#pragma once

#include <QDialog>
#include <memory>
#include <utility>
#include <vector>

class QKeyEvent;

namespace Ui {
class TInputLevelForm;
}

class TInputLevelForm : public QDialog {
    Q_OBJECT

  public:
    // Modal results; Qt's own Rejected (0) is never used so that 0 can mean "still open".
    static constexpr int ResultOk = 1;
    static constexpr int ResultCancel = 2;

    explicit TInputLevelForm(QWidget* parent = nullptr);
    ~TInputLevelForm() override;

    // The chosen level (0..4) when closed with OK, otherwise -1.
    int InputLevel(const QString& caption, const QString& prompt, int level);

  public slots:
    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // True when the key closed the dialog and must go no further.
    bool FormKeyDown(const QKeyEvent& key);
    void FormShow();
    // Widens the dialog when the prompt needs more than the designed width.
    void FitPrompt();

    std::unique_ptr<Ui::TInputLevelForm> ui;
    // The controls under the prompt with their designed left edges.
    std::vector<std::pair<QWidget*, int>> designX_;
};
