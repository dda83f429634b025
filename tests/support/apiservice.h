#ifndef APISERVICE_H
#define APISERVICE_H

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// The real tillgate binary under a temporary installation root, listening on
// a port the system chose, spoken to with raw HTTP bytes.
class ApiService
{
public:
    struct Answer {
        QByteArray raw;
        QByteArray statusLine;
        QMap<QByteArray, QByteArray> headers;
        QByteArray body;
    };
    // Reads status line, headers and body out of answer.raw; true once the
    // whole length-framed answer is there.
    static bool parseAnswer(Answer &answer);

    ApiService();
    ~ApiService();

    QString root() const { return m_root.path(); }
    bool writeSettings(const QByteArray &content);
    // Starts the service and waits until it listens; false if it does not.
    bool start();
    void stop();
    quint16 port() const { return m_port; }
    QByteArray output() const;

    // One request on a fresh connection; the answer is complete when its
    // "Content-Length" bytes have arrived.
    Answer exchange(const QByteArray &request, int timeoutMs = 10000) const;

private:
    bool writeFile(const QString &path, const QByteArray &content);
    // The TCP port the process listens on, found through its socket inodes.
    quint16 listeningPort() const;

    QTemporaryDir m_root;
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
};

#endif
