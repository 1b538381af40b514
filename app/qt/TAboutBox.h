// Version information dialog: program icon, product name, version, notice and a mail link.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TAboutBox;
}

// Closes with 1 (Accepted) through OK or Enter.
class TAboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    // Shown in ProductName each time the box opens, so it may be changed between showings.
    QString ProductNameText;
    void SetProductNameText(const QString& text) { ProductNameText = text; }

    // Receives the "mailto:" link when Mailto is clicked. The dialog knows no way of its own to
    // open a link, so while this is unset a click does nothing.
    std::function<void(const std::string&)> OnOpenUrl;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void SetMailtoHot(bool hot);

    std::unique_ptr<Ui::TAboutBox> ui;
};
