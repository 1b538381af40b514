// Version information dialog: hot-tracks its mail link and hands clicks on it to the owner.
#include "TAboutBox.h"

#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>

#include "ProgramIcon.h"
#include "WindowPlacement.h"
#include "ui_TAboutBox.h"

namespace {

// The smallest committed icon size not below the 60-pixel label, so scaling only ever shrinks.
constexpr int kIconFaceSize = 64;

// The label shows a pixmap without an alpha-aware backdrop of its own; an opaque copy on the face
// colour keeps the icon's transparent corners looking like the dialog rather than black.
QPixmap IconOnFace(const QColor& face) {
    QPixmap pixmap(kIconFaceSize, kIconFaceSize);
    pixmap.fill(face);
    QPainter painter(&pixmap);
    ProgramIcon().paint(&painter, pixmap.rect());
    return pixmap;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());

    ui->ProgramIcon->setPixmap(IconOnFace(palette().color(QPalette::Window)));

    // Hugging the address keeps the hot area and its filled background to the text itself.
    ui->Mailto->resize(ui->Mailto->sizeHint().width(), ui->Mailto->height());
    ui->Mailto->installEventFilter(this);
    SetMailtoHot(false);

    connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::showEvent(QShowEvent* event) {
    ui->ProductName->setText(ProductNameText);
    // A box closed while the pointer was on the link never saw it leave.
    SetMailtoHot(false);
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != ui->Mailto)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::Enter:
            SetMailtoHot(true);
            break;
        case QEvent::Leave:
            SetMailtoHot(false);
            break;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            // A press dragged off the link before release is a change of mind, not a click.
            const bool inside = ui->Mailto->rect().contains(mouse->position().toPoint());
            if (mouse->button() == Qt::LeftButton && inside && OnOpenUrl)
                OnOpenUrl((QStringLiteral("mailto:") + ui->Mailto->text()).toStdString());
            return true;
        }
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::SetMailtoHot(bool hot) {
    const QPalette& face = palette();
    QPalette link = ui->Mailto->palette();
    link.setColor(QPalette::WindowText,
                  face.color(hot ? QPalette::Highlight : QPalette::WindowText));
    link.setColor(QPalette::Window, face.color(hot ? QPalette::Base : QPalette::Window));
    ui->Mailto->setPalette(link);
    ui->Mailto->setAutoFillBackground(hot);
    QFont font = ui->Mailto->font();
    font.setUnderline(hot);
    ui->Mailto->setFont(font);
}
