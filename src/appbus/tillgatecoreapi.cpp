#include "tillgatecoreapi.h"

#include "tillgateconfig.h"

#include <bbcodeparser.h>
#include <documentblock.h>
#include <printservicesettings.h>
#include <textprinterdocument.h>

#include <QCoreApplication>

namespace {

QString timeoutText()
{
    return QCoreApplication::translate("TillgateCoreApi", "Таймаут ожидания ответа от сервиса");
}

} // namespace

const QString TillgateCoreApi::CASHBOXCORE_BUS_CLIENT = QStringLiteral("cashboxcore");

TillgateCoreApi::TillgateCoreApi(const QString &busName, QObject *parent)
    : core::FrcoreExternalApi(busName, parent)
{
}

TillgateCoreApi::TillgateCoreApi(QObject *parent)
    : TillgateCoreApi(TillgateConfig::TILLGATE_BUSNAME, parent)
{
}

TillgateCoreApi::~TillgateCoreApi() = default;

const QSet<QChar> &TillgateCoreApi::DELIMS()
{
    static const QSet<QChar> delims{ QLatin1Char(' '), QLatin1Char('\t'), QLatin1Char('-'),
                                     QLatin1Char('_'), QLatin1Char('*'), QLatin1Char('.') };
    return delims;
}

bool TillgateCoreApi::sendToCore(const QString &name, const QVariantMap &params, bus::AppBusCommand &answer)
{
    bus::AppBusCommand command;
    command.setName(name);
    command.setParams(params);
    command.setDt(QDateTime::currentDateTime());
    command.setNeedAnswer(true);
    command.setReciever(CASHBOXCORE_BUS_CLIENT);
    command.setSender(busName());
    command.setUid(bus::AppBusCommand::genUid());
    command.setIsLogged(true);
    return sendSyncCommand(command, answer, COMMAND_TIMEOUT_MS);
}

QVariantMap TillgateCoreApi::getOnlineCashiersNames()
{
    bus::AppBusCommand answer;
    if (!sendToCore(QStringLiteral("getOnlineCashiers"), QVariantMap(), answer))
        return QVariantMap();
    return answer.params();
}

bool TillgateCoreApi::reloadSettingsFromServer()
{
    bus::AppBusCommand answer;
    return sendToCore(QStringLiteral("reloadSettingsFromServer"), QVariantMap(), answer);
}

bool TillgateCoreApi::cashboxIsRegistered(bool &timedOut, QString &errorText)
{
    bus::AppBusCommand answer;
    timedOut = false;
    if (!sendToCore(QStringLiteral("checkRegistration"), QVariantMap(), answer)) {
        timedOut = true;
        errorText = timeoutText();
        return false;
    }
    return answer.params().value(QStringLiteral("isRegistered")).toBool();
}

bool TillgateCoreApi::getLoginOnline(const QString &login, const QString &password, core::Cashier &cashier,
                                     QVariant &clientId, QString &errorText)
{
    const QVariantMap params{ { QStringLiteral("login"), login },
                              { QStringLiteral("password"), password },
                              { QStringLiteral("clientId"), clientId } };
    bus::AppBusCommand answer;
    if (!sendToCore(QStringLiteral("getLoginCoreOnline"), params, answer)) {
        errorText = timeoutText();
        return false;
    }
    const QVariantMap result = answer.params();
    if (result.contains(QStringLiteral("error"))) {
        errorText = result.value(QStringLiteral("error")).toString();
        return false;
    }
    cashier.setMap(result.value(QStringLiteral("cashier")).toMap());
    clientId = result.value(QStringLiteral("clientId"));
    return true;
}

QMap<QString, core::OfdSettings> TillgateCoreApi::getDownloadedOfd()
{
    QMap<QString, core::OfdSettings> ofds;
    bus::AppBusCommand answer;
    if (!sendToCore(QStringLiteral("getDownloadedOfd"), QVariantMap(), answer))
        return ofds;
    const QVariantList list = answer.params().value(QStringLiteral("ofds")).toList();
    for (const QVariant &entry : list) {
        const core::OfdSettings ofd(entry.toMap());
        ofds.insert(ofd.inn(), ofd);
    }
    return ofds;
}

QStringList TillgateCoreApi::plainTextLines(QString text, int width)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    const QSet<QChar> &delims = DELIMS();
    for (QString &line : lines) {
        if (line.size() <= width)
            continue;
        const bool onlyDelims = std::all_of(line.cbegin(), line.cend(), [&delims](QChar c) { return delims.contains(c); });
        if (onlyDelims) {
            line.truncate(width);
            continue;
        }
        const QString doubleSpace(2, QLatin1Char(' '));
        while (line.size() > width && line.contains(doubleSpace))
            line.replace(doubleSpace, QStringLiteral(" "));
    }
    return lines;
}

bool TillgateCoreApi::printPlainText(QString text, QString &errorText, int &error)
{
    core::FrPrinterSettings settings;
    getPrinterSettings(settings);
    const int width = settings.symbolsPerLine();
    frprint::TextPrinterDocument document;
    document.appendBlock(frprint::DocumentBlock::createSimpleBlock(plainTextLines(std::move(text), width), 3,
                                                                  settings.baseFont(), 0, 0, width));
    document.setCurrentTicketAction(5);
    document.setDoInit(false);
    document.setLoopPolicy(0);
    document.setPreviousTicketAction(4);
    return sendToPrinter(document.toMap(), errorText, error);
}

bool TillgateCoreApi::printBbcode(const QString &text, QString &errorText, int &error)
{
    core::FrPrinterSettings settings;
    getPrinterSettings(settings);
    frprint::BbCodeParser parser(this);
    parser.setImagesPath(TillgateConfig().tillgateImages());
    parser.setSymbolsPerLine(quint8(qMax(settings.symbolsPerLine(), 24)));
    parser.parseText(text);
    return sendToPrinter(parser.document().toMap(), errorText, error);
}

bool TillgateCoreApi::sendToPrinter(const QVariantMap &document, QString &errorText, int &error)
{
    bus::AppBusCommand command;
    command.setName(QStringLiteral("print"));
    command.setParams(document);
    command.setDt(QDateTime::currentDateTime());
    command.setReciever(frprint::PrintServiceSettings::SERVICE_BUSNAME);
    command.setSender(busName());
    command.setUid(bus::AppBusCommand::genUid());
    bus::AppBusCommand answer;
    if (!sendSyncCommand(command, answer, COMMAND_TIMEOUT_MS)) {
        error = ERROR_TIMEOUT;
        errorText = timeoutText();
        return false;
    }
    const QVariantMap result = answer.params();
    const QVariant code = result.value(QStringLiteral("error"), 0);
    bool isNumber = false;
    error = code.toInt(&isNumber);
    if (!isNumber) {
        error = -1;
        errorText = code.toString();
    } else if (error != 0) {
        errorText = result.value(QStringLiteral("errorText")).toString();
    }
    return error == 0;
}
