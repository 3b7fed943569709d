#include "config.h"

#include "main.h"

TForm2::TForm2(TForm1& main, Prompts& prompts, QWidget* parent)
    : QDialog(parent), main_(main), prompts_(prompts) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Configuration"));
}
