#include "console/tests/support/program_folder.h"

#include "console/shell/module.h"
#include "platform/svc/service_manager.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>

namespace console::testing {
namespace {

void copyTree(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QDir(from).relativeFilePath(source);
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(source, target);
        QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                     QFile::ReadOther);
    }
}

QString run(const QString& folder, const QString& registry, const QString& program,
            const QStringList& args) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OSTRUM_SVC_ROOT"), registry);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.start(program, args);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace

ProgramFolder::ProgramFolder() {
    copyTree(QStringLiteral(DIST_FOLDER), path());
    QDir().mkpath(path() + QStringLiteral("log"));
    qputenv("OSTRUM_SVC_ROOT", registry().toUtf8());
    setAppFolder(path());
}

ProgramFolder::~ProgramFolder() {
    if (m_installed) {
        svcctl({QStringLiteral("stop")});
        run(path(), registry(), path() + serviceProgramFile(), {QStringLiteral("-u")});
    }
    QDir(registry()).removeRecursively();
}

QString ProgramFolder::path() const {
    return m_dir.path() + QLatin1Char('/');
}

QString ProgramFolder::registry() const {
    return m_dir.path() + QStringLiteral("-registry");
}

QString ProgramFolder::file(const QString& name) const {
    return path() + name;
}

void ProgramFolder::write(const QString& name, const QByteArray& content) const {
    QFile out(file(name));
    QDir().mkpath(QFileInfo(out).path());
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        out.write(content);
    }
}

QByteArray ProgramFolder::read(const QString& name) const {
    QFile in(file(name));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

bool ProgramFolder::installService() {
    return install(QStringLiteral(OSTRUM_PROGRAM));
}

bool ProgramFolder::installStandIn(const QString& program) {
    return install(program);
}

bool ProgramFolder::install(const QString& source) {
    const QString target = file(serviceProgramFile());
    QFile::remove(target);
    if (!QFile::copy(source, target)) {
        return false;
    }
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_installed = true;
    if (source == QStringLiteral(OSTRUM_PROGRAM)) {
        return run(path(), registry(), target, {QStringLiteral("-i")}) ==
               QStringLiteral("Ostrum installed");
    }
    // A stand-in cannot install itself: register it through the layer.
    platform::svc::ServiceConfig config;
    config.name = "Ostrum";
    config.displayName = "Ostrum";
    config.program = target.toStdString();
    return platform::svc::openServiceManager()->install(config) == 0;
}

QString ProgramFolder::svcctl(const QStringList& args) const {
    return run(path(), registry(), QStringLiteral(SVCCTL_PROGRAM),
               args + QStringList{QStringLiteral("ostrum")});
}

QString renderFolder() {
    const QString folder = qEnvironmentVariable("OSTRUM_RENDER_FOLDER", QDir::tempPath());
    QDir().mkpath(folder);
    return folder + QLatin1Char('/');
}

} // namespace console::testing
