#include "simcashbox.h"

#include "simbusserver.h"

#include <frcoreexternalapi.h>
#include <frprintersettings.h>
#include <ofdsettings.h>
#include <printservicesettings.h>
#include <textprinterdocument.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QTimer>
#include <QtEndian>

Q_LOGGING_CATEGORY(lcSim, "cashboxsim")

namespace {

constexpr int SymbolsPerLine = 48;

// Error codes of the simulated fiscal core.
enum SimError {
    ErrorShiftClosed = 0x16,
    ErrorShiftOpen = 0x17,
    ErrorNotRegistered = 0x02,
    ErrorAlreadyRegistered = 0x03,
    ErrorNoDocument = 0x08,
    ErrorNoCash = 0x20,
    ErrorBadData = 0x0C,
    ErrorFsClosed = 0x04,
};

const QString KeyCashier = QStringLiteral("cashier");

QString money(qint64 kopecks)
{
    return QStringLiteral("%1.%2").arg(kopecks / 100).arg(qAbs(kopecks % 100), 2, 10, QLatin1Char('0'));
}

// The property with the tag in a "fiscprops" list, searched depth first.
QVariant findTag(const QVariantList &props, int tag)
{
    for (const QVariant &entry : props) {
        const QVariantMap prop = entry.toMap();
        if (prop.value(QStringLiteral("tag")).toInt() == tag)
            return prop.value(QStringLiteral("value"));
        const QVariant inner = findTag(prop.value(QStringLiteral("fiscprops")).toList(), tag);
        if (inner.isValid())
            return inner;
    }
    return QVariant();
}

// What an item costs in kopecks: its own cost when given, else price times
// quantity, as a register computes it.
qint64 itemCost(const QVariantList &item)
{
    const QVariant cost = findTag(item, 1043);
    if (cost.isValid())
        return cost.toLongLong();
    const QVariant quantity = findTag(item, 1023);
    const double q = quantity.isValid() ? quantity.toDouble() : 1.0;
    return qRound64(findTag(item, 1079).toDouble() * q);
}

} // namespace

const QString SimCashbox::TILLGATE_BUSNAME = QStringLiteral("tillgate");

SimCashbox::SimCashbox(const SimOptions &options, SimBusServer *server, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_server(server)
{
    server->commandHandler = [this](const bus::AppBusCommand &command, std::function<void(const QVariantMap &)> reply) {
        onCommand(command, reply);
    };
    server->objectProvider = [this](const QString &name, bus::AppBusObject &object) { return objectFor(name, object); };
}

bool SimCashbox::init(QString &error)
{
    if (m_options.cashiersFile.isEmpty()) {
        core::Cashier admin;
        admin.setName(QStringLiteral("Администратор"));
        admin.setPassword(30);
        core::Cashier cashier;
        cashier.setName(QStringLiteral("Кассир"));
        cashier.setPassword(1);
        m_cashiers = { admin, cashier };
    } else {
        QFile file(m_options.cashiersFile);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
            return false;
        }
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
        if (!doc.isObject()) {
            error = QStringLiteral("%1 is not a JSON object: %2").arg(file.fileName(), parseError.errorString());
            return false;
        }
        m_cashiers = core::Cashier::parseCashiers(doc.object().toVariantMap());
    }

    m_registered = !m_options.unregistered;
    m_reg.setModel(31);
    m_reg.setVersion(QStringLiteral("3.1"));
    m_reg.setCashBoxSerial(QStringLiteral("0000000000001234"));
    m_reg.setFsNumber(QStringLiteral("9999078900001234"));
    m_reg.setFdfVersion(4);
    m_reg.setFSfdfVersion(4);
    if (m_registered) {
        m_reg.setRegNumeber(QStringLiteral("0000000001012345"));
        m_reg.setUserInn(QStringLiteral("7700000000"));
        m_reg.setUserName(QStringLiteral("ООО \"Ромашка\""));
        m_reg.setRegDate(QDate::currentDate().addDays(-30));
        m_reg.setRegDocNumber(1);
        m_reg.setTaxes(1);
        m_reg.setCashboxFlags(fiscal::RegData::UseEncryption);
        m_reg.setPaymentAddress(QStringLiteral("г. Москва, ул. Тверская, 1"));
        m_reg.setPaymentPlace(QStringLiteral("Магазин"));
        m_reg.setOfdInn(QStringLiteral("7704211201"));
        m_reg.setOfdName(QStringLiteral("ООО \"Такском\""));
        m_reg.setFnsSite(QStringLiteral("www.nalog.gov.ru"));
        m_lastFd = 1;
    }
    m_fs.setFsNumber(m_reg.fsNumber());
    m_fs.setFsVersion(QStringLiteral("fn debug v 2.13"));
    m_status.setModelName(QStringLiteral("Острак-Ф"));
    m_status.setCashboxNumber(1);
    const QDateTime now = QDateTime::currentDateTime();
    if (m_options.shiftOpenHours >= 0) {
        m_shiftOpen = true;
        m_status.setCycleNumber(1);
        m_status.setCycleOpened(now.addSecs(-qint64(m_options.shiftOpenHours * 3600)));
    }
    if (m_options.unsentDocuments > 0) {
        fiscal::FsOfdTransportState transport;
        transport.setUnsentCount(quint16(m_options.unsentDocuments));
        transport.setFirstUnsentNumber(1);
        transport.setFirstUnsentDt(now.addDays(-m_options.oldestUnsentDays));
        m_fs.setTransportState(transport);
    }
    if (m_options.fsExpiryDays >= 0) {
        fiscal::FsLifeTimeData life;
        life.setExpiryDate(now.date().addDays(m_options.fsExpiryDays));
        life.setRemainingRegistrations(11);
        life.setCompletedRegistrations(1);
        m_fs.setLifeTime(life);
    }
    refreshStatus();
    return true;
}

