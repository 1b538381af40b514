// Version information dialog laid out by hand at fixed positions, like the other fixed dialogs.
#include "TAboutBox.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent),
      productName_(new QLabel(this)),
      version_(new QLabel(QStringLiteral("Version: 2009/2/18"), this)),
      okButton_(new QPushButton(QStringLiteral("OK"), this)) {
    setObjectName(QStringLiteral("TAboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(285, 172);

    productName_->setObjectName(QStringLiteral("ProductName"));
    productName_->setGeometry(16, 24, 253, 21);
    version_->setObjectName(QStringLiteral("Version"));
    version_->setGeometry(16, 56, 253, 21);
    okButton_->setObjectName(QStringLiteral("OKButton"));
    okButton_->setGeometry(105, 132, 75, 25);
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* event) {
    productName_->setText(ProductNameText);
    QDialog::showEvent(event);
}
