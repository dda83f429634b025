#include "atol31drvworker.h"

#include "atol31apiwrapper.h"
#include "atolfsreader.h"
#include "atollog_p.h"
#include "atolprinter.h"
#include "atolreceiptwriter.h"
#include "tillgateconfig.h"

#include <basefiscaldocument.h>
#include <cashboxstatus.h>
#include <fsstatus.h>
#include <logutils.h>

#include <QTimer>

Q_LOGGING_CATEGORY(lcAtolTiming, "tillgate.atol.timing", QtWarningMsg)

const QString Atol31DrvWorker::LIBRARY_NAME = QStringLiteral("libfptr.so");
const QString Atol31DrvWorker::DEFAULT_PASSWORD = QStringLiteral("30");
const QString Atol31DrvWorker::KEY_MAY_BE_CLOSED = QStringLiteral("mayBeClosed");

namespace {

const QString KEY_RESULT = QStringLiteral("result");
// Driver codes of a link that went while a command was under way.
constexpr int NO_REPLY = -20;
constexpr int CONNECTION_LOST = -21;

// Versions of the fiscal data format as the register counts them.
quint8 ffdCode(int version)
{
    switch (version) {
    case 100:
        return 1;
    case 105:
        return 2;
    case 110:
        return 3;
    default:
        return quint8(version);
    }
}

QString textOf(AtolDriver &driver, AtolDriver::TextGetter getter)
{
    QString text;
    driver.readText(getter, text);
    return text;
}

} // namespace

Atol31DrvWorker::Atol31DrvWorker(QObject *parent)
    : qt5ext::AbstractWorker(parent)
{
}

Atol31DrvWorker::~Atol31DrvWorker() = default;

bool Atol31DrvWorker::doStop()
{
    return releaseLibDrv();
}

bool Atol31DrvWorker::doStart()
{
    doStop();
    m_config = TillgateConfig().atolconfig();
    const bool prepared = prepareLibDrv();
    endJob("start");
    if (prepared) {
        Atol31ApiWrapper::cleanStatus();
        getCashboxStatus();
        return true;
    }
    // Retried for the life of the worker: a register switched on later,
    // or a library installed later, is found without a restart.
    if (!m_restartTimer) {
        m_restartTimer = new QTimer(this);
        connect(m_restartTimer.data(), &QTimer::timeout, this, &Atol31DrvWorker::restart);
        m_restartTimer->setInterval(m_restartIntervalMs);
    }
    m_restartTimer->start();
    return false;
}

bool Atol31DrvWorker::releaseLibDrv()
{
    m_driver.release();
    return true;
}

bool Atol31DrvWorker::prepareLibDrv()
{
    m_clock.timer.start();
    releaseLibDrv();
    const bool loaded = m_driver.load(m_config.libDrvPath());
    m_clock.library = m_clock.lap();
    if (!loaded)
        return false;
    const bool applied = applySettings();
    m_clock.settings = m_clock.lap();
    if (!applied) {
        releaseLibDrv();
        return false;
    }
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (fptr->put_DeviceEnabled(1) < 0 || fptr->GetStatus() < 0) {
        m_driver.checkError();
        releaseLibDrv();
        return false;
    }
    if (fptr->put_Mode(TED::Fptr::ModeProgramming) < 0 || fptr->SetMode() < 0) {
        qCWarning(lcAtol) << "TEST";
        m_driver.checkError();
    }
    prepareMoneyTypes();
    m_clock.paymentTable = m_clock.lap();
    if (fptr->put_DeviceEnabled(0) < 0) {
        m_driver.checkError();
        releaseLibDrv();
        return false;
    }
    return true;
}