void SimCashbox::setIdentity(quint16 model, const QString &serial)
{
    m_reg.setModel(model);
    m_reg.setCashBoxSerial(serial);
    refreshStatus();
}

bool SimCashbox::objectFor(const QString &name, bus::AppBusObject &object) const
{
    if (name == core::Cashier::CASHIERS_OBJECT_NAME) {
        object = bus::AppBusObject(name, core::Cashier::cashiersObject(m_cashiers));
        return true;
    }
    if (name == fiscal::FsStatus::OBJECT_NAME) {
        object = bus::AppBusObject(name, m_fs.toMap());
        return true;
    }
    // An unregistered cashbox has no registration data to share.
    if (name == fiscal::RegData::BUS_OBJECT_NAME && m_registered) {
        object = bus::AppBusObject(name, m_reg.toMap());
        return true;
    }
    return false;
}

void SimCashbox::onCommand(const bus::AppBusCommand &command, const Reply &reply)
{
    qCInfo(lcSim) << "command" << command.name() << "from" << command.sender() << "to" << command.reciever();
    if (m_options.silent.contains(command.name()))
        return;
    // Each of these faults strikes once.
    if (m_options.drop.remove(command.name())) {
        qCInfo(lcSim) << "dropped" << command.name();
        return;
    }
    const bool loseAnswer = m_options.loseAnswer.remove(command.name());
    QVariantMap params;
    const auto failure = m_options.fail.constFind(command.name());
    if (failure != m_options.fail.constEnd()) {
        params.insert(QStringLiteral("error"), failure.value());
        params.insert(QStringLiteral("errorText"), QStringLiteral("Отказ по требованию (код %1)").arg(failure.value()));
    } else {
        params = answer(command);
    }
    // A core answers its caller first and tells the message link after.
    const QList<bus::AppBusCommand> pushes = m_pendingPushes;
    m_pendingPushes.clear();
    if (loseAnswer) {
        qCInfo(lcSim) << "answer lost:" << command.name();
        return;
    }
    const auto deliver = [this, reply, params, pushes] {
        reply(params);
        for (const bus::AppBusCommand &push : pushes)
            pushAnswer(push);
    };
    if (m_options.delayMs > 0)
        QTimer::singleShot(m_options.delayMs, this, deliver);
    else
        deliver();
}

