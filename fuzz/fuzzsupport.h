#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

// What every fuzz target shares: an application object for the Qt parts that
// want one, and silence, since logging each refused input would cost more
// than parsing it.
namespace fuzzsupport {

inline void silentHandler(QtMsgType, const QMessageLogContext &, const QString &) {}

inline void setUp()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *application = [] {
        qInstallMessageHandler(&silentHandler);
        return new QCoreApplication(argc, argv);
    }();
    Q_UNUSED(application);
}

// A private directory for the process, under /dev/shm when there is one so
// that files written per input stay in memory; removed when the process ends.
inline QString scratchDir()
{
    static const QTemporaryDir dir(
        (QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
        + QStringLiteral("/tillgate-fuzz-XXXXXX"));
    return dir.path();
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

} // namespace fuzzsupport

#endif
