#ifndef HTTPWORKER_H
#define HTTPWORKER_H

#include <abstractworker.h>

#include <QSharedPointer>

class HttpListener;
class QSettings;

// Owns the HTTP listener on a thread of its own. Its start fails when the
// listener cannot listen.
class HttpWorker : public qt5ext::AbstractWorker
{
    Q_OBJECT
public:
    static const QString LISTENER_SETTINGS_FILE;
    static const QString LISTENER_SECTION;

    explicit HttpWorker(QObject *parent = nullptr);
    ~HttpWorker() override;

    HttpListener *listener() const { return m_listener.data(); }

protected:
    bool doStart() override;
    bool doStop() override;

private:
    QSettings *m_settings = nullptr;
    QSharedPointer<HttpListener> m_listener;
};

#endif