QVariantMap SimCashbox::answer(const bus::AppBusCommand &command)
{
    const QString name = command.name();
    const QVariantMap params = command.params();
    if (command.reciever() == frprint::PrintServiceSettings::SERVICE_BUSNAME) {
        if (name == QLatin1String("print"))
            return print(params);
        return { { QStringLiteral("error"), QStringLiteral("unknown command \"%1\"").arg(name) } };
    }
    if (command.reciever() != core::FrcoreExternalApi::FRCORE_BUSNAME)
        return { { QStringLiteral("error"), QStringLiteral("no service \"%1\" here").arg(command.reciever()) } };

    if (name == QLatin1String("checkRegistration"))
        return { { QStringLiteral("isRegistered"), m_registered } };
    if (name == QLatin1String("getLoginCoreOnline"))
        return login(params);
    if (name == QLatin1String("getOnlineCashiers"))
        return { { QStringLiteral("cashiers"), QStringList(m_onlineCashiers.keys()) } };
    if (name == QLatin1String("reloadSettingsFromServer"))
        return { { QStringLiteral("reloaded"), true } };
    if (name == QLatin1String("getDownloadedOfd")) {
        core::OfdSettings ofd;
        ofd.setInn(m_reg.ofdInn().isEmpty() ? QStringLiteral("7704211201") : m_reg.ofdInn());
        ofd.setName(QStringLiteral("ООО \"Такском\""));
        ofd.setHost(QStringLiteral("f1.taxcom.ru"));
        ofd.setPort(7777);
        ofd.setCheckSite(QStringLiteral("receipt.taxcom.ru"));
        return { { QStringLiteral("ofds"), QVariantList{ ofd.toMap() } } };
    }
    return coreAnswer(name, params);
}

QVariantMap SimCashbox::coreAnswer(const QString &name, const QVariantMap &params)
{
    Result result;
    QString errorText;
    int error = 0;
    if (name == QLatin1String("getFsStatus")) {
        result = m_fs.toMap();
    } else if (name == QLatin1String("getRegData")) {
        if (!m_registered) {
            error = ErrorNotRegistered;
            errorText = QStringLiteral("Касса не зарегистрирована");
        } else {
            result = m_reg.toMap();
        }
    } else if (name == QLatin1String("getFullFrCoreState")) {
        result = m_status.toMap(params.value(QStringLiteral("brief")).toBool());
    } else if (name == QLatin1String("getPrinterSettings")) {
        core::FrPrinterSettings settings;
        settings.setSymbolsPerLine(SymbolsPerLine);
        result = settings.toMap();
    } else if (name == QLatin1String("getFiscalDoc")) {
        error = fiscalDoc(params, result, errorText);
    } else if (name == QLatin1String("registreCheck")) {
        error = registreCheck(params, result, errorText);
    } else if (name == QLatin1String("openCycle")) {
        error = openCycle(params, result, errorText);
    } else if (name == QLatin1String("closeCycle")) {
        error = closeCycle(params, result, errorText);
    } else if (name == QLatin1String("xReport")) {
        error = report(QStringLiteral("X-ОТЧЕТ"), params, result);
    } else if (name == QLatin1String("calcReport")) {
        error = m_registered ? report(QStringLiteral("ОТЧЕТ О ТЕКУЩЕМ СОСТОЯНИИ РАСЧЕТОВ"), params, result)
                             : ErrorNotRegistered;
    } else if (name == QLatin1String("printText")) {
        tape(params.value(QStringLiteral("text")).toMap().value(QStringLiteral("lines")).toStringList());
        result.insert(QStringLiteral("printed"), true);
    } else if (name == QLatin1String("activate")) {
        error = activate(params, result, errorText);
    } else if (name == QLatin1String("introduction")) {
        error = cashOperation(true, params, errorText);
    } else if (name == QLatin1String("payout")) {
        error = cashOperation(false, params, errorText);
    } else if (name == QLatin1String("closeFs")) {
        error = closeFs(result, errorText);
    } else {
        return { { QStringLiteral("error"), QStringLiteral("unknown command \"%1\"").arg(name) } };
    }
    if (error == ErrorNotRegistered && errorText.isEmpty())
        errorText = QStringLiteral("Касса не зарегистрирована");
    QVariantMap answer{ { QStringLiteral("error"), error } };
    if (!errorText.isEmpty())
        answer.insert(QStringLiteral("errorText"), errorText);
    if (!result.isEmpty())
        answer.insert(QStringLiteral("result"), result);
    return answer;
}

