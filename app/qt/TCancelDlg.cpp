// Progress dialog: keeps its own modal result so the run can poll it while the dialog is open.
#include "TCancelDlg.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "WindowPlacement.h"
#include "ui_TCancelDlg.h"

TCancelDlg::TCancelDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TCancelDlg>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    connect(ui->CancelBtn, &QPushButton::clicked, this, [this] { done(ResultCancel); });
}

TCancelDlg::~TCancelDlg() = default;

int TCancelDlg::ShowModal() {
    // A dialog reused after a cancelled run must not report that cancel again.
    modalResult_ = ResultNone;
    ui->ProgressBar->setValue(0);
    exec();
    return modalResult_;
}

void TCancelDlg::SetModalResult(int r) {
    modalResult_ = r;
    if (r != ResultNone && isVisible())
        done(r);
}

void TCancelDlg::SetComment(const QString& text) {
    ui->Comment->setText(text);
    // The run may keep the event loop busy; an update() would only show once it is done.
    ui->Comment->repaint();
}

void TCancelDlg::SetProgress(int rowsClaimed, int rowCount) {
    // A zero maximum would turn the bar into a busy indicator; an empty run shows an empty bar.
    const int maximum = std::max(rowCount, 1);
    ui->ProgressBar->setRange(0, maximum);
    ui->ProgressBar->setValue(std::clamp(rowsClaimed, 0, maximum));
}

void TCancelDlg::showEvent(QShowEvent* event) {
    // Centred on the screen at every showing, as the level and version dialogs are.
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

void TCancelDlg::done(int r) {
    modalResult_ = r;
    QDialog::done(r);
}

void TCancelDlg::reject() {
    // Escape and the close box both arrive here.
    done(ResultCancel);
}
