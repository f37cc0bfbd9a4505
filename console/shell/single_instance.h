#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace console {

// Claims the console of this program folder for the running process until
// it ends; false when another process holds it.
bool claimSingleInstance(const QString& appFolder);

// Tells the console that holds the claim of the folder that a second start
// was refused, so that it shows itself; false when none listens.
bool notifyRunningInstance(const QString& appFolder);

// The claiming console's ear for those notices: a local socket named after
// the folder, open to processes of the same user.
class SecondStartListener : public QObject {
    Q_OBJECT
public:
    explicit SecondStartListener(const QString& appFolder, QObject* parent = nullptr);
    ~SecondStartListener() override;
    SecondStartListener(const SecondStartListener&) = delete;
    SecondStartListener& operator=(const SecondStartListener&) = delete;

    bool isListening() const { return m_fd >= 0; }

signals:
    void secondStart();

private:
    void acceptNotice();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace console