QVariantMap SimCashbox::login(const QVariantMap &params)
{
    const QString login = params.value(QStringLiteral("login")).toString();
    const QString password = params.value(QStringLiteral("password")).toString();
    // The number is the cashier's position in the list, as the offline
    // check of the service counts it, so one login works both ways.
    bool isNumber = false;
    const int number = login.toInt(&isNumber);
    for (int i = 0; i < m_cashiers.size(); ++i) {
        core::Cashier cashier = m_cashiers.at(i);
        const bool byNumber = isNumber && number == i + 1;
        if (!byNumber && cashier.name() != login)
            continue;
        if (QString::number(cashier.password()) != password)
            return { { QStringLiteral("error"), QStringLiteral("Неверный пароль кассира") } };
        QVariant clientId = params.value(QStringLiteral("clientId"));
        if (!clientId.isValid() || clientId.isNull() || clientId.toString().isEmpty())
            clientId = m_nextClientId++;
        cashier.setClientId(clientId);
        m_onlineCashiers.insert(cashier.name(), clientId);
        return { { KeyCashier, cashier.toMap() }, { QStringLiteral("clientId"), clientId } };
    }
    return { { QStringLiteral("error"), QStringLiteral("Кассир не найден") } };
}

QVariantMap SimCashbox::print(const QVariantMap &document)
{
    frprint::TextPrinterDocument doc;
    QString error;
    if (!doc.fromMap(document, &error))
        return { { QStringLiteral("error"), 1 }, { QStringLiteral("errorText"), error } };
    QStringList lines;
    for (const frprint::DocumentBlock &block : doc.blocks()) {
        if (block.isText())
            lines += block.toStringList(SymbolsPerLine);
        else if (block.isImage())
            lines += QStringLiteral("[image %1]").arg(block.img().fileName());
        else if (block.isBarcode())
            lines += QStringLiteral("[barcode %1 %2]").arg(block.barCodeType()).arg(QString::fromUtf8(block.barcode()));
        else if (block.isQrCode())
            lines += QStringLiteral("[qr %1]").arg(QString::fromUtf8(block.barcode()));
    }
    tape(lines);
    return { { QStringLiteral("error"), 0 } };
}

int SimCashbox::registreCheck(const QVariantMap &params, Result &result, QString &errorText)
{
    if (!m_registered)
        return ErrorNotRegistered;
    if (!m_shiftOpen) {
        errorText = QStringLiteral("Смена не открыта");
        return ErrorShiftClosed;
    }
    const QVariantMap check = params.value(QStringLiteral("check")).toMap();
    const QVariantMap document = check.value(QStringLiteral("document")).toMap();
    const QVariantList props = document.value(QStringLiteral("data")).toMap().value(QStringLiteral("fiscprops")).toList();
    if (props.isEmpty()) {
        errorText = QStringLiteral("В чеке нет реквизитов");
        return ErrorBadData;
    }
    static const QHash<int, QString> types{ { 1, QStringLiteral("ПРИХОД") },
                                            { 2, QStringLiteral("ВОЗВРАТ ПРИХОДА") },
                                            { 3, QStringLiteral("РАСХОД") },
                                            { 4, QStringLiteral("ВОЗВРАТ РАСХОДА") } };
    // Like a register, fill in what the front end may leave out: the
    // operation is a sale, the total is the sum of the items, and a receipt
    // without payments is paid in cash.
    QList<QVariantList> items;
    qint64 itemsTotal = 0;
    for (const QVariant &entry : props) {
        const QVariantMap prop = entry.toMap();
        if (prop.value(QStringLiteral("tag")).toInt() != 1059)
            continue;
        items << prop.value(QStringLiteral("fiscprops")).toList();
        itemsTotal += itemCost(items.last());
    }
    const QVariant typeTag = findTag(props, 1054);
    const int type = typeTag.isValid() ? typeTag.toInt() : 1;
    const QVariant totalTag = findTag(props, 1020);
    const qint64 total = totalTag.isValid() ? totalTag.toLongLong() : itemsTotal;
    const QVariant cashTag = findTag(props, 1031);
    const qint64 cash = cashTag.isValid() ? cashTag.toLongLong() : (findTag(props, 1081).isValid() ? 0 : total);
    const qint64 drawerChange = (type == 1 || type == 4) ? cash : -cash;
    if (m_cashKopecks + drawerChange < 0) {
        errorText = QStringLiteral("Недостаточно наличных в кассе");
        return ErrorNoCash;
    }
    m_cashKopecks += drawerChange;
    ++m_checksInShift;
    const QString sessionId = document.value(QStringLiteral("sessionId")).toString();
    result = newDocument(QStringLiteral("КАССОВЫЙ ЧЕК"),
                         { { QStringLiteral("checkNumber"), m_checksInShift },
                           { QStringLiteral("checkType"), type },
                           { QStringLiteral("total"), total },
                           { QStringLiteral("positions"), items.size() },
                           { QStringLiteral("sessionId"), sessionId } });
    QStringList lines{ QStringLiteral("КАССОВЫЙ ЧЕК"), types.value(type, QStringLiteral("ЧЕК")) };
    for (const QVariantList &item : qAsConst(items))
        lines << QStringLiteral("%1 = %2").arg(findTag(item, 1030).toString(), money(itemCost(item)));
    lines << QStringLiteral("ИТОГ = %1").arg(money(total))
          << QStringLiteral("ФД %1 ФП %2").arg(result.value(QStringLiteral("fiscalDocNumber")).toString(),
                                              result.value(QStringLiteral("fiscalSign")).toString());
    if (document.value(QStringLiteral("print"), true).toBool())
        tape(lines);
    queueAnswerPush(sessionId, result);
    publishState();
    return 0;
}

