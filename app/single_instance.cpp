#include "app/single_instance.h"

#include <QDir>
#include <QLockFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include "app/app_ids.h"

namespace bkf::gui {

QString instanceLockFileName(const QString& mutexName, const QString& userName) {
    QString name = mutexName;
    for (QChar& c : name)
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || c == QLatin1Char(':')) c = QLatin1Char('_');
    QString user;
    for (const QChar c : userName)
        if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char('.')) user += c;
    if (!user.isEmpty()) name += QLatin1Char('-') + user;
    return name + QStringLiteral(".lock");
}

namespace {

// The user id where there is one: environment variables may be missing or lie.
QString currentUserName() {
#ifdef Q_OS_UNIX
    return QStringLiteral("uid") + QString::number(::getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

}  // namespace

SingleInstance::SingleInstance(const QString& folder)
    : path_(QDir(folder.isEmpty() ? QDir::tempPath() : folder)
                .filePath(instanceLockFileName(kInstanceMutexName, currentUserName()))) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire() {
    if (lock_ && lock_->isLocked()) return true;
    lock_ = std::make_unique<QLockFile>(path_);
    // No age limit: a running instance keeps its lock however long it runs;
    // a lock whose process is gone counts as stale whatever its age.
    lock_->setStaleLockTime(0);
    return lock_->tryLock(0);
}

void SingleInstance::release() {
    lock_.reset();
}

}  // namespace bkf::gui
