#include "About.h"

#include "pictures.h"
#include "prompts.h"
#include "qt_text.h"
#include "version.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

TForm3::TForm3(const QString& homepage, Prompts& prompts, QWidget* parent)
    : QDialog(parent), homepage_(homepage), prompts_(prompts) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("About Tapeloom"));
    // No title-bar buttons: OK is the way out.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(325, 313);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(4, 4, 317, 274);
    Panel1->setFrameShape(QFrame::Box);
    Panel1->setLineWidth(1);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    Panel1->setPalette(white);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(3, 3, 310, 80);
    Image1->setPixmap(
        windowPicture(QStringLiteral("logo"), QSize(310, 80), QColor(0x10, 0x18, 0x40)));

    Label3 = new QLabel(QStringLiteral("Tapeloom Homepage"), Panel1);
    Label3->setObjectName(QStringLiteral("Label3"));
    QFont link = Label3->font();
    link.setUnderline(true);
    Label3->setFont(link);
    Label3->setStyleSheet(QStringLiteral("color: blue; background: transparent;"));
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->adjustSize();
    // Right-hand end of the logo's lower edge.
    Label3->move(3 + 310 - Label3->width() - 2, 3 + 80 - Label3->height());
    Label3->installEventFilter(this);

    Image2 = new QLabel(Panel1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry((317 - 256) / 2, 86, 256, 141);
    Image2->setPixmap(
        windowPicture(QStringLiteral("spectrum"), QSize(256, 141), QColor(0x20, 0x20, 0x20)));

    auto line = [this](const char* name, int y) {
        auto* label = new QLabel(Panel1);
        label->setObjectName(QLatin1String(name));
        label->setGeometry(1, y, 315, 15);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        QFont small = label->font();
        small.setPointSizeF(small.pointSizeF() - 1);
        label->setFont(small);
        return label;
    };
    Label4 = line("Label4", 229);
    Label1 = line("Label1", 243);
    Label2 = line("Label2", 257);

    OK = new QPushButton(QStringLiteral("OK"), this);
    OK->setObjectName(QStringLiteral("OK"));
    OK->setGeometry(4, 283, 75, 26);
    OK->setDefault(true);
    connect(OK, &QPushButton::clicked, this, &TForm3::OKClick);

    FormCreate();
}

void TForm3::FormCreate() {
    Label2->setText(toQ(tapeloom::kComments));
    Label1->setText(toQ(tapeloom::kCopyright));
    Label4->setText(QStringLiteral("Version ") + toQ(tapeloom::kFileVersion));
}

void TForm3::Label3Click() {
    openHomepage(prompts_, homepage_);
}

void TForm3::OKClick() {
    accept();
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label3 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label3Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
