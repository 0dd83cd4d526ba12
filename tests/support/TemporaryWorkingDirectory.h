#pragma once

#include <QString>
#include <QTemporaryDir>

// A new empty folder that is the working directory while the object lives, so that relative
// paths used by the code under test land there. The previous working directory comes back
// when it is destroyed, and the folder is removed.
class TemporaryWorkingDirectory {
public:
    TemporaryWorkingDirectory();
    ~TemporaryWorkingDirectory();
    TemporaryWorkingDirectory(const TemporaryWorkingDirectory&) = delete;
    TemporaryWorkingDirectory& operator=(const TemporaryWorkingDirectory&) = delete;

    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    QString previous_;
};
