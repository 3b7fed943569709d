#include "ImportForm.h"

#include "main.h"

TImport::TImport(TForm1& main, Prompts& prompts, QWidget* parent)
    : QDialog(parent), main_(main), prompts_(prompts) {
    setObjectName(QStringLiteral("Import"));
    setWindowTitle(QStringLiteral("Import Tarn INI"));
}
