#include "appversionmanager.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QLocale>
#include <QMap>
#include <QMutex>
#include <QTranslator>

namespace qt5ext {

namespace {
QMutex registryMutex;
QMap<QString, AppVersion> versions;
QStringList catalogues;
}

void AppVersionManager::addVersion(const QString &name, const AppVersion &version)
{
    QMutexLocker lock(&registryMutex);
    versions.insert(name, version);
}

AppVersion AppVersionManager::version(const QString &name)
{
    QMutexLocker lock(&registryMutex);
    return versions.value(name);
}

QStringList AppVersionManager::names()
{
    QMutexLocker lock(&registryMutex);
    return versions.keys();
}

void AppVersionManager::addLocalisation(const QString &name)
{
    QMutexLocker lock(&registryMutex);
    if (!catalogues.contains(name))
        catalogues.append(name);
}

QStringList AppVersionManager::localisations()
{
    QMutexLocker lock(&registryMutex);
    return catalogues;
}

int AppVersionManager::installTranslations(const QString &directory, const QLocale &locale)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return 0;
    int loaded = 0;
    for (const QString &name : localisations()) {
        auto *translator = new QTranslator(app);
        if (translator->load(locale, name, QStringLiteral("_"), directory)) {
            QCoreApplication::installTranslator(translator);
            ++loaded;
        } else {
            delete translator;
        }
    }
    return loaded;
}

bool AppVersionManager::writeVersionFiles(const QString &directory)
{
    QMap<QString, AppVersion> copy;
    {
        QMutexLocker lock(&registryMutex);
        copy = versions;
    }
    bool ok = true;
    for (auto it = copy.cbegin(); it != copy.cend(); ++it) {
        QFile file(directory + QLatin1Char('/') + it.key() + QStringLiteral(".version"));
        ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                && file.write(QJsonDocument::fromVariant(it.value().toMap()).toJson()) > 0
                && ok;
    }
    return ok;
}

} // namespace qt5ext
