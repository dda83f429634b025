#ifndef APITESTSUPPORT_H
#define APITESTSUPPORT_H

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

// Records warnings of the API's logging category while it lives, passing
// every message on to the handler it replaced.
class WarningCapture
{
public:
    WarningCapture()
    {
        QMutexLocker lock(&mutex());
        current() = this;
        m_previous = qInstallMessageHandler(&WarningCapture::handle);
    }
    ~WarningCapture()
    {
        QMutexLocker lock(&mutex());
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }

    bool contains(const QString &text) const
    {
        QMutexLocker lock(&mutex());
        for (const QString &message : m_warnings) {
            if (message.contains(text))
                return true;
        }
        return false;
    }

private:
    static QMutex &mutex()
    {
        static QMutex instance;
        return instance;
    }
    static WarningCapture *&current()
    {
        static WarningCapture *instance = nullptr;
        return instance;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        QtMessageHandler previous = nullptr;
        {
            QMutexLocker lock(&mutex());
            WarningCapture *capture = current();
            if (!capture)
                return;
            if (type == QtWarningMsg && qstrcmp(context.category, "tillgate.api") == 0)
                capture->m_warnings << message;
            previous = capture->m_previous;
        }
        if (previous)
            previous(type, context, message);
    }

    QtMessageHandler m_previous = nullptr;
    QStringList m_warnings;
};

#endif