int SimCashbox::openCycle(const QVariantMap &params, Result &result, QString &errorText)
{
    if (!m_registered)
        return ErrorNotRegistered;
    if (m_shiftOpen) {
        errorText = QStringLiteral("Смена уже открыта");
        return ErrorShiftOpen;
    }
    m_shiftOpen = true;
    m_checksInShift = 0;
    m_status.setCycleNumber(m_status.cycleNumber() + 1);
    m_status.setCycleOpened(QDateTime::currentDateTime());
    result = newDocument(QStringLiteral("ОТЧЕТ ОБ ОТКРЫТИИ СМЕНЫ"), { { QStringLiteral("cycleNumber"), m_status.cycleNumber() } });
    if (params.value(QStringLiteral("print")).toBool())
        tape({ QStringLiteral("ОТЧЕТ ОБ ОТКРЫТИИ СМЕНЫ"), QStringLiteral("СМЕНА %1").arg(m_status.cycleNumber()),
               QStringLiteral("ФД %1").arg(m_lastFd) });
    publishState();
    return 0;
}

int SimCashbox::closeCycle(const QVariantMap &params, Result &result, QString &errorText)
{
    if (!m_registered)
        return ErrorNotRegistered;
    if (!m_shiftOpen) {
        errorText = QStringLiteral("Смена не открыта");
        return ErrorShiftClosed;
    }
    if (params.value(QStringLiteral("xReportBefore")).toBool()) {
        Result ignored;
        report(QStringLiteral("X-ОТЧЕТ"), params, ignored);
    }
    m_shiftOpen = false;
    m_status.setCycleclosed(QDateTime::currentDateTime());
    result = newDocument(QStringLiteral("ОТЧЕТ О ЗАКРЫТИИ СМЕНЫ"), { { QStringLiteral("cycleNumber"), m_status.cycleNumber() },
                                                                   { QStringLiteral("checksCount"), m_checksInShift } });
    if (params.value(QStringLiteral("print")).toBool())
        tape({ QStringLiteral("ОТЧЕТ О ЗАКРЫТИИ СМЕНЫ"), QStringLiteral("СМЕНА %1").arg(m_status.cycleNumber()),
               QStringLiteral("ЧЕКОВ ЗА СМЕНУ %1").arg(m_checksInShift), QStringLiteral("ФД %1").arg(m_lastFd) });
    publishState();
    return 0;
}

int SimCashbox::report(const QString &title, const QVariantMap &params, Result &result)
{
    result = { { QStringLiteral("cycleNumber"), m_status.cycleNumber() },
               { QStringLiteral("shiftOpened"), m_shiftOpen },
               { QStringLiteral("checksCount"), m_checksInShift },
               { QStringLiteral("cash"), m_cashKopecks },
               { QStringLiteral("unsentDocuments"), 0 } };
    if (title != QLatin1String("X-ОТЧЕТ"))
        result = newDocument(title, result);
    if (params.value(QStringLiteral("print")).toBool())
        tape({ title, QStringLiteral("СМЕНА %1").arg(m_status.cycleNumber()),
               QStringLiteral("НАЛИЧНЫХ В КАССЕ %1").arg(money(m_cashKopecks)) });
    return 0;
}

