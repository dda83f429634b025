#ifndef FPTRSIM_SIMSTORE_H
#define FPTRSIM_SIMSTORE_H

#include <QString>
#include <QStringList>

struct RegisterState;

// The state directory of one simulated register: state.json, tape.txt,
// calls.log, faults and the lock file that serialises every device
// command across threads and processes.
class SimStore
{
public:
    // FPTR_SIM_DIR, or a per-user directory under the temporary directory.
    static QString defaultDirectory();

    explicit SimStore(const QString &directory = defaultDirectory());

    QString directory() const { return m_directory; }
    QString statePath() const;

    // Holds the register for one device command: an exclusive lock on the
    // lock file, released by the destructor.
    class Lock
    {
    public:
        explicit Lock(const SimStore &store);
        ~Lock();
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;
        bool isLocked() const { return m_fd >= 0; }
        QString error() const { return m_error; }

    private:
        int m_fd = -1;
        QString m_error;
    };

    // A missing state file gives a fresh register (`created` true); an
    // unreadable or corrupt one gives false with `error` and is left as it is.
    bool load(RegisterState &state, bool &created, QString &error) const;
    // Written to a temporary file and renamed over the old one.
    bool save(const RegisterState &state, QString &error) const;

    void appendTape(const QStringList &lines) const;
    void appendCall(const QString &line) const;
    // One line per load: "calls=N busy_us=T", the time spent in its calls.
    void appendTiming(int calls, qint64 busyNs) const;
    // The text of the faults file, empty when there is none.
    QString faultsText() const;
    // Takes the first line reading `fault` (blanks aside) out of the faults
    // file.
    bool removeFault(const QString &fault) const;

private:
    bool ensureDirectory() const;
    void append(const QString &name, const QByteArray &bytes) const;

    QString m_directory;
};

#endif
