#include "config.h"

#include "catalogue.h"
#include "catalogue_editor.h"
#include "control_config.h"
#include "keys.h"
#include "pictures.h"
#include "prompts.h"
#include "qt_text.h"
#include "screen_decoder.h"
#include "window_build_host.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>

namespace {

constexpr int kClientWidth = 665;
constexpr int kClientHeight = 394;

// A pick-only box's value: the selected item's text, or empty with no selection.
QString boxValue(const QComboBox* box) {
    return box->currentIndex() < 0 ? QString() : box->currentText();
}

} // namespace

TForm2::TForm2(tapeloom::Session& session, CatalogueEditor& catalogue, Prompts& prompts,
               QWidget* parent)
    : QDialog(parent), session_(session), catalogue_(catalogue), prompts_(prompts),
      bitmap_(tapeloom::kScreenWidth, tapeloom::kScreenHeight, QImage::Format_RGB32) {
    tapeloom::setUpPreview();
    bitmap_.fill(Qt::black);

    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Configuration"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);

    Label1 = new QLabel(QStringLiteral("Rom Name"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 109, 15);
    romname = new QLineEdit(this);
    romname->setObjectName(QStringLiteral("romname"));
    romname->setGeometry(8, 24, 109, 21);
    romname->setMaxLength(static_cast<int>(tapeloom::kDisplayNameLength));

    Label2 = new QLabel(QStringLiteral("Quick Keyboard Configuration"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(128, 8, 200, 15);
    quickconfig = new QComboBox(this);
    quickconfig->setObjectName(QStringLiteral("quickconfig"));
    quickconfig->setGeometry(128, 24, 161, 21);
    connect(quickconfig, &QComboBox::activated, this, &TForm2::quickconfigChange);

    DoneFrame = new QFrame(this);
    DoneFrame->setObjectName(QStringLiteral("DoneFrame"));
    DoneFrame->setGeometry(580, 8, 77, 33);
    DoneFrame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    DoneFrame->setLineWidth(1);
    Done = new QPushButton(QStringLiteral("OK"), DoneFrame);
    Done->setObjectName(QStringLiteral("Done"));
    Done->setGeometry(1, 1, 75, 31);
    Done->setFlat(true);
    Done->setAutoDefault(false);
    connect(Done, &QPushButton::clicked, this, &TForm2::DoneClick);

    // The white panel; its children are placed inside its one-pixel border.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 48, 649, 337);
    Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Panel1->setLineWidth(1);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Panel1->setAutoFillBackground(true);
    auto* panel = new QWidget(Panel1);
    panel->setGeometry(1, 1, 647, 335);

    Handheld = new QLabel(panel);
    Handheld->setObjectName(QStringLiteral("Handheld"));
    Handheld->setGeometry(4, 4, 639, 320);
    Handheld->setPixmap(
        windowPicture(QStringLiteral("handheld"), QSize(639, 320), QColor(0x50, 0x4C, 0x8C)));

    Spectrum = new QLabel(panel);
    Spectrum->setObjectName(QStringLiteral("Spectrum"));
    Spectrum->setGeometry(203, 92, 240, 160);

    // Dialog coordinates for the shoulder boxes and A, panel coordinates for the rest.
    lback = makeKeyBox(this, "lback", 200, 53, &TForm2::lbackChange);
    rback = makeKeyBox(this, "rback", 380, 53, &TForm2::rbackChange);
    right = makeKeyBox(panel, "right", 4, 72, &TForm2::rightChange);
    up = makeKeyBox(panel, "up", 4, 100, &TForm2::upChange);
    left = makeKeyBox(panel, "left", 4, 172, &TForm2::leftChange);
    down = makeKeyBox(panel, "down", 4, 200, &TForm2::downChange);
    start = makeKeyBox(panel, "start", 4, 240, &TForm2::startChange);
    select = makeKeyBox(panel, "select", 4, 268, &TForm2::selectChange);
    a = makeKeyBox(this, "a", 564, 213, &TForm2::aChange);
    b = makeKeyBox(panel, "b", 556, 192, &TForm2::bChange);
    keyBoxes_ = {lback, rback, left, right, up, down, start, select, a, b};

    Spectrum->setPixmap(QPixmap::fromImage(
        bitmap_.scaled(Spectrum->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

QComboBox* TForm2::makeKeyBox(QWidget* parent, const char* name, int x, int y,
                              void (TForm2::*handler)()) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(x, y, 89, 21);
    for (std::string_view keyName : tapeloom::kKeyNames)
        box->addItem(toQ(keyName));
    box->setMaxVisibleItems(16);
    box->raise();
    connect(box, &QComboBox::activated, this, handler);
    return box;
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm2::FormShow() {
    const tapeloom::SettingsFile& settings = session_.settings;
    const tapeloom::CatalogueEntry* entry = catalogue_.focusedEntry();
    if (entry == nullptr) {
        showSchemes(tapeloom::schemeChoices(settings), 0);
        return;
    }
    const tapeloom::ConfigurationView view = tapeloom::openConfiguration(settings, *entry);
    showSchemes(view.schemes, view.scheme);
    romname->setText(toQ(view.displayName));
    showKeys(view.keys);
    PaintSpectrum();
}

void TForm2::showSchemes(const std::vector<std::string>& schemes, int selected) {
    quickconfig->clear();
    for (const std::string& scheme : schemes)
        quickconfig->addItem(toQ(scheme));
    quickconfig->setCurrentIndex(selected);
}

void TForm2::showKeys(const tapeloom::KeyBoxes& keys) {
    for (std::size_t box = 0; box < keyBoxes_.size(); ++box) {
        keyBoxes_[box]->setEnabled(keys.custom);
        keyBoxes_[box]->setCurrentIndex(keys.picks[box]);
    }
}

void TForm2::quickconfigChange() {
    const tapeloom::CatalogueEntry* entry = catalogue_.focusedEntry();
    if (entry == nullptr)
        return;
    tapeloom::KeyBoxPicks shown{};
    for (std::size_t box = 0; box < keyBoxes_.size(); ++box)
        shown[box] = keyBoxes_[box]->currentIndex();
    const QString scheme = boxValue(quickconfig);
    showKeys(tapeloom::chooseScheme(session_.settings, entry->sectionKey(), toStd(scheme), shown));
    catalogue_.setFocusedScheme(scheme);
}

void TForm2::pickKey(QComboBox* box) {
    const tapeloom::CatalogueEntry* entry = catalogue_.focusedEntry();
    if (entry == nullptr)
        return;
    const auto found = std::find(keyBoxes_.begin(), keyBoxes_.end(), box);
    tapeloom::chooseKey(session_.settings, entry->sectionKey(),
                        static_cast<std::size_t>(found - keyBoxes_.begin()), box->currentIndex());
}

void TForm2::lbackChange() {
    pickKey(lback);
}
void TForm2::rbackChange() {
    pickKey(rback);
}
void TForm2::rightChange() {
    pickKey(right);
}
void TForm2::upChange() {
    pickKey(up);
}
void TForm2::leftChange() {
    pickKey(left);
}
void TForm2::downChange() {
    pickKey(down);
}
void TForm2::startChange() {
    pickKey(start);
}
void TForm2::selectChange() {
    pickKey(select);
}
void TForm2::aChange() {
    pickKey(a);
}
void TForm2::bChange() {
    pickKey(b);
}

void TForm2::DoneClick() {
    close();
}

bool TForm2::FormCloseQuery() {
    // Without an entry there is no name to keep, and the dialog must not trap the user.
    if (catalogue_.focusedEntry() == nullptr)
        return true;
    const auto refusal = tapeloom::closeRefusal(toStd(romname->text()));
    if (!refusal)
        return true;
    WindowBuildHost(prompts_, this, nullptr).show(*refusal);
    return false;
}

void TForm2::FormClose() {
    const tapeloom::CatalogueEntry* entry = catalogue_.focusedEntry();
    if (entry == nullptr)
        return;
    const QString name = romname->text();
    tapeloom::closeConfiguration(session_.settings, entry->sectionKey(), toStd(name));
    catalogue_.renameFocused(name);
}

void TForm2::done(int result) {
    if (!FormCloseQuery())
        return;
    FormClose();
    QDialog::done(result);
}

void TForm2::PaintSpectrum() {
    const tapeloom::CatalogueEntry* entry = catalogue_.focusedEntry();
    if (entry == nullptr)
        return;
    try {
        const tapeloom::SpectrumScreen screen =
            tapeloom::decodeSnapshotScreen(entry->snapshotPath());
        for (int y = 0; y < tapeloom::kScreenHeight; ++y) {
            auto* line = reinterpret_cast<QRgb*>(bitmap_.scanLine(y));
            for (int x = 0; x < tapeloom::kScreenWidth; ++x)
                line[x] = 0xFF000000u | screen.pixel(x, y);
        }
    } catch (const std::exception& error) {
        prompts_.reportError(this, QString::fromLocal8Bit(error.what()));
    }
    Spectrum->setPixmap(QPixmap::fromImage(
        bitmap_.scaled(Spectrum->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}
