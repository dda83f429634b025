#include "basesqlitedbconnector.h"

#include <QLoggingCategory>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

Q_LOGGING_CATEGORY(lcSqlite, "qt5ext.sqlite")

namespace qt5ext {

namespace {

// The connections one thread opened. Qt deletes a thread's storage when the
// thread ends (for the main thread: with the application object); removing
// a connection that nothing holds any more deletes its driver, which closes
// the SQLite handle.
class ThreadConnections
{
public:
    ~ThreadConnections()
    {
        for (const QString &name : qAsConst(names))
            QSqlDatabase::removeDatabase(name);
    }

    QSet<QString> names;
};

QThreadStorage<ThreadConnections *> threadConnections;

ThreadConnections *currentThreadConnections()
{
    if (!threadConnections.hasLocalData())
        threadConnections.setLocalData(new ThreadConnections);
    return threadConnections.localData();
}

void forgetConnection(const QString &name)
{
    if (threadConnections.hasLocalData())
        threadConnections.localData()->names.remove(name);
    if (QSqlDatabase::contains(name))
        QSqlDatabase::removeDatabase(name);
}

}

BaseSqliteDbConnector::BaseSqliteDbConnector(const QString &namePrefix, ConnectionMode mode,
                                             QThreadStorage<int> *openedFlag, QObject *parent)
    : QObject(parent)
    , m_prefix(namePrefix)
    , m_mode(mode)
    , m_openedFlag(openedFlag)
{
    setObjectName(threadConnectionName(namePrefix, mode));
}

BaseSqliteDbConnector::~BaseSqliteDbConnector() = default;

QString BaseSqliteDbConnector::threadConnectionName(const QString &prefix, ConnectionMode mode)
{
    const auto thread = reinterpret_cast<quintptr>(QThread::currentThreadId());
    return prefix + QString::number(thread, 16)
            + (mode == ReadOnly ? QStringLiteral("-ro") : QStringLiteral("-rw"));
}

QSqlDatabase &BaseSqliteDbConnector::db()
{
    return m_db;
}

const QSqlDatabase &BaseSqliteDbConnector::db() const
{
    return m_db;
}

void BaseSqliteDbConnector::clearAllConnections()
{
    m_db = QSqlDatabase();
    forgetConnection(threadConnectionName(m_prefix, ReadOnly));
    forgetConnection(threadConnectionName(m_prefix, ReadWrite));
    m_openedFlag->setLocalData(0);
}

void BaseSqliteDbConnector::closeThreadConnections()
{
    if (!threadConnections.hasLocalData())
        return;
    QSet<QString> &names = threadConnections.localData()->names;
    for (const QString &name : qAsConst(names))
        QSqlDatabase::removeDatabase(name);
    names.clear();
}

bool BaseSqliteDbConnector::vacuum()
{
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("VACUUM")))
        return true;
    qCWarning(lcSqlite).noquote() << connectionName() << "VACUUM failed:" << query.lastError().text();
    return false;
}

int BaseSqliteDbConnector::checkVersion(int &version, QString &errorText, bool upgrade)
{
    EMetadataState state = readMetadataState(version);
    if (state == MetadataOutdated && upgrade && m_mode == ReadWrite) {
        const int from = version;
        if (!updateDatabase(from)) {
            errorText = tr("Upgrading the database %1 from version %2 to %3 failed")
                    .arg(databaseFileName()).arg(from).arg(actualMetadataVersion());
            return MetadataOutdated;
        }
        state = readMetadataState(version);
    }
    return processMetadataState(state, errorText) ? MetadataActual : state;
}

int BaseSqliteDbConnector::checkVersion(int &version, QString &errorText)
{
    return checkVersion(version, errorText, false);
}

