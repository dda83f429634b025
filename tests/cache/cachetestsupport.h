#ifndef CACHETESTSUPPORT_H
#define CACHETESTSUPPORT_H

#include "tillgatecashe.h"
#include "tillgateconfig.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>

// Records the messages of one logging category while it lives and passes
// every message on to the handler it replaced.
class LogCapture
{
public:
    explicit LogCapture(const char *category = "tillgate.cache")
        : m_category(category)
    {
        QMutexLocker lock(&s_mutex);
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        QMutexLocker lock(&s_mutex);
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }

    QStringList messages(QtMsgType type) const
    {
        QMutexLocker lock(&s_mutex);
        QStringList result;
        for (const auto &entry : m_entries) {
            if (entry.first == type)
                result << entry.second;
        }
        return result;
    }
    int count() const
    {
        QMutexLocker lock(&s_mutex);
        return m_entries.size();
    }
    bool contains(QtMsgType type, const QString &text) const
    {
        for (const QString &message : messages(type)) {
            if (message.contains(text))
                return true;
        }
        return false;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        QtMessageHandler previous = nullptr;
        {
            QMutexLocker lock(&s_mutex);
            if (s_current && context.category && qstrcmp(context.category, s_current->m_category) == 0)
                s_current->m_entries.append({type, message});
            previous = s_current ? s_current->m_previous : nullptr;
        }
        if (previous)
            previous(type, context, message);
    }

    const char *m_category;
    QtMessageHandler m_previous = nullptr;
    QList<QPair<QtMsgType, QString>> m_entries;
    static inline QMutex s_mutex;
    static inline LogCapture *s_current = nullptr;
};

// A private installation root, so the cache file lives in a temporary
// directory.
class CacheRoot
{
public:
    CacheRoot()
    {
        qt5ext::FileConfigHelper::setFileSystemRoot(m_dir.path());
        qt5ext::InitConfig::setAppWorkDir(QStringLiteral("zelvotillgate"));
    }
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString cacheFile() const { return TillgateConfig().tillgateCacheFile(); }
    QString cacheDir() const { return TillgateConfig().tillgateCacheDir(); }

    // Closes the calling thread's cache connection and deletes every file
    // of the cache directory.
    void wipe() const
    {
        releaseConnection();
        QDir dir(cacheDir());
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
            dir.remove(name);
    }
    void releaseConnection() const
    {
        if (QFile::exists(cacheFile())) {
            TillgateCashe cache;
            cache.clearAllConnections();
        }
    }

private:
    QTemporaryDir m_dir;
};

// Runs one statement on the calling thread's cache connection; the first
// column of every row, as text.
inline QStringList sqlColumn(const QString &statement, QString *error = nullptr)
{
    TillgateCashe cache;
    QSqlQuery query(cache.db());
    QStringList rows;
    if (!query.exec(statement)) {
        if (error)
            *error = query.lastError().text();
        return rows;
    }
    while (query.next())
        rows << query.value(0).toString();
    return rows;
}

#endif
