#include "simoptions.h"

#include <QCommandLineParser>
#include <QHostAddress>

namespace {

bool readPort(const QString &text, quint16 &port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535)
        return false;
    port = quint16(value);
    return true;
}

} // namespace

bool SimOptions::parse(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "One cashbox's end of the application bus: the fiscal core \"cashboxcore\" and the print service."));
    parser.addHelpOption();
    const QCommandLineOption msgPortOption(QStringLiteral("msg-port"),
                                           QStringLiteral("Message port (0: a free one)."), QStringLiteral("N"),
                                           QStringLiteral("0"));
    const QCommandLineOption queryPortOption(QStringLiteral("query-port"),
                                             QStringLiteral("Query port (0: a free one)."), QStringLiteral("M"),
                                             QStringLiteral("0"));
    const QCommandLineOption cashiersOption(QStringLiteral("cashiers"),
                                            QStringLiteral("JSON file with the cashiers: { \"cashiers\": [ "
                                                           "{ \"name\", \"password\", \"inn\" } ] }."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption unregisteredOption(QStringLiteral("unregistered"),
                                                QStringLiteral("The cashbox is not registered yet."));
    const QCommandLineOption delayOption(QStringLiteral("delay-ms"),
                                         QStringLiteral("Answer every command after this delay."),
                                         QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption silentOption(QStringLiteral("silent"), QStringLiteral("Never answer this command."),
                                          QStringLiteral("NAME"));
    const QCommandLineOption loseAnswerOption(
        QStringLiteral("lose-answer"),
        QStringLiteral("Carry out the first command of this name but never answer it (nor push its answer)."),
        QStringLiteral("NAME"));
    const QCommandLineOption dropOption(QStringLiteral("drop"),
                                        QStringLiteral("Ignore the first command of this name: not carried out, "
                                                       "not answered; later ones are answered."),
                                        QStringLiteral("NAME"));
    const QCommandLineOption failOption(QStringLiteral("fail"),
                                        QStringLiteral("Refuse this command with the error code."),
                                        QStringLiteral("NAME=CODE"));
    const QCommandLineOption noPushOption(QStringLiteral("no-answer-push"),
                                          QStringLiteral("Never push \"frcoreCmdAnswer\" (a lost message link)."));
    const QCommandLineOption listenOption(QStringLiteral("listen"),
                                          QStringLiteral("Address the bus ports listen on (default 127.0.0.1)."),
                                          QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption tapeOption(QStringLiteral("tape"),
                                        QStringLiteral("Append everything printed to this file."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption shiftOption(QStringLiteral("shift-open-hours"),
                                         QStringLiteral("A shift is open, opened this many hours ago."),
                                         QStringLiteral("H"), QStringLiteral("-1"));
    const QCommandLineOption unsentOption(QStringLiteral("unsent"),
                                          QStringLiteral("Documents not yet sent to the fiscal data operator, "
                                                         "the oldest DAYS old."),
                                          QStringLiteral("N,DAYS"), QStringLiteral("0,0"));
    const QCommandLineOption expiryOption(QStringLiteral("fs-expiry-days"),
                                          QStringLiteral("The fiscal storage expires in this many days."),
                                          QStringLiteral("D"), QStringLiteral("-1"));
    parser.addOptions({ msgPortOption, queryPortOption, cashiersOption, unregisteredOption, delayOption,
                        silentOption, loseAnswerOption, dropOption, failOption, tapeOption, noPushOption,
                        listenOption, shiftOption, unsentOption, expiryOption });
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        error = parser.helpText();
        return false;
    }
    if (!readPort(parser.value(msgPortOption), msgPort) || !readPort(parser.value(queryPortOption), queryPort)) {
        error = QStringLiteral("ports are numbers from 0 to 65535");
        return false;
    }
    bool ok = false;
    delayMs = parser.value(delayOption).toInt(&ok);
    if (!ok || delayMs < 0) {
        error = QStringLiteral("--delay-ms takes a number of milliseconds");
        return false;
    }
    cashiersFile = parser.value(cashiersOption);
    tapeFile = parser.value(tapeOption);
    unregistered = parser.isSet(unregisteredOption);
    noAnswerPush = parser.isSet(noPushOption);
    listenAddress = parser.value(listenOption);
    if (QHostAddress(listenAddress).isNull()) {
        error = QStringLiteral("--listen takes an IP address, not \"%1\"").arg(listenAddress);
        return false;
    }
    shiftOpenHours = parser.value(shiftOption).toDouble(&ok);
    bool expiryOk = false;
    fsExpiryDays = parser.value(expiryOption).toInt(&expiryOk);
    const QStringList unsent = parser.value(unsentOption).split(QLatin1Char(','));
    bool countOk = false;
    bool daysOk = false;
    unsentDocuments = unsent.value(0).toInt(&countOk);
    oldestUnsentDays = unsent.value(1).toInt(&daysOk);
    if (!ok || !expiryOk || !countOk || !daysOk || unsent.size() != 2 || unsentDocuments < 0
        || unsentDocuments > 65535) {
        error = QStringLiteral("--shift-open-hours, --unsent N,DAYS and --fs-expiry-days take numbers");
        return false;
    }
    for (const QString &name : parser.values(silentOption))
        silent.insert(name);
    for (const QString &name : parser.values(loseAnswerOption))
        loseAnswer.insert(name);
    for (const QString &name : parser.values(dropOption))
        drop.insert(name);
    for (const QString &entry : parser.values(failOption)) {
        const int eq = entry.indexOf(QLatin1Char('='));
        const int code = eq > 0 ? entry.mid(eq + 1).toInt(&ok) : 0;
        if (eq <= 0 || !ok || code == 0) {
            error = QStringLiteral("--fail takes NAME=CODE with a non-zero code, not \"%1\"").arg(entry);
            return false;
        }
        fail.insert(entry.left(eq), code);
    }
    return true;
}