int SimCashbox::activate(const QVariantMap &params, Result &result, QString &errorText)
{
    const QString sessionId = params.value(QStringLiteral("sessionId")).toString();
    if (params.value(QStringLiteral("printOnly")).toBool()) {
        if (!m_registered)
            return ErrorNotRegistered;
        tape({ QStringLiteral("ОТЧЕТ О РЕГИСТРАЦИИ (КОПИЯ)"), QStringLiteral("РН ККТ %1").arg(m_reg.regNumeber()),
               QStringLiteral("ИНН %1").arg(m_reg.userInn()) });
        result = { { QStringLiteral("printed"), true } };
        return 0;
    }
    if (m_fsClosed) {
        errorText = QStringLiteral("Фискальный накопитель закрыт");
        return ErrorFsClosed;
    }
    if (m_shiftOpen) {
        errorText = QStringLiteral("Смена открыта");
        return ErrorShiftOpen;
    }
    const QVariantMap data = params.value(QStringLiteral("data")).toMap();
    fiscal::RegData reg = m_reg;
    reg.setMap(data);
    if (reg.regNumeber().isEmpty() || reg.userInn().isEmpty()) {
        errorText = QStringLiteral("Нет регистрационного номера или ИНН пользователя");
        return ErrorBadData;
    }
    // What belongs to the register itself stays as it is.
    reg.setCashBoxSerial(m_reg.cashBoxSerial());
    reg.setFsNumber(m_reg.fsNumber());
    reg.setModel(m_reg.model());
    reg.setVersion(m_reg.version());
    const bool reRegistration = m_registered;
    m_reg = reg;
    m_registered = true;
    result = newDocument(reRegistration ? QStringLiteral("ОТЧЕТ ОБ ИЗМЕНЕНИИ ПАРАМЕТРОВ РЕГИСТРАЦИИ")
                                        : QStringLiteral("ОТЧЕТ О РЕГИСТРАЦИИ"),
                         { { QStringLiteral("regNumber"), m_reg.regNumeber() },
                           { QStringLiteral("inn"), m_reg.userInn() },
                           { QStringLiteral("sessionId"), sessionId } });
    m_reg.setRegDate(QDate::currentDate());
    m_reg.setRegDocNumber(m_lastFd);
    tape({ result.value(QStringLiteral("docName")).toString(), QStringLiteral("РН ККТ %1").arg(m_reg.regNumeber()),
           QStringLiteral("ИНН %1").arg(m_reg.userInn()), QStringLiteral("ФД %1").arg(m_lastFd) });
    queueAnswerPush(sessionId, result);
    publishState();
    emit registrationChanged(m_reg);
    return 0;
}

int SimCashbox::cashOperation(bool in, const QVariantMap &params, QString &errorText)
{
    if (!m_registered)
        return ErrorNotRegistered;
    if (!m_shiftOpen) {
        errorText = QStringLiteral("Смена не открыта");
        return ErrorShiftClosed;
    }
    bool ok = false;
    const qint64 sum = params.value(QStringLiteral("sum")).toLongLong(&ok);
    if (!ok || sum <= 0) {
        errorText = QStringLiteral("Неверная сумма");
        return ErrorBadData;
    }
    if (!in && sum > m_cashKopecks) {
        errorText = QStringLiteral("Недостаточно наличных в кассе");
        return ErrorNoCash;
    }
    m_cashKopecks += in ? sum : -sum;
    tape({ in ? QStringLiteral("ВНЕСЕНИЕ") : QStringLiteral("ВЫПЛАТА"), QStringLiteral("СУММА %1").arg(money(sum)),
           QStringLiteral("НАЛИЧНЫХ В КАССЕ %1").arg(money(m_cashKopecks)) });
    refreshStatus();
    return 0;
}

int SimCashbox::closeFs(Result &result, QString &errorText)
{
    if (!m_registered)
        return ErrorNotRegistered;
    if (m_fsClosed) {
        errorText = QStringLiteral("Фискальный накопитель уже закрыт");
        return ErrorFsClosed;
    }
    if (m_shiftOpen) {
        errorText = QStringLiteral("Смена открыта");
        return ErrorShiftOpen;
    }
    result = newDocument(QStringLiteral("ОТЧЕТ О ЗАКРЫТИИ ФН"), { { QStringLiteral("fsNumber"), m_reg.fsNumber() } });
    m_fsClosed = true;
    tape({ QStringLiteral("ОТЧЕТ О ЗАКРЫТИИ ФН"), QStringLiteral("ФН %1").arg(m_reg.fsNumber()),
           QStringLiteral("ФД %1").arg(m_lastFd) });
    publishState();
    return 0;
}