bool Atol31DrvWorker::applyTransport()
{
    switch (m_config.transport()) {
    case AtolFrConfig::TransportRs232: {
        const QSharedPointer<PortSettings> port = m_config.port();
        if (!port)
            return false;
        static const QMap<int, QString> parities{{QSerialPort::NoParity, "0"}, {QSerialPort::EvenParity, "2"},
                                                 {QSerialPort::OddParity, "1"}, {QSerialPort::SpaceParity, "4"},
                                                 {QSerialPort::MarkParity, "3"}};
        static const QMap<int, QString> stopBits{{QSerialPort::OneStop, "0"}, {QSerialPort::OneAndHalfStop, "1"},
                                                 {QSerialPort::TwoStop, "2"}};
        qCWarning(lcAtol).noquote() << "Serial port" << port->portName();
        return m_driver.putSetting(QStringLiteral("Port"), QStringLiteral("TTY"))
            && m_driver.putSetting(QStringLiteral("TTYSuffix"), port->portName())
            && m_driver.putSetting(QStringLiteral("BaudRate"), QString::number(port->baudRate()))
            && m_driver.putSetting(QStringLiteral("Bits"), QString::number(int(port->dataBits())))
            && m_driver.putSetting(QStringLiteral("Parity"), parities.value(int(port->parity()), "0"))
            && m_driver.putSetting(QStringLiteral("StopBits"), stopBits.value(int(port->stopBits()), "0"))
            && m_driver.putSetting(QStringLiteral("FlowControl"), QString::number(int(port->flowControl())))
            && m_driver.putSetting(QStringLiteral("AccessPassword"), m_config.frConnectionPassword())
            && m_driver.putSetting(QStringLiteral("Protocol"), 2);
    }
    case AtolFrConfig::TransportTcp:
        return m_driver.putSetting(QStringLiteral("Port"), QStringLiteral("TCPIP"))
            && m_driver.putSetting(QStringLiteral("IPAddress"), m_config.tcpHost())
            && m_driver.putSetting(QStringLiteral("IPPort"), QString::number(m_config.tcpPort()))
            && m_driver.putSetting(QStringLiteral("AccessPassword"), m_config.frConnectionPassword())
            && m_driver.putSetting(QStringLiteral("Protocol"), 2);
    default:
        qCWarning(lcAtol) << "The register's transport cannot be driven:" << int(m_config.transport());
        return false;
    }
}

bool Atol31DrvWorker::applySettings()
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (!fptr)
        return false;
    int enabled = 0;
    if (fptr->get_DeviceEnabled(&enabled) >= 0)
        qCDebug(lcAtol) << "Device enabled before settings:" << enabled;
    if (!applyTransport())
        return false;
    if (fptr->ApplySingleSettings() < 0 || fptr->put_DeviceEnabled(1) < 0 || fptr->put_RegisterNumber(23) < 0) {
        m_driver.checkError();
        return false;
    }
    if (fptr->GetRegister() < 0) {
        qCWarning(lcAtol) << "GET REGISTER ERROR";
        m_driver.checkError();
        return false;
    }
    int model = 0;
    if (fptr->get_Model(&model) != 0 || fptr->put_DeviceEnabled(0) < 0) {
        m_driver.checkError();
        return false;
    }
    if (m_driver.putSetting(QStringLiteral("Model"), model) && fptr->ApplySingleSettings() < 0) {
        m_driver.checkError();
        return false;
    }
    QString settings;
    if (m_driver.readText(&TED::Fptr::IFptr::get_DeviceSettings, settings)) {
        qCDebug(lcAtol).noquote() << AtolDriver::settingsForLog(settings);
        fptr->put_DeviceSettings(AtolDriver::wide(settings).c_str());
    }
    return true;
}

