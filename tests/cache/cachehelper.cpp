// Drives the check cache in a process of its own, for tests that kill the
// process or run it under another user.
//
//   cachehelper ROOT init          start-up check; exit status 0 when usable
//   cachehelper ROOT store COUNT   stores COUNT sessions, printing "stored N"
//                                  after each, then "done", then waits for
//                                  standard input to close
#include "tillgatecashe.h"
#include "tillgatecashedbinitializer.h"
#include "tillgateconfig.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout);
    if (args.size() < 3) {
        out << "usage: cachehelper ROOT init | cachehelper ROOT store COUNT" << Qt::endl;
        return 2;
    }
    qt5ext::FileConfigHelper::setFileSystemRoot(args.at(1));
    qt5ext::InitConfig::setAppWorkDir(QStringLiteral("zelvotillgate"));

    const bool initialized = TillgateCasheDbInitializer::initializeDatabase();
    out << (initialized ? "initialized" : "not initialized") << Qt::endl;
    if (args.at(2) == QLatin1String("init"))
        return initialized ? 0 : 1;

    const int count = args.value(3).toInt();
    for (int i = 0; i < count; ++i) {
        const QString id = QStringLiteral("crash-%1").arg(i);
        TillgateCashe cache;
        if (!cache.storeIncomingCheckData(id, {{"sessionId", id}, {"n", i}})
                || !cache.storeOutgoingCheckData(id, {{"answer", id}, {"n", i}})) {
            out << "failed " << i << Qt::endl;
            return 1;
        }
        out << "stored " << i << Qt::endl;
    }
    out << "done" << Qt::endl;
    QFile in;
    if (in.open(stdin, QIODevice::ReadOnly))
        in.readAll();
    return 0;
}
