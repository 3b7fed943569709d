#include "pictures.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

// The pictures sit in this static library; make sure the linker keeps them.
static void loadPictures() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)loaded;
}

namespace {

QString picturePath(const QString& name) {
    return QStringLiteral(":/pictures/") + name + QStringLiteral(".svg");
}

} // namespace

QPixmap windowPicture(const QString& name, QSize size, const QColor& fallback) {
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    loadPictures();
    const QString path = picturePath(name);
    if (!QFile::exists(path)) {
        pixmap.fill(fallback);
        return pixmap;
    }
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(windowPicture(QStringLiteral("icon"), QSize(side, side), QColor(0, 0, 160)));
    return icon;
}
