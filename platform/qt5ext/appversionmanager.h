#ifndef QT5EXT_APPVERSIONMANAGER_H
#define QT5EXT_APPVERSIONMANAGER_H

#include "appversion.h"

#include <QStringList>

namespace qt5ext {

// Process-wide register of component versions and of the translation
// catalogues to load once the application object exists.
class AppVersionManager
{
public:
    static void addVersion(const QString &name, const AppVersion &version);
    static AppVersion version(const QString &name);
    static QStringList names();

    static void addLocalisation(const QString &name);
    static QStringList localisations();
    // Loads "<name>_<locale>.qm" of every registered catalogue found in the
    // directory into the application; returns how many were loaded.
    static int installTranslations(const QString &directory, const QLocale &locale);

    // Writes "<name>.version" files with the version records into the
    // directory, for tools that inspect an installation.
    static bool writeVersionFiles(const QString &directory);
};

} // namespace qt5ext

#endif
