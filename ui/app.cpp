// The desktop program: the main window and its dialogs, then the event loop.
#include "main.h"
#include "pictures.h"
#include "prompts.h"
#include "screenshots.h"

#include <QApplication>
#include <clocale>
#include <exception>

int main(int argc, char* argv[]) {
    // Display names are sorted with the user's collation.
    std::setlocale(LC_ALL, "");
    QApplication application(argc, argv);
    application.setWindowIcon(applicationIcon());
    QtPrompts prompts;
    try {
        TForm1 form1(prompts);
        form1.createDialogs();
        form1.show();
        if (const int result = takeScreenshotsIfAsked(form1); result >= 0)
            return result;
        return application.exec();
    } catch (const std::exception& error) {
        prompts.reportError(nullptr, QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
