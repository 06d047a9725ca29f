#include "queue/view/SavedGeometry.h"

#include <QDataStream>

namespace SavedGeometry {

namespace {

// The record QWidget::saveGeometry() writes: a magic number and a version, then the frame
// rectangle, the normal rectangle, the screen's number, the maximized and full-screen flags, and
// from version 2 on the screen's width, from version 3 on the client rectangle.
constexpr quint32 magicNumber = 0x1D9D0CB;
constexpr quint16 newestMajorVersion = 3;

} // namespace

bool isUsable(const QByteArray &saved, const QList<QRect> &screens, int reachable)
{
    QDataStream stream(saved);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0;
    quint16 minor = 0;
    stream >> magic >> major >> minor;
    if (magic != magicNumber || major > newestMajorVersion)
        return false;
    QRect frame;
    QRect normal;
    qint32 screenNumber = 0;
    quint8 maximized = 0;
    quint8 fullScreen = 0;
    stream >> frame >> normal >> screenNumber >> maximized >> fullScreen;
    if (major > 1) {
        qint32 screenWidth = 0;
        stream >> screenWidth;
    }
    if (major > 2) {
        QRect client;
        stream >> client;
    }
    if (stream.status() != QDataStream::Ok || !frame.isValid() || !normal.isValid())
        return false;
    for (const QRect &screen : screens) {
        const QRect visible = screen.intersected(frame);
        if (visible.width() >= reachable && visible.height() >= reachable)
            return true;
    }
    return false;
}

} // namespace SavedGeometry
