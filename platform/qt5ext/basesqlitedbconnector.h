#ifndef QT5EXT_BASESQLITEDBCONNECTOR_H
#define QT5EXT_BASESQLITEDBCONNECTOR_H

#include <QObject>
#include <QSqlDatabase>
#include <QThreadStorage>

namespace qt5ext {

// Base of a program's SQLite stores.
//
// SQLite connections must not be shared between threads, so every thread
// gets a connection of its own per name prefix and mode: the first connector
// made on a thread opens it, later ones on the same thread reuse it, and it
// is closed and removed when the thread ends. Connector objects are cheap,
// meant to live on the stack for a few operations, and are used on the
// thread that made them.
//
// Read-write connections run with synchronous = FULL, so a transaction that
// committed is on disk and survives a crash of the process or the machine.
//
// The per-thread flag storage given to the constructor records that the
// thread's connection is open; a subclass keeps one storage per mode.
class BaseSqliteDbConnector : public QObject
{
    Q_OBJECT
public:
    enum ConnectionMode {
        ReadOnly = 0,
        ReadWrite = 1,
    };
    Q_ENUM(ConnectionMode)

    // What the stored schema version means to the program. checkVersion()
    // returns the state as an integer, so MetadataActual is 0.
    enum EMetadataState {
        MetadataActual = 0,
        MetadataOutdated,
        MetadataNewer,
        MetadataUnreadable,
        MetadataNotOpen,
        MetadataUnknown,
    };
    Q_ENUM(EMetadataState)

    BaseSqliteDbConnector(const QString &namePrefix, ConnectionMode mode,
                          QThreadStorage<int> *openedFlag, QObject *parent = nullptr);
    ~BaseSqliteDbConnector() override;

    ConnectionMode mode() const { return m_mode; }
    bool isOpen() const { return m_db.isOpen(); }

    // The calling thread's connection (invalid before init()).
    virtual QSqlDatabase &db();
    virtual const QSqlDatabase &db() const;
    // Closes and removes every connection of this name prefix that the
    // calling thread holds, in both modes.
    virtual void clearAllConnections();
    virtual bool vacuum();
    // 0 when the stored schema version is usable, else the EMetadataState
    // that makes it unusable, explained in errorText. With upgrade, an older
    // schema is brought up to actualMetadataVersion() first.
    virtual int checkVersion(int &version, QString &errorText, bool upgrade);
    virtual int checkVersion(int &version, QString &errorText);
    // Opens the calling thread's connection on databaseFileName(), creating
    // the file, and upgrades a read-write database holding an older schema;
    // a database without any table yet is left alone for its creator.
    // False when the connection cannot be opened.
    virtual bool init();
    // Closes and removes the calling thread's connection of this connector.
    virtual void release();
    // Called after a connection has been opened; attaches further databases.
    virtual bool attacheDatabases();
    virtual QString databaseFileName() const = 0;
    virtual QString connectionName() const = 0;
    virtual QString driver() const;
    virtual QString host() const;
    virtual int port() const;
    virtual QString user() const;
    virtual QString password() const;
    // Reads the stored schema version; state may be left alone, it is then
    // derived from the version.
    virtual bool getMetaData(int &version, EMetadataState &state) = 0;
    virtual int actualMetadataVersion() const = 0;
    // Upgrades a schema of currentVersion to actualMetadataVersion().
    virtual bool updateDatabase(int currentVersion) = 0;
    // True when a database in this state may be used; else errorText says why.
    virtual bool processMetadataState(EMetadataState state, QString &errorText);

    // Closes every connection the calling thread opened, as its end would.
    // No connector of this thread may be in use.
    static void closeThreadConnections();

protected:
    // The per-thread connection name for a prefix and mode, used as the
    // object name, which subclasses return from connectionName().
    static QString threadConnectionName(const QString &prefix, ConnectionMode mode);

private:
    EMetadataState readMetadataState(int &version);
    bool openConnection(const QString &name);
    bool hasTables();

    QString m_prefix;
    ConnectionMode m_mode;
    QThreadStorage<int> *m_openedFlag;
    QSqlDatabase m_db;
};

} // namespace qt5ext

#endif