void Atol31DrvWorker::prepareMoneyTypes()
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (!fptr)
        return;
    const QSharedPointer<core::CashboxStatus> status = Atol31ApiWrapper::getCurrentStatus();
    auto writeRows = [this, fptr](int fieldType, const QStringList &captions) {
        fptr->put_Table(12);
        fptr->put_Field(1);
        fptr->put_FieldType(fieldType);
        for (int row = 1; row <= captions.size(); ++row) {
            fptr->put_Row(row);
            if (fptr->put_Caption(AtolDriver::wide(captions.at(row - 1)).c_str()) < 0
                || fptr->SetTableField() < 0)
                m_driver.checkError();
        }
    };
    writeRows(1, {QStringLiteral("Электронными"), QStringLiteral("Предварительная оплата (аванс)"),
                  QStringLiteral("Последующая оплата (кредит)"),
                  QStringLiteral("Иная форма оплаты (встречное предоставление)")});
    if (status && status->regData().fdfVersion() != 1)
        writeRows(0, {QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5")});
}

bool Atol31DrvWorker::beginJob(QString password)
{
    m_driver.clearError();
    prepareLibDrv();
    if (password.isEmpty())
        password = DEFAULT_PASSWORD;
    if (!m_driver.enable()) {
        if (m_driver.isLoaded())
            m_driver.checkError();
        // The reason the driver gave while preparing stays; without one the
        // register was simply not reached.
        if (m_driver.lastResult() >= 0)
            m_driver.setError(-1, AtolDriver::NO_LINK_TEXT);
        releaseLibDrv();
        return false;
    }
    if (m_driver.putSetting(QStringLiteral("UserPassword"), password))
        m_userPassword = password;
    return true;
}

void Atol31DrvWorker::endJob(const char *job)
{
    const qint64 work = m_clock.lap();
    releaseLibDrv();
    qCDebug(lcAtolTiming, "%s: library %.3f ms, settings %.3f ms, payment table %.3f ms, work %.3f ms", job,
            m_clock.library / 1e6, m_clock.settings / 1e6, m_clock.paymentTable / 1e6, work / 1e6);
}

void Atol31DrvWorker::readChangingStatus(core::CashboxStatus &status)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    int value = 0;
    if (fptr->get_CheckNumber(&value) == 0)
        status.setLastCheckNumber(value);
    const QDateTime dt = m_driver.getDt();
    if (dt.isValid())
        status.setDt(dt);
    if (fptr->get_Session(&value) == 0)
        status.setCycleNumber(value);
    if (fptr->get_Operator(&value) == 0)
        status.setCashier(value);
    if (fptr->get_LogicalNumber(&value) == 0)
        status.setCashboxNumber(value);
    if (fptr->get_Mode(&value) == 0)
        status.setMode(value);
    if (fptr->get_AdvancedMode(&value) == 0)
        status.setSubmode(value);
    if (fptr->get_CheckPaperPresent(&value) == 0)
        status.setPaperPresent(value != 0);
    // The model belongs to the register's identity, not to its mode.
    if (fptr->get_Model(&value) == 0)
        status.regData().setModel(quint32(value));
}

void Atol31DrvWorker::readIdentity(core::CashboxStatus &status, const fiscal::FsStatus &fs)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (fptr->GetDeviceMetrics() == 0) {
        status.regData().setCashBoxSerial(textOf(m_driver, &TED::Fptr::IFptr::get_SerialNumber));
        readChangingStatus(status);
    }
    QString text;
    if (fptr->put_RegisterNumber(27) == 0 && fptr->GetRegister() == 0) {
        if (m_driver.readText(&TED::Fptr::IFptr::get_INN, text))
            status.regData().setUserInn(text.trimmed());
        if (m_driver.readText(&TED::Fptr::IFptr::get_MachineNumber, text))
            status.regData().setRegNumeber(text.trimmed());
    }
    int version = 0;
    if (fptr->put_RegisterNumber(54) == 0 && fptr->GetRegister() == 0) {
        if (fptr->get_DeviceFfdVersion(&version) == 0)
            status.regData().setFdfVersion(ffdCode(version));
        if (fptr->get_FNFfdVersion(&version) == 0) {
            m_fsFfdVersion = ffdCode(version);
            status.regData().setFSfdfVersion(m_fsFfdVersion);
        }
    }
    if (fs.lifeTime().completedRegistrations() != 0)
        AtolFsReader(m_driver).getRegData(status.regData(), fs.lifeTime().completedRegistrations(), m_fsFfdVersion);
    fptr->put_Table(2);
    fptr->put_Field(55);
    fptr->put_FieldType(0);
    fptr->put_Row(1);
    if (fptr->GetTableField() == 0 && m_driver.readText(&TED::Fptr::IFptr::get_Caption, text)) {
        bool ok = false;
        const int width = text.trimmed().toInt(&ok);
        if (ok && width > 0)
            Atol31ApiWrapper::setSymbolsPerLine(width);
    }
}

void Atol31DrvWorker::getCashboxStatus()
{
    prepareLibDrv();
    if (!m_driver.enable()) {
        releaseLibDrv();
        return;
    }
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    const QSharedPointer<core::CashboxStatus> stored = Atol31ApiWrapper::getCurrentStatus();
    const bool firstQuery = !stored;
    core::CashboxStatus status = stored ? *stored : core::CashboxStatus();
    fiscal::FsStatus fs;
    if (AtolFsReader(m_driver).getFsStatus(fs))
        status.setFs(fs);
    if (firstQuery)
        readIdentity(status, fs);
    if (fptr->GetStatus() == 0)
        readChangingStatus(status);
    double sum = 0;
    if (fptr->put_RegisterNumber(10) == 0 && fptr->GetRegister() == 0 && fptr->get_Summ(&sum) == 0)
        status.setCash(sum);
    if (fptr->put_RegisterNumber(18) == 0 && fptr->GetRegister() == 0) {
        int count = 0;
        fptr->get_Count(&count);
        const QDateTime end = m_driver.getDt();
        status.setCycleOpened(end.addDays(-1));
        if (count == 0)
            status.setCycleclosed(end);
        qCDebug(lcAtol) << "Shift state" << count << end;
    }
    if (fptr->put_RegisterNumber(70) == 0 && fptr->GetRegister() == 0) {
        int count = 0;
        fptr->get_Count(&count);
        const QDateTime opened = m_driver.getDt();
        qCDebug(lcAtol) << "Shift opened" << count << opened;
        status.setCycleOpened(opened);
    }
    Atol31ApiWrapper::setCurrentStatus(status);
    qCDebug(lcAtol).noquote() << qt5ext::logvariant(status.toMap(false));
    fptr->put_DeviceEnabled(0);
    endJob("status");
}

