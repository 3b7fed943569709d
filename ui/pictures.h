#pragma once
// The window pictures, drawn from the SVG files built into the program. A picture that is not
// there yet is drawn as a plain coloured block of the same size, so windows keep their layout.
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

QPixmap windowPicture(const QString& name, QSize size, const QColor& fallback);
QIcon applicationIcon();
