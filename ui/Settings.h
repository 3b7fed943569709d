#pragma once
// The settings dialog: image folder, Pogoshell folder, theme and compile choices.
#include <QDialog>

#include <exception>

class Prompts;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace tapeloom {
struct Session;
}

// The settings dialog.
class TForm4 : public QDialog {
    Q_OBJECT
  public:
    TForm4(tapeloom::Session& session, Prompts& prompts, QWidget* parent = nullptr);

    // Fills the dialog from the settings, drops a stored Pogoshell folder that is gone, shows
    // the dialog modally.
    void Settings1Click();
    // The filling steps of Settings1Click without showing the dialog.
    void fillFromSettings();

  public slots:
    void SpeedButton1Click();
    void SpeedButton3Click();
    void associationsClick();
    void ThemeChange();
    void SpeedButton4Click();
    void SpeedButton2Click();

  private:
    void setPogoshellGroupEnabled(bool enabled);
    void reportError(const std::exception& error);

    tapeloom::Session& session_;
    Prompts& prompts_;

    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* TPLBinaryPath = nullptr;
    QPushButton* SpeedButton1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* POGOShellPath = nullptr;
    QPushButton* SpeedButton3 = nullptr;
    QCheckBox* associations = nullptr;
    QComboBox* Theme = nullptr;
    QCheckBox* compile = nullptr;
    QPushButton* SpeedButton4 = nullptr;
    QPushButton* SpeedButton2 = nullptr;
};
