#include "console/shell/single_instance.h"

#include "console/shell/console_trace.h"

#include <QCryptographicHash>
#include <QDir>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace console {

// An advisory lock on a file named after the folder: the system drops it
// when the process ends, however it ends.
bool claimSingleInstance(const QString& appFolder) {
    const QByteArray key =
        QCryptographicHash::hash(appFolder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    const QString path =
        QDir::tempPath() +
        QStringLiteral("/ostrumgui-%1-%2.lock").arg(getuid()).arg(QString::fromLatin1(key));
    const int fd = open(path.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        CONSOLE_TRACE("claimSingleInstance: cannot open %s", path.toLocal8Bit().constData());
        return true;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    return true; // the descriptor stays open for the life of the process
}

} // namespace console
