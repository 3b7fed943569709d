#pragma once
// The About box: logo, a Spectrum, version, copyright, description and the homepage link.
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class TForm1;

class TForm3 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(TForm1& main, QWidget* parent = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* OK = nullptr;

  public slots:
    void Label3Click();
    void OKClick();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormCreate();

    TForm1& main_;
};
