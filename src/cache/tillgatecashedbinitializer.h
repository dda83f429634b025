#ifndef TILLGATECASHEDBINITIALIZER_H
#define TILLGATECASHEDBINITIALIZER_H

#include <QObject>
#include <QString>

class QSqlDatabase;

// Creates, checks and upgrades the check cache database from the SQL
// scripts compiled into the program. A script is a list of statements
// separated by ";;", applied in one transaction.
class TillgateCasheDbInitializer : public QObject
{
    Q_OBJECT
public:
    explicit TillgateCasheDbInitializer(QObject *parent = nullptr);

    // Makes sure a usable cache file exists: one that is missing, cannot be
    // read, has another schema version, fails the integrity check or cannot
    // be written is replaced by a fresh database. False when that failed;
    // the service goes on without a cache then. Runs on the calling thread
    // and closes its connection again before returning.
    static bool initializeDatabase();

    bool createDatabase(QSqlDatabase *db, const QString &scriptPath);
    // Applies ":/sql/md_<version>.sql".
    bool updateDatabase(QSqlDatabase *db, int version);
    bool applyScript(QSqlDatabase *db, const QString &script);
    // The file's text; empty (and logged) when it cannot be read.
    QString getScript(QString path);

    static const QString CREATE_SCRIPT;

private:
    static bool isUsable();
    static bool removeCacheFiles();
    bool checkOpen(QSqlDatabase *db, const QString &script);
    void setForeignKeys(QSqlDatabase *db, bool on);
};

#endif
