// Version information dialog, a plain stand-in until the real one is designed.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // Shown in ProductName each time the box opens, so it may be changed between showings.
    QString ProductNameText;
    void SetProductNameText(const QString& text) { ProductNameText = text; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QLabel* productName_;
    QLabel* version_;
    QPushButton* okButton_;
};
