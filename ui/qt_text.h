#pragma once
// Text and path conversions between Qt and the core (8-bit text, std::filesystem paths).
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

inline std::string toStd(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

inline QString toQ(std::string_view text) {
    return QString::fromLocal8Bit(QByteArrayView(text));
}

inline std::filesystem::path toPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

inline QString fromPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}
