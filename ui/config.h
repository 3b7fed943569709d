#pragma once
// The configuration dialog: display name, scheme and the ten button assignments of the
// focused entry, with a preview of the snapshot's screen.
#include <QDialog>

class Prompts;
class TForm1;

class TForm2 : public QDialog {
    Q_OBJECT
  public:
    // FormShow runs in showEvent.
    explicit TForm2(TForm1& main, Prompts& prompts, QWidget* parent = nullptr);

  private:
    TForm1& main_;
    Prompts& prompts_;
};
