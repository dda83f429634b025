#include "messagelogger.h"

#include <QFile>
#include <QLoggingCategory>
#include <QMutex>

#include <cstdio>
#include <ctime>
#include <memory>

namespace qt5ext {

namespace {

QMutex logMutex;
std::unique_ptr<QFile> logFile;

const char *levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "critical";
    case QtFatalMsg: return "fatal";
    }
    return "?";
}

// Local time as 2026-12-08T00:48:54.028. localtime_r reads the time zone
// once per process; QDateTime would look at /etc/localtime again for every
// line, which a busy service pays for on each request.
QByteArray timestamp()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[40];
    const int size = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld", local.tm_year + 1900,
                                   local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                                   long(now.tv_nsec / 1000000));
    return QByteArray(text, size);
}

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QByteArray line = timestamp();
    line += ' ';
    line += levelName(type);
    line += ' ';
    line += context.category ? context.category : "default";
    line += ' ';
    if (context.file) {
        line += context.file;
        line += ':';
        line += QByteArray::number(context.line);
        line += ' ';
    }
    if (context.function) {
        line += context.function;
        line += ": ";
    }
    line += message.toUtf8();
    line += '\n';

    QMutexLocker lock(&logMutex);
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    if (logFile) {
        logFile->write(line);
        logFile->flush();
    }
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

void MessageLogger::install()
{
    // Debug messages are for finding faults, not for every request of a
    // running service; QT_LOGGING_RULES="*.debug=true" turns them on, as
    // the environment's rules come after these.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    qInstallMessageHandler(handler);
}

bool MessageLogger::openLogFile(const QString &filePath)
{
    auto file = std::make_unique<QFile>(filePath);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return false;
    QMutexLocker lock(&logMutex);
    logFile = std::move(file);
    return true;
}

void MessageLogger::closeLogFile()
{
    QMutexLocker lock(&logMutex);
    logFile.reset();
}

QString MessageLogger::logFileName()
{
    QMutexLocker lock(&logMutex);
    return logFile ? logFile->fileName() : QString();
}

} // namespace qt5ext