bool BaseSqliteDbConnector::init()
{
    const QString name = connectionName();
    if (m_openedFlag->hasLocalData() && m_openedFlag->localData() && QSqlDatabase::contains(name)) {
        m_db = QSqlDatabase::database(name, false);
        if (m_db.isOpen())
            return true;
    }
    if (!openConnection(name))
        return false;
    if (m_mode == ReadWrite && hasTables()) {
        int version = 0;
        QString errorText;
        if (checkVersion(version, errorText, true) != MetadataActual)
            qCWarning(lcSqlite).noquote() << name << errorText;
    }
    return true;
}

bool BaseSqliteDbConnector::openConnection(const QString &name)
{
    // A connection of this name that this thread does not know of was left
    // by an ended thread whose identifier the system handed out again.
    m_db = QSqlDatabase();
    forgetConnection(name);

    QSqlDatabase db = QSqlDatabase::addDatabase(driver(), name);
    db.setDatabaseName(databaseFileName());
    db.setHostName(host());
    db.setPort(port());
    db.setUserName(user());
    db.setPassword(password());
    if (m_mode == ReadOnly)
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
        qCCritical(lcSqlite).noquote() << "Cannot open database" << db.databaseName() << db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        return false;
    }
    if (m_mode == ReadWrite) {
        QSqlQuery pragma(db);
        if (!pragma.exec(QStringLiteral("PRAGMA synchronous = FULL")))
            qCWarning(lcSqlite).noquote() << name << "synchronous = FULL refused:" << pragma.lastError().text();
    }
    m_db = db;
    currentThreadConnections()->names.insert(name);
    m_openedFlag->setLocalData(1);
    if (!attacheDatabases())
        qCWarning(lcSqlite).noquote() << name << "attaching further databases failed";
    return true;
}

bool BaseSqliteDbConnector::hasTables()
{
    QSqlQuery query(m_db);
    return query.exec(QStringLiteral("select count(*) from sqlite_master where type = 'table'"))
            && query.next() && query.value(0).toInt() > 0;
}

void BaseSqliteDbConnector::release()
{
    m_db = QSqlDatabase();
    forgetConnection(connectionName());
    m_openedFlag->setLocalData(0);
}

bool BaseSqliteDbConnector::attacheDatabases()
{
    return true;
}

QString BaseSqliteDbConnector::driver() const
{
    return QStringLiteral("QSQLITE");
}

QString BaseSqliteDbConnector::host() const
{
    return QString();
}

int BaseSqliteDbConnector::port() const
{
    return -1;
}

QString BaseSqliteDbConnector::user() const
{
    return QString();
}

QString BaseSqliteDbConnector::password() const
{
    return QString();
}

BaseSqliteDbConnector::EMetadataState BaseSqliteDbConnector::readMetadataState(int &version)
{
    version = 0;
    if (!m_db.isOpen())
        return MetadataNotOpen;
    EMetadataState state = MetadataUnknown;
    if (!getMetaData(version, state))
        return MetadataUnreadable;
    if (state != MetadataUnknown)
        return state;
    const int actual = actualMetadataVersion();
    if (version == actual)
        return MetadataActual;
    return version < actual ? MetadataOutdated : MetadataNewer;
}

bool BaseSqliteDbConnector::processMetadataState(EMetadataState state, QString &errorText)
{
    const QString file = databaseFileName();
    switch (state) {
    case MetadataActual:
        return true;
    case MetadataOutdated:
        errorText = tr("The database %1 has an older schema than version %2").arg(file).arg(actualMetadataVersion());
        break;
    case MetadataNewer:
        errorText = tr("The database %1 has a newer schema than version %2").arg(file).arg(actualMetadataVersion());
        break;
    case MetadataUnreadable:
        errorText = tr("The schema version of the database %1 cannot be read").arg(file);
        break;
    case MetadataNotOpen:
        errorText = tr("The database %1 is not open").arg(file);
        break;
    case MetadataUnknown:
        errorText = tr("The schema of the database %1 is unknown").arg(file);
        break;
    }
    return false;
}

} // namespace qt5ext
