#include "console/shell/single_instance.h"

#include "console/shell/console_trace.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSocketNotifier>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace console {
namespace {

// Second starts come one at a time, by hand.
constexpr int kListenBacklog = 4;

QString folderKey(const QString& appFolder) {
    const QByteArray key =
        QCryptographicHash::hash(appFolder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("ostrumgui-%1-%2").arg(getuid()).arg(QString::fromLatin1(key));
}

// A name in the abstract namespace: nothing is left on disk when the
// console ends, however it ends.
socklen_t socketAddress(const QString& appFolder, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const QByteArray name = folderKey(appFolder).toLatin1();
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
}

bool sameUser(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == getuid();
}

} // namespace

// An advisory lock on a file named after the folder: the system drops it
// when the process ends, however it ends.
bool claimSingleInstance(const QString& appFolder) {
    const QString path =
        QDir::tempPath() + QLatin1Char('/') + folderKey(appFolder) + QStringLiteral(".lock");
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

bool notifyRunningInstance(const QString& appFolder) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address{};
    const socklen_t length = socketAddress(appFolder, address);
    const bool told = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    if (!told) {
        CONSOLE_TRACE("notifyRunningInstance: no console listens (errno %d)", errno);
    }
    close(fd);
    return told;
}

SecondStartListener::SecondStartListener(const QString& appFolder, QObject* parent)
    : QObject(parent) {
    m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    const socklen_t length = socketAddress(appFolder, address);
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_fd, kListenBacklog) != 0) {
        CONSOLE_TRACE("SecondStartListener: cannot listen (errno %d)", errno);
        if (m_fd >= 0) {
            close(m_fd);
        }
        m_fd = -1;
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SecondStartListener::acceptNotice);
}

SecondStartListener::~SecondStartListener() {
    delete m_notifier;
    if (m_fd >= 0) {
        close(m_fd);
    }
}

// The connection itself is the notice; nothing is read from it.
void SecondStartListener::acceptNotice() {
    for (;;) {
        const int peer = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (peer < 0) {
            return;
        }
        const bool ours = sameUser(peer);
        close(peer);
        if (ours) {
            emit secondStart();
        } else {
            CONSOLE_TRACE("SecondStartListener: a notice from another user is ignored");
        }
    }
}

} // namespace console
