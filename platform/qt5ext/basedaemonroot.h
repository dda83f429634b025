#ifndef QT5EXT_BASEDAEMONROOT_H
#define QT5EXT_BASEDAEMONROOT_H

#include <QLocale>
#include <QObject>
#include <QStringList>

#include <memory>

class QCoreApplication;
class QSocketNotifier;

namespace qt5ext {

// The frame of a daemon: owns the application object, the log set-up and
// the handling of SIGTERM, SIGINT and SIGHUP, which end the event loop so
// that stop() runs and the process exits normally.
class BaseDaemonRoot : public QObject
{
    Q_OBJECT
public:
    BaseDaemonRoot(int &argc, char **argv, const QString &settingsFile);
    ~BaseDaemonRoot() override;

    static BaseDaemonRoot *instance() { return _instance; }

    QString settingsFile() const { return m_settingsFile; }
    QStringList arguments() const;
    QCoreApplication *application() const { return m_app.get(); }

public slots:
    virtual void doSetupLocale(const QLocale &locale);
    // Makes the application object (setApplication()); false stops start-up.
    // The default makes a plain QCoreApplication.
    virtual bool createApplication();
    // Creates the application, the work directory and the log, and installs
    // the quit signals; false when createApplication() failed.
    virtual bool init();
    // Runs the event loop until quit; returns the exit code.
    virtual int exec();
    virtual void stop();
    // Ends the event loop from any thread.
    void quit(int exitCode = 0);

protected:
    int &argc() { return m_argc; }
    char **argv() { return m_argv; }
    void setApplication(std::unique_ptr<QCoreApplication> app);

    static BaseDaemonRoot *_instance;

private:
    void installQuitSignals();
    void removeQuitSignals();
    void readQuitSignal();

    int &m_argc;
    char **m_argv;
    QString m_settingsFile;
    std::unique_ptr<QCoreApplication> m_app;
    std::unique_ptr<QSocketNotifier> m_signalNotifier;
};

} // namespace qt5ext

#endif
