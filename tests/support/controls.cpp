#include "controls.h"

#include <QDialog>

namespace tapeloom::test {

namespace {

QObject* search(QObject* parent, const QString& name, const QMetaObject& type) {
    for (QObject* child : parent->children()) {
        if (child->objectName() == name && type.cast(child) != nullptr)
            return child;
        if (qobject_cast<QDialog*>(child) != nullptr)
            continue; // another window
        if (QObject* found = search(child, name, type))
            return found;
    }
    return nullptr;
}

} // namespace

QObject* findControl(QObject* window, const QString& name, const QMetaObject& type) {
    QObject* found = window != nullptr ? search(window, name, type) : nullptr;
    if (found == nullptr)
        throw std::runtime_error("no " + std::string(type.className()) + " named " +
                                 name.toStdString());
    return found;
}

} // namespace tapeloom::test
