#pragma once
// Finding a window's controls by their object names, as a user finds them by their captions.
#include <QObject>
#include <QString>

#include <stdexcept>

namespace tapeloom::test {

// The object named `name` of type T below `window`, not looking into other windows (dialogs)
// that `window` owns. Throws when there is none, so a test fails instead of crashing.
QObject* findControl(QObject* window, const QString& name, const QMetaObject& type);

template <typename T> T* control(QObject* window, const QString& name) {
    return static_cast<T*>(findControl(window, name, T::staticMetaObject));
}

} // namespace tapeloom::test
