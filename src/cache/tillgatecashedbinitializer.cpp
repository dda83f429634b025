#include "tillgatecashedbinitializer.h"

#include "tillgatecashe.h"
#include "tillgatecashe_p.h"
#include "tillgateconfig.h"

#include <logutils.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

const QString TillgateCasheDbInitializer::CREATE_SCRIPT = QStringLiteral(":/sql/tillgate.cache.sql");

namespace {
// Parts shorter than this between two separators hold only white space or
// the third semicolon of ";;;".
const int MIN_STATEMENT_LENGTH = 7;
}

TillgateCasheDbInitializer::TillgateCasheDbInitializer(QObject *parent)
    : QObject(parent)
{
    // The scripts live in the cache's static library, whose resource
    // object the linker would otherwise leave out.
    Q_INIT_RESOURCE(cache);
    const auto thread = reinterpret_cast<quintptr>(QThread::currentThreadId());
    setObjectName(QStringLiteral("TillgateCasheDbInitializer-") + QString::number(thread, 16));
}

bool TillgateCasheDbInitializer::initializeDatabase()
{
    const QString fileName = TillgateConfig().tillgateCacheFile();
    if (QFileInfo::exists(fileName) && isUsable())
        return true;
    if (!removeCacheFiles())
        return false;

    TillgateCashe cache;
    TillgateCasheDbInitializer initializer;
    // A new file is made at the first version and brought up to date at
    // once, by the same steps an existing file of an older version takes.
    bool created = initializer.createDatabase(&cache.db(), CREATE_SCRIPT);
    if (created) {
        int version = 0;
        QString errorText;
        created = cache.checkVersion(version, errorText, true) == 0;
        if (!created)
            qCCritical(lcCache).noquote() << errorText;
    }
    cache.release();
    return created;
}

bool TillgateCasheDbInitializer::isUsable()
{
    TillgateCashe cache;
    bool usable = cache.isOpen();
    if (usable) {
        int version = 0;
        QString errorText;
        usable = cache.checkVersion(version, errorText, true) == 0;
        if (!usable)
            qCWarning(lcCache).noquote() << errorText;
    }
    if (usable) {
        // Rows other than "ok" name the damage: such a file is replaced, as
        // writes into it would fail or spread the corruption.
        QSqlQuery check(cache.db());
        usable = check.exec(QStringLiteral("pragma integrity_check;"));
        if (!usable) {
            qCWarning(lcCache).noquote() << check.lastError().text();
        } else if (check.next()) {
            const QString result = check.value(0).toString();
            qCWarning(lcCache).noquote() << result;
            usable = result == QLatin1String("ok");
        }
    }
    if (usable) {
        // A file SQLite could open for reading only passes every check
        // above, but no receipt could be stored in it: write a page and
        // take the write back.
        QSqlQuery probe(cache.db());
        usable = cache.db().transaction()
                && probe.exec(QStringLiteral("update metadata set metadataVersion = metadataVersion"));
        if (!usable)
            qCWarning(lcCache).noquote() << "The cache database cannot be written:" << probe.lastError().text();
        probe.finish();
        cache.db().rollback();
    }
    cache.release();
    return usable;
}

bool TillgateCasheDbInitializer::removeCacheFiles()
{
    const QFileInfo cacheFile(TillgateConfig().tillgateCacheFile());
    QDir dir = cacheFile.absoluteDir();
    const QStringList names = dir.entryList({cacheFile.fileName() + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    bool removed = true;
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        if (!file.remove()) {
            qCCritical(lcCache).noquote() << "Cannot remove the cache file" << file.fileName() << file.errorString();
            removed = false;
        }
    }
    return removed;
}

bool TillgateCasheDbInitializer::checkOpen(QSqlDatabase *db, const QString &script)
{
    if (!script.isEmpty() && (db->isOpen() || db->open()))
        return true;
    const QString error = db->lastError().text();
    qCCritical(lcCache).noquote() << (error.trimmed().isEmpty() ? QStringLiteral("Db script is empty!") : error);
    return false;
}

bool TillgateCasheDbInitializer::createDatabase(QSqlDatabase *db, const QString &scriptPath)
{
    const QString script = getScript(scriptPath);
    if (!checkOpen(db, script))
        return false;
    QSqlQuery journal(*db);
    if (!journal.exec(QStringLiteral("PRAGMA journal_mode = \"WAL\"")))
        qCWarning(lcCache).noquote() << journal.lastError().text() << journal.lastQuery();
    // The statement answers with a row; a statement left running would
    // keep the script's transaction from committing.
    journal.finish();
    return applyScript(db, script);
}

bool TillgateCasheDbInitializer::updateDatabase(QSqlDatabase *db, int version)
{
    const QString script = getScript(QStringLiteral(":/sql/md_%1.sql").arg(version));
    if (!checkOpen(db, script))
        return false;
    return applyScript(db, script);
}

void TillgateCasheDbInitializer::setForeignKeys(QSqlDatabase *db, bool on)
{
    QSqlQuery pragma(*db);
    const QString statement = QStringLiteral("PRAGMA foreign_keys = %1")
            .arg(on ? QStringLiteral("on") : QStringLiteral("off"));
    if (!pragma.exec(statement))
        qCCritical(lcCache).noquote() << pragma.lastError().text() << statement;
}

bool TillgateCasheDbInitializer::applyScript(QSqlDatabase *db, const QString &script)
{
    // Foreign keys cannot be switched inside a transaction, and tables of a
    // script may refer to each other in any order.
    setForeignKeys(db, false);
    const bool begun = db->transaction();
    bool ok = begun;
    const QStringList parts = script.split(QStringLiteral(";;"), Qt::KeepEmptyParts);
    for (const QString &part : parts) {
        if (!ok)
            break;
        if (part.size() < MIN_STATEMENT_LENGTH || part.trimmed().isEmpty())
            continue;
        QSqlQuery query(*db);
        if (!query.exec(part)) {
            qCWarning(lcCache).noquote()
                    << qt5ext::loglist(QString(part).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                       .split(QLatin1Char('\n')));
            qCCritical(lcCache).noquote() << query.lastError().text();
            ok = false;
        }
    }
    if (ok && db->commit()) {
        setForeignKeys(db, true);
        return true;
    }
    qCCritical(lcCache).noquote() << db->lastError().text();
    if (begun)
        db->rollback();
    setForeignKeys(db, true);
    return false;
}

QString TillgateCasheDbInitializer::getScript(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCCritical(lcCache).noquote() << tr("Can not open file %1 (%2)").arg(path, file.errorString());
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}
