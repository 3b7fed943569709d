#pragma once
// The import of Tarn's INJECT.INI into the settings file.
#include <QDialog>

class Prompts;
class QCheckBox;
class QGroupBox;
class QProgressBar;
class QPushButton;
class TForm1;

class TImport : public QDialog {
    Q_OBJECT
  public:
    explicit TImport(TForm1& main, Prompts& prompts, QWidget* parent = nullptr);

    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* updatecheck = nullptr;
    QCheckBox* addcheck = nullptr;
    QPushButton* Import = nullptr;
    QPushButton* SpeedButton2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

  public slots:
    void ImportClick();
    void updatecheckClick();
    void addcheckClick();
    void SpeedButton2Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void enableImport();

    TForm1& main_;
    Prompts& prompts_;
};
