// The main settings file as the service reads it: the input is written as
// tillgate.conf under a private root and every setting is read, the ATOL
// connection settings with their serial port included.
#include "fuzzsupport.h"
#include "tillgateconfig.h"

#include <fileconfighelper.h>
#include <initconfig.h>

#include <QDir>
#include <QFile>

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
    // Values written as "@Variant(...)" are QDataStream data that Qt's own
    // INI reader decodes, and a count in them can make Qt ask for any amount
    // of memory and abort. The service never writes such values; that
    // decoding is Qt's, not ours, so this target leaves such files out.
    if (fuzzsupport::bytes(data, size).contains("@Variant("))
        return 0;
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
    return 0;
}
