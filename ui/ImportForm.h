#pragma once
// The import of Tarn's INJECT.INI into the settings file.
#include <QDialog>

class Prompts;
class QCheckBox;
class QGroupBox;
class QProgressBar;
class QPushButton;
namespace tapeloom {
struct Session;
}

// The import dialog.
class TImport : public QDialog {
    Q_OBJECT
  public:
    TImport(tapeloom::Session& session, Prompts& prompts, QWidget* parent = nullptr);

  public slots:
    void ImportClick();
    void updatecheckClick();
    void addcheckClick();
    void SpeedButton2Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void enableImport();

    tapeloom::Session& session_;
    Prompts& prompts_;

    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* updatecheck = nullptr;
    QCheckBox* addcheck = nullptr;
    QPushButton* Import = nullptr;
    QPushButton* SpeedButton2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
};
