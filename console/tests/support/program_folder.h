#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace console::testing {

// A temporary program folder holding the shipped files and an empty log/,
// made the console's appFolder; its own service registry (the standalone
// backend) lives beside it and is the process's while the folder is the
// newest. The service is stopped and removed at the end.
class ProgramFolder {
public:
    ProgramFolder();
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    QString path() const;                    // ends in "/"
    QString file(const QString& name) const; // path() + name
    QString registry() const;                // the folder's own service registry
    void write(const QString& name, const QByteArray& content) const;
    QByteArray read(const QString& name) const;

    // Installs the real service program of the build as the service "ostrum".
    [[nodiscard]] bool installService();
    // Installs program (copied into the folder under the service's file name) instead.
    [[nodiscard]] bool installStandIn(const QString& program);
    // svcctl <args> ostrum; its output, trimmed.
    QString svcctl(const QStringList& args) const;

private:
    [[nodiscard]] bool install(const QString& source);

    QTemporaryDir m_dir;
    bool m_installed = false;
};

// Where tests put their PNG renders of windows: the build's console-renders/.
QString renderFolder();

} // namespace console::testing
