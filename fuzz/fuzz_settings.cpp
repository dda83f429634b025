// The main settings file as the service reads it: the input is written as
// tillgate.conf under a private root and every setting is read, the ATOL
// connection settings with their serial port included. Values Qt would
// decode as serialized data must be refused before Qt sees them.
#include "fuzzsupport.h"
#include "tillgateconfig.h"

#include <fileconfighelper.h>
#include <iniguard.h>
#include <initconfig.h>

#include <QDir>
#include <QFile>
#include <QSettings>

#include <algorithm>

// What Qt makes of a value that is not serialized data: text, a list of
// texts, bytes, or a rectangle, size or point written as numbers. Invalid
// stands for a key Qt lists but cannot look up again.
static bool isPlainText(const QVariant &value)
{
    switch (value.type()) {
    case QVariant::Invalid:
    case QVariant::String:
    case QVariant::StringList:
    case QVariant::ByteArray:
    case QVariant::Rect:
    case QVariant::Size:
    case QVariant::Point:
        return true;
    case QVariant::List: {
        const QVariantList items = value.toList();
        return std::all_of(items.cbegin(), items.cend(), isPlainText);
    }
    default:
        return false;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::setUp();
    static const QString file = [] {
        qt5ext::FileConfigHelper::setFileSystemRoot(fuzzsupport::scratchDir());
        qt5ext::InitConfig::setAppWorkDir(QStringLiteral("zelvotillgate"));
        const QString etc = fuzzsupport::scratchDir() + QStringLiteral("/opt/zelvotillgate/etc");
        QDir().mkpath(etc);
        return etc + QStringLiteral("/tillgate.conf");
    }();
    {
        // A new file each time: the settings are read again only when the
        // file's identity, size or time changed.
        QFile::remove(file);
        QFile settings(file);
        if (!settings.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        settings.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    const TillgateConfig config;
    config.currentDevice();
    config.allowedOrigins();
    config.appBusHost();
    config.busMsgPort();
    config.busQueryPort();
    config.discoveryAddress();
    config.combineCashierName();
    config.combineCashierInn();
    const AtolFrConfig atol = config.atolconfig();
    atol.toMap();
    // A file the guard lets through must not hold anything Qt decodes as
    // serialized data: read it as Qt does and look at what came out.
    if (qt5ext::IniGuard::serializedValueLine(fuzzsupport::bytes(data, size)) == 0) {
        QSettings settings(file, QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        const QStringList keys = settings.allKeys();
        for (const QString &key : keys) {
            if (!isPlainText(settings.value(key)))
                __builtin_trap();
        }
    }
    return 0;
}