bool Atol31DrvWorker::getLastDocData(quint32 &number, QDateTime &dt, quint32 &fiscalSign)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    int docNumber = 0;
    double sign = 0;
    if (fptr->put_RegisterNumber(52) != 0 || fptr->GetRegister() != 0 || fptr->get_DocNumber(&docNumber) != 0
        || fptr->get_Summ(&sign) != 0)
        return false;
    number = quint32(docNumber);
    fiscalSign = quint32(qint64(sign));
    dt = m_driver.getDt();
    return dt.isValid();
}

QVariantMap Atol31DrvWorker::lastDocumentAnswer()
{
    quint32 number = 0;
    quint32 sign = 0;
    quint16 docType = 0;
    QDateTime dt;
    QVariantList props;
    if (!getLastDocData(number, dt, sign) || !AtolFsReader(m_driver).getFsDoc(number, docType, props, nullptr))
        return m_driver.lastError();
    const QVariantMap answer{{KEY_RESULT, 0},
                             {QStringLiteral("data"),
                              QVariantMap{{QStringLiteral("fiscprops"), props},
                                          {QStringLiteral("docNumber"), number},
                                          {QStringLiteral("docType"), int(docType)},
                                          {QStringLiteral("name"), fiscal::BaseFiscalDocument::docName(docType)}}}};
    qCDebug(lcAtol).noquote() << qt5ext::logvariant(answer);
    return answer;
}

bool Atol31DrvWorker::doOpenCycle()
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    fptr->CancelCheck();
    if (fptr->put_Mode(TED::Fptr::ModeRegistration) < 0 || fptr->SetMode() < 0) {
        m_driver.checkError();
        return false;
    }
    fptr->put_Caption(L"");
    if (fptr->OpenSession() < 0) {
        m_driver.checkError();
        return false;
    }
    return true;
}

bool Atol31DrvWorker::doCloseCycle()
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (fptr->put_Mode(TED::Fptr::ModeZReport) < 0 || fptr->SetMode() < 0
        || fptr->put_ReportType(TED::Fptr::ReportZ) != 0 || fptr->Report() < 0) {
        m_driver.checkError();
        return false;
    }
    return true;
}

void Atol31DrvWorker::shiftJob(const QString &password, bool open, QVariantMap &document, quint16 &docType,
                               quint32 &docNumber)
{
    document.clear();
    docType = 0;
    docNumber = 0;
    if (!beginJob(password)) {
        document = m_driver.lastError();
        return;
    }
    m_driver.clearError();
    if (open ? doOpenCycle() : doCloseCycle())
        document = lastDocumentAnswer();
    else
        document = m_driver.lastError();
    const QVariantMap data = document.value(QStringLiteral("data")).toMap();
    docNumber = data.value(QStringLiteral("docNumber")).toUInt();
    docType = quint16(data.value(QStringLiteral("docType")).toUInt());
    endJob(open ? "shift opening" : "shift closing");
}

void Atol31DrvWorker::openCycle(QString password, QVariantMap &document, quint16 &docType, quint32 &docNumner)
{
    shiftJob(password, true, document, docType, docNumner);
}

void Atol31DrvWorker::closeCycle(QString password, QVariantMap &document, quint16 &docType, quint32 &docNumner)
{
    shiftJob(password, false, document, docType, docNumner);
}

void Atol31DrvWorker::xReport(QString password, QVariantMap &document)
{
    document.clear();
    if (!beginJob(password)) {
        document = m_driver.lastError();
        return;
    }
    m_driver.clearError();
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (fptr->put_Mode(TED::Fptr::ModeXReport) < 0 || fptr->SetMode() < 0
        || fptr->put_ReportType(TED::Fptr::ReportX) != 0 || fptr->Report() < 0)
        m_driver.checkError();
    document = m_driver.lastError();
    endJob("X report");
}