int SimCashbox::fiscalDoc(const QVariantMap &params, Result &result, QString &errorText)
{
    const int number = params.value(QStringLiteral("number")).toInt();
    if (!m_documents.contains(number)) {
        errorText = QStringLiteral("Документ %1 не найден").arg(number);
        return ErrorNoDocument;
    }
    result = m_documents.value(number);
    if (params.value(QStringLiteral("print")).toBool())
        tape({ result.value(QStringLiteral("docName")).toString() + QStringLiteral(" (КОПИЯ)"),
               QStringLiteral("ФД %1 ФП %2").arg(number).arg(result.value(QStringLiteral("fiscalSign")).toString()) });
    return 0;
}

QVariantMap SimCashbox::newDocument(const QString &type, const QVariantMap &extra)
{
    ++m_lastFd;
    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray seed = QStringLiteral("%1|%2|%3").arg(m_reg.fsNumber()).arg(m_lastFd).arg(now.toString(Qt::ISODate)).toUtf8();
    const quint32 sign = qFromBigEndian<quint32>(QCryptographicHash::hash(seed, QCryptographicHash::Sha1).constData());
    QVariantMap document = extra;
    document.insert(QStringLiteral("docName"), type);
    document.insert(QStringLiteral("fiscalDocNumber"), m_lastFd);
    document.insert(QStringLiteral("fiscalSign"), QString::number(sign));
    document.insert(QStringLiteral("dt"), now.toString(Qt::ISODate));
    document.insert(QStringLiteral("fsNumber"), m_reg.fsNumber());
    document.insert(QStringLiteral("cycleNumber"), m_status.cycleNumber());
    m_documents.insert(int(m_lastFd), document);
    return document;
}

void SimCashbox::refreshStatus()
{
    // The life phase bits add up: a storage in fiscal mode was set up, a
    // closed one was in fiscal mode.
    quint8 phase = fiscal::FsStatus::PhaseSetUp;
    if (m_registered)
        phase |= fiscal::FsStatus::PhaseFiscalMode;
    if (m_fsClosed)
        phase |= fiscal::FsStatus::PhaseFiscalMode | fiscal::FsStatus::PhaseFiscalModeClosed;
    m_fs.setPhase(phase);
    m_fs.setShiftOpened(m_shiftOpen);
    m_fs.setLastFd(m_lastFd);
    m_fs.setDt(QDateTime::currentDateTime());
    m_status.setFs(m_fs);
    m_status.setRegData(m_reg);
    m_status.setLastCheckNumber(m_checksInShift);
    m_status.setCash(double(m_cashKopecks) / 100.0);
    m_status.setDt(QDateTime::currentDateTime());
    m_status.setMode(m_shiftOpen ? 2 : 4);
    m_status.setPaperPresent(true);
}

void SimCashbox::publishState()
{
    refreshStatus();
    bus::AppBusObject object;
    for (const QString &name : { fiscal::FsStatus::OBJECT_NAME, fiscal::RegData::BUS_OBJECT_NAME }) {
        if (objectFor(name, object))
            m_server->pushObject(object);
    }
}

void SimCashbox::tape(const QStringList &lines)
{
    if (m_options.tapeFile.isEmpty())
        return;
    QFile file(m_options.tapeFile);
    if (!file.open(QIODevice::Append | QIODevice::Text)) {
        qCWarning(lcSim) << "cannot write the tape" << file.fileName() << file.errorString();
        return;
    }
    for (const QString &line : lines)
        file.write(line.toUtf8() + '\n');
}

void SimCashbox::queueAnswerPush(const QString &sessionId, const QVariantMap &result)
{
    if (sessionId.isEmpty() || m_options.noAnswerPush)
        return;
    bus::AppBusCommand command;
    command.setName(QStringLiteral("frcoreCmdAnswer"));
    QVariantMap params = result;
    params.insert(QStringLiteral("sessionId"), sessionId);
    command.setParams(params);
    command.setSender(core::FrcoreExternalApi::FRCORE_BUSNAME);
    command.setReciever(TILLGATE_BUSNAME);
    m_pendingPushes.append(command);
}

void SimCashbox::pushAnswer(const bus::AppBusCommand &command)
{
    bus::AppBusCommand push = command;
    push.setDt(QDateTime::currentDateTime());
    push.setUid(bus::AppBusCommand::genUid());
    m_server->pushCommand(TILLGATE_BUSNAME, push);
}
