#pragma once
// The import of Tarn's INJECT.INI into the settings file.
#include <QDialog>

class Prompts;
class TForm1;

class TImport : public QDialog {
    Q_OBJECT
  public:
    explicit TImport(TForm1& main, Prompts& prompts, QWidget* parent = nullptr);

  private:
    TForm1& main_;
    Prompts& prompts_;
};
