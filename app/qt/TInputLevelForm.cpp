// Strength dialog: slider position p stands for level 4 - p, so the strongest level sits on top.
#include "TInputLevelForm.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <algorithm>

#include "SliderFill.h"
#include "WindowPlacement.h"
#include "ui_TInputLevelForm.h"

namespace {

constexpr int kMaxLevel = 4;
constexpr int kDesignWidth = 100;
// Room on each side of the prompt, so its first and last letters do not touch the frame.
constexpr int kPromptMargin = 6;

}  // namespace

TInputLevelForm::TInputLevelForm(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TInputLevelForm>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    for (QWidget* control :
         {static_cast<QWidget*>(ui->LevelTrackBar), static_cast<QWidget*>(ui->OkButton),
          static_cast<QWidget*>(ui->CancelButton)}) {
        designX_.emplace_back(control, control->x());
    }
    // The prompt is a menu caption with its access-key marker; with the bar as its buddy the
    // marker is drawn as the menu draws it, underlined, instead of as a literal '&'.
    ui->PromptLabel->setBuddy(ui->LevelTrackBar);
    FillFromWeakEnd(*ui->LevelTrackBar);
    connect(ui->OkButton, &QPushButton::clicked, this, [this] { done(ResultOk); });
    connect(ui->CancelButton, &QPushButton::clicked, this, [this] { done(ResultCancel); });
    // Enter must mean OK wherever the focus is, even on the Cancel button, so the keys are
    // looked at before the focused control gets them.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

TInputLevelForm::~TInputLevelForm() = default;

int TInputLevelForm::InputLevel(const QString& caption, const QString& prompt, int level) {
    setWindowTitle(caption);
    ui->PromptLabel->setText(prompt);
    FitPrompt();
    // Minimum first: setting the maximum first could clamp it against a stale minimum.
    ui->LevelTrackBar->setMinimum(0);
    ui->LevelTrackBar->setMaximum(kMaxLevel);
    ui->LevelTrackBar->setValue(kMaxLevel - level);
    if (exec() != ResultOk)
        return -1;
    return kMaxLevel - ui->LevelTrackBar->value();
}

void TInputLevelForm::FitPrompt() {
    // The designed 100 pixels, or as much wider as the prompt needs on its one line in the
    // desktop's font ("&Uguisu(Japanese Bush-warbler)" does); the bar and the buttons stay
    // centred under it.
    const int needed = ui->PromptLabel->sizeHint().width() + 2 * kPromptMargin;
    const int width = std::max(kDesignWidth, needed);
    const int shift = (width - kDesignWidth) / 2;
    setFixedSize(width, height());
    ui->PromptLabel->resize(width, ui->PromptLabel->height());
    for (const auto& [control, designX] : designX_) {
        control->move(designX + shift, control->y());
    }
}

void TInputLevelForm::reject() {
    done(ResultCancel);
}

bool TInputLevelForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyDown(*static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TInputLevelForm::keyPressEvent(QKeyEvent* event) {
    if (FormKeyDown(*event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TInputLevelForm::showEvent(QShowEvent* event) {
    CentreOnScreen(*this);
    QDialog::showEvent(event);
    FormShow();
}

bool TInputLevelForm::FormKeyDown(const QKeyEvent& key) {
    switch (key.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            done(ResultOk);
            return true;
        case Qt::Key_Cancel:
            done(ResultCancel);
            return true;
        case Qt::Key_Pause:
            // Ctrl+Break arrives as Pause with Ctrl on keyboards without a separate Break code.
            if (key.modifiers() & Qt::ControlModifier) {
                done(ResultCancel);
                return true;
            }
            return false;
        default:
            return false;
    }
}

void TInputLevelForm::FormShow() {
    // The slider is the only thing to change here, so the arrow keys should work straight away.
    ui->LevelTrackBar->setFocus(Qt::ActiveWindowFocusReason);
}
