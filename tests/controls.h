#pragma once

#include <QObject>
#include <QString>

// Finds a window's control by its object name, the way screen readers and the
// operator's scripts know it. A missing control ends the test at once: every
// later step would only fail in a less telling place.
template<typename T>
T *control(const QObject *window, const char *name)
{
    auto *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s of the expected kind", name);
    return found;
}