void Atol31DrvWorker::cashOperation(QString password, bool income, qint64 kopecks, QVariantMap &document)
{
    document.clear();
    if (!beginJob(password)) {
        document = m_driver.lastError();
        return;
    }
    m_driver.clearError();
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (fptr->put_Mode(TED::Fptr::ModeRegistration) < 0 || fptr->SetMode() < 0
        || fptr->put_Summ(double(kopecks) / 100.0) < 0 || (income ? fptr->CashIncome() : fptr->CashOutcome()) < 0)
        m_driver.checkError();
    document = m_driver.lastError();
    endJob(income ? "cash income" : "cash outcome");
}

void Atol31DrvWorker::fiscalDocByNymber(QString password, quint32 docNumber, bool print, quint16 &docType,
                                        QVariantList &fiscProps)
{
    fiscProps.clear();
    if (!beginJob(password))
        return;
    AtolFsReader(m_driver).getFsDoc(docNumber, docType, fiscProps, nullptr);
    if (print) {
        TED::Fptr::IFptr *fptr = m_driver.fptr();
        fptr->put_DocNumber(int(docNumber));
        fptr->put_ReportType(TED::Fptr::ReportDocumentByNumber);
        fptr->Report();
        m_driver.checkError();
    }
    endJob("fiscal document");
}

void Atol31DrvWorker::registreCheck(QString password, QVariantMap data, QVariantMap &resultData)
{
    receiptJob(password, data, nullptr, resultData);
}

void Atol31DrvWorker::registreRecordedCheck(QString password, QVariantMap data,
                                            BaseCoreApiWrapper::StartRecorder record, QVariantMap &resultData)
{
    receiptJob(password, data, &record, resultData);
}

void Atol31DrvWorker::receiptJob(const QString &password, const QVariantMap &data,
                                 const BaseCoreApiWrapper::StartRecorder *record, QVariantMap &resultData)
{
    resultData.clear();
    if (!beginJob(password)) {
        resultData = m_driver.lastError();
        return;
    }
    m_driver.clearError();
    if (record) {
        // Read in the same job as the receipt, so no other document can come
        // between the two.
        ReceiptStart start;
        quint32 sign = 0;
        start.known = getLastDocData(start.lastDocNumber, start.registerTime, sign);
        m_driver.clearError();
        if (!(*record)(start)) {
            m_driver.setError(BaseCoreApiWrapper::ERROR_START_NOT_STORED,
                              QStringLiteral("The receipt was not sent: its start could not be stored"));
            resultData = m_driver.lastError();
            endJob("receipt");
            return;
        }
    }
    AtolPrinter printer(m_driver);
    AtolReceiptWriter writer(m_driver, printer, m_fsFfdVersion);
    if (writer.registreCheck(data)) {
        resultData = lastDocumentAnswer();
        if (resultData.value(KEY_RESULT).toInt() != 0)
            resultData.insert(KEY_MAY_BE_CLOSED, true);
    } else {
        resultData = m_driver.lastError();
        // No reply or a lost link while the receipt was sent: it may have
        // been closed before the link went.
        const int code = resultData.value(KEY_RESULT).toInt();
        if (code == NO_REPLY || code == CONNECTION_LOST)
            resultData.insert(KEY_MAY_BE_CLOSED, true);
    }
    endJob("receipt");
}

void Atol31DrvWorker::lastDocument(QString password, quint32 &number, QDateTime &dt, bool &found)
{
    found = false;
    if (!beginJob(password))
        return;
    quint32 sign = 0;
    found = getLastDocData(number, dt, sign);
    endJob("last document");
}

void Atol31DrvWorker::registreCorrectionCheck(QString password, QVariantMap data, QVariantMap &resultData)
{
    Q_UNUSED(password)
    Q_UNUSED(data)
    resultData = AtolReceiptWriter::notSupported();
}

void Atol31DrvWorker::printTextPrinterDocument(frprint::TextPrinterDocument doc)
{
    prepareLibDrv();
    if (!m_driver.enable()) {
        releaseLibDrv();
        return;
    }
    if (m_userPassword.isEmpty())
        m_userPassword = DEFAULT_PASSWORD;
    m_driver.putSetting(QStringLiteral("UserPassword"), m_userPassword);
    AtolPrinter(m_driver).printDocument(doc);
    endJob("printing");
}
