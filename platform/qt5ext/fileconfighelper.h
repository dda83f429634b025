#ifndef QT5EXT_FILECONFIGHELPER_H
#define QT5EXT_FILECONFIGHELPER_H

#include <QString>

namespace qt5ext {

// Where a program's files live. Every fixed absolute path goes through
// rootedPath(), so a whole installation can be laid under another directory
// (tests and local runs do that) by setting a file-system root once at start.
class FileConfigHelper
{
public:
    virtual ~FileConfigHelper();

    virtual QString settingsFileName() const = 0;

    static void setFileSystemRoot(const QString &root);
    static QString fileSystemRoot();
    // The absolute path under the file-system root; relative paths and an
    // empty root leave the path as it is.
    static QString rootedPath(const QString &absolutePath);
};

} // namespace qt5ext

#endif
