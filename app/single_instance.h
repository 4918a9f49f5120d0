// One running program per user: a lock file in the temporary folder, named
// after the instance mutex name. A lock left behind by a crashed or killed
// instance is recognised (its process is gone) and taken over.
#pragma once

#include <QString>
#include <memory>

class QLockFile;

namespace bkf::gui {

// "Global\{719967F0-...}" -> "Global_{719967F0-...}-<user>.lock": no path
// separators, and the user (uid on Unix) so that users sharing /tmp don't meet.
QString instanceLockFileName(const QString& mutexName, const QString& userName);

class SingleInstance {
public:
    // `folder` empty: the system's temporary folder.
    explicit SingleInstance(const QString& folder = QString());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this is the only instance (the lock is now held by this object
    // until it is destroyed); false when another live instance holds it.
    bool acquire();
    // Gives the lock up (the next instance may start).
    void release();
    QString lockPath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace bkf::gui
