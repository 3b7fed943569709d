#pragma once
// The configuration dialog: display name, scheme and the ten button assignments of the
// focused entry, with a preview of the snapshot's screen.
#include <QDialog>
#include <QImage>

#include <array>
#include <string>
#include <vector>

class CatalogueEditor;
class Prompts;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
namespace tapeloom {
struct CatalogueEntry;
struct KeyBoxes;
struct Session;
} // namespace tapeloom

// The configuration dialog.
class TForm2 : public QDialog {
    Q_OBJECT
  public:
    // Works on the focused entry of `catalogue`; FormShow runs in showEvent.
    TForm2(tapeloom::Session& session, CatalogueEditor& catalogue, Prompts& prompts,
           QWidget* parent = nullptr);

    // The preview bitmap: 256 x 192, black until the first preview is drawn.
    const QImage& spectrumBitmap() const { return bitmap_; }

  public slots:
    void FormShow();
    void quickconfigChange();
    void lbackChange();
    void rbackChange();
    void rightChange();
    void upChange();
    void leftChange();
    void downChange();
    void startChange();
    void selectChange();
    void aChange();
    void bChange();
    void DoneClick();
    // Draws the focused entry's screen into the preview bitmap; errors go to the general
    // error report and leave the bitmap as it was.
    void PaintSpectrum();

  public:
    // Every close request (OK, the close box, Escape) passes here: false refuses it.
    bool FormCloseQuery();
    void FormClose();
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QComboBox* makeKeyBox(QWidget* parent, const char* name, int x, int y,
                          void (TForm2::*handler)());
    void showSchemes(const std::vector<std::string>& schemes, int selected);
    void showKeys(const tapeloom::KeyBoxes& keys);
    void pickKey(QComboBox* box);

    tapeloom::Session& session_;
    CatalogueEditor& catalogue_;
    Prompts& prompts_;
    QImage bitmap_;

    QLabel* Label1 = nullptr; // "Rom Name"
    QLabel* Label2 = nullptr; // "Quick Keyboard Configuration"
    QLineEdit* romname = nullptr;
    QComboBox* quickconfig = nullptr;
    QFrame* DoneFrame = nullptr;
    QPushButton* Done = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Handheld = nullptr;
    QLabel* Spectrum = nullptr;
    QComboBox* lback = nullptr;
    QComboBox* rback = nullptr;
    QComboBox* right = nullptr;
    QComboBox* up = nullptr;
    QComboBox* left = nullptr;
    QComboBox* down = nullptr;
    QComboBox* start = nullptr;
    QComboBox* select = nullptr;
    QComboBox* a = nullptr;
    QComboBox* b = nullptr;
    // In the order of tapeloom::kKeyBoxSlots.
    std::array<QComboBox*, 10> keyBoxes_{};
};
