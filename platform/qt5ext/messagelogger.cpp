#include "messagelogger.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>

#include <cstdio>
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

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8();
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
