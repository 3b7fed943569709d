#pragma once
// The About box: logo, a Spectrum, version, copyright, description and the homepage link.
#include <QDialog>
#include <QString>

class Prompts;
class QFrame;
class QLabel;
class QPushButton;

// The About box.
class TForm3 : public QDialog {
    Q_OBJECT
  public:
    // homepage: the address the link opens; empty when the settings give none.
    TForm3(const QString& homepage, Prompts& prompts, QWidget* parent = nullptr);

  public slots:
    void Label3Click();
    void OKClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormCreate();

    const QString homepage_;
    Prompts& prompts_;

    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* OK = nullptr;
};
