// Modal progress dialog of a processing run, with the one way out: Cancel.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TCancelDlg;
}

// Results follow the run's convention, not Qt's: 0 none yet, 1 OK, 2 Cancel. Qt's Rejected (0)
// would be indistinguishable from "still running", so every way of closing by hand gives 2.
// All members are for the GUI thread: the run's waiting loop updates it between its polls of the
// workers, which never touch it.
class TCancelDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int ResultNone = 0;
    static constexpr int ResultOk = 1;
    static constexpr int ResultCancel = 2;

    explicit TCancelDlg(QWidget* parent = nullptr);
    ~TCancelDlg() override;

    int ShowModal();
    int ModalResult() const { return modalResult_; }
    // A non-zero result closes a showing dialog; while hidden it is only remembered.
    void SetModalResult(int r);
    void SetComment(const QString& text);
    void SetProgress(int rowsClaimed, int rowCount);

  protected:
    void showEvent(QShowEvent* event) override;

  public slots:
    void done(int r) override;
    void reject() override;

  private:
    std::unique_ptr<Ui::TCancelDlg> ui;
    int modalResult_ = ResultNone;
};
