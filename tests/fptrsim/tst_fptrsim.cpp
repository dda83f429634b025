#include "simdriver.h"

#include <fiscaldoccomplexproperty.h>
#include <fiscaldocpropertytemplateloader.h>
#include <fptrtypes.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include <memory>

using namespace TED::Fptr;

namespace {

const char CHILD_VARIABLE[] = "TST_FPTRSIM_CASH_INCOMES";

// Deposits 1.00 `count` times, one driver load per deposit, as the worker
// loads the driver for every job.
bool depositRepeatedly(int count)
{
    for (int i = 0; i < count; ++i) {
        SimDriver driver;
        if (!driver.isValid() || !driver.connect() || driver.enterMode(ModeRegistration) != 0)
            return false;
        driver->put_Summ(1.0);
        if (driver->CashIncome() != 0)
            return false;
    }
    return true;
}

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QString documentCommand(quint32 number)
{
    QByteArray bytes(5, '\0');
    bytes[0] = char(0x45);
    qToLittleEndian<quint32>(number, bytes.data() + 1);
    return QString::fromLatin1(bytes.toHex(' '));
}

} // namespace

class TestFptrSim : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void factory_data();
    void factory();
    void unsupportedMethod();
    void settings();
    void modes_data();
    void modes();
    void shift();
    void receipt();
    void receiptRefusals_data();
    void receiptRefusals();
    void cash();
    void printing();
    void faults_data();
    void faults();
    void corruptState();
    void concurrentWriters();

private:
    // The fiscal document `number` read through commands 45 and 46, as
    // records of the fiscal library; `type` gets the document type.
    QList<fiscal::FiscalDocPropertyPtr> readDocument(SimDriver &driver, quint32 number, quint16 &type);
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFptrSim::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("FPTR_SIM_DIR", m_dir->path().toLocal8Bit());
    qunsetenv("FPTR_SIM_VERSION");
}

void TestFptrSim::cleanup()
{
    m_dir.reset();
}

QList<fiscal::FiscalDocPropertyPtr> TestFptrSim::readDocument(SimDriver &driver, quint32 number,
                                                              quint16 &type)
{
    const QByteArray found = driver.storage(documentCommand(number));
    if (found.size() != 4)
        return {};
    type = qFromLittleEndian<quint16>(found.constData());
    QByteArray tlv;
    int code = 0;
    for (QByteArray record = driver.storage(QStringLiteral("46"), &code); !record.isEmpty();
         record = driver.storage(QStringLiteral("46"), &code))
        tlv += record;
    if (code != EC_BAD_DATA || tlv.size() != qFromLittleEndian<quint16>(found.constData() + 2))
        return {};
    QList<fiscal::FiscalDocPropertyPtr> records;
    QString error;
    if (!fiscal::FiscalDocPropertyTemplateLoader().readRecords(tlv, records, &error))
        qWarning("%s", qUtf8Printable(error));
    return records;
}

void TestFptrSim::factory_data()
{
    QTest::addColumn<QByteArray>("configured");
    QTest::addColumn<int>("asked");
    QTest::addColumn<bool>("created");

    QTest::newRow("15 by default") << QByteArray() << 15 << true;
    QTest::newRow("14 refused by default") << QByteArray() << 14 << false;
    QTest::newRow("13 when named") << QByteArray("13") << 13 << true;
    QTest::newRow("15 refused when 13 named") << QByteArray("13") << 15 << false;
}

void TestFptrSim::factory()
{
    QFETCH(QByteArray, configured);
    QFETCH(int, asked);
    QFETCH(bool, created);
    if (!configured.isEmpty())
        qputenv("FPTR_SIM_VERSION", configured);
    SimDriver driver(asked);
    QCOMPARE(driver.isValid(), created);
}

void TestFptrSim::unsupportedMethod()
{
    SimDriver driver;
    QVERIFY(driver.isValid());
    QCOMPARE(driver->Beep(), -1);
    QCOMPARE(driver.resultCode(), int(EC_NOT_SUPPORTED));
    QCOMPARE(driver.description(), QStringLiteral("Не поддерживается"));
    QVERIFY(driver->get_ReleaseFunction() != nullptr);
}

void TestFptrSim::settings()
{
    SimDriver driver;
    QVERIFY(driver.setting(L"Port", L"TTY"));
    QCOMPARE(driver->ApplySingleSettings(), -1);
    QCOMPARE(driver.resultCode(), int(EC_INVALID_PARAM));
    QCOMPARE(driver.badParam(), QStringLiteral("TTYSuffix"));

    QVERIFY(driver.setting(L"TTYSuffix", L"ttyACM0"));
    QCOMPARE(driver->ApplySingleSettings(), 0);
    const QString whole = driver.text(&IFptr::get_DeviceSettings);
    QVERIFY2(whole.contains(QStringLiteral("<value name=\"TTYSuffix\">ttyACM0</value>")), qPrintable(whole));
    QCOMPARE(driver->put_DeviceSettings(whole.toStdWString().c_str()), 0);
    QCOMPARE(driver->put_DeviceSettings(L"<settings><value>"), -1);
    QCOMPARE(driver.badParam(), QStringLiteral("DeviceSettings"));

    QCOMPARE(driver->GetStatus(), -1);
    QCOMPARE(driver.resultCode(), int(EC_NOT_ENABLED));
    QVERIFY(driver.connect());
    int model = 0, width = 0;
    QCOMPARE(driver->get_Model(&model), 0); // known from connecting, before any status
    QCOMPARE(model, 67);
    QCOMPARE(driver->GetStatus(), 0);
    driver->get_CharLineLength(&width);
    QCOMPARE(width, 32);
    QVERIFY(!driver.text(&IFptr::get_SerialNumber).isEmpty());

    // Table 2 field 55 is the line width the status reports.
    driver->put_Table(2);
    driver->put_Row(1);
    driver->put_Field(55);
    driver->put_FieldType(0);
    driver->put_Caption(L"48");
    QCOMPARE(driver->SetTableField(), 0);
    QCOMPARE(driver->GetTableField(), 0);
    QCOMPARE(driver.text(&IFptr::get_Caption), QStringLiteral("48"));
}

void TestFptrSim::modes_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("operatorNumber");

    QTest::newRow("cashier registers") << "1" << 1 << 0 << 1;
    QTest::newRow("cashier X report") << "28" << 2 << 0 << 28;
    QTest::newRow("cashier no Z report") << "1" << 3 << int(EC_WRONG_PASSWORD) << 0;
    QTest::newRow("administrator Z report") << "29" << 3 << 0 << 29;
    QTest::newRow("system administrator programs") << "30" << 4 << 0 << 30;
    QTest::newRow("unknown operator") << "31" << 1 << int(EC_WRONG_PASSWORD) << 0;
    QTest::newRow("not a number") << "abc" << 2 << int(EC_WRONG_PASSWORD) << 0;
    QTest::newRow("no such mode") << "30" << 9 << int(EC_INVALID_PARAM) << 0;
}

void TestFptrSim::modes()
{
    QFETCH(QString, password);
    QFETCH(int, mode);
    QFETCH(int, code);
    QFETCH(int, operatorNumber);
    SimDriver driver;
    QVERIFY(driver.connect(password));
    QCOMPARE(driver.enterMode(mode), code);
    QCOMPARE(driver->GetStatus(), 0);
    int current = -1, number = -1;
    driver->get_Mode(&current);
    driver->get_Operator(&number);
    QCOMPARE(current, code == 0 ? mode : 0);
    QCOMPARE(number, operatorNumber);
}

void TestFptrSim::shift()
{
    {
        SimDriver driver;
        QVERIFY(driver.connect());
        QCOMPARE(driver->OpenSession(), -1);
        QCOMPARE(driver.resultCode(), int(EC_NOT_IN_THIS_MODE));
        QCOMPARE(driver.enterMode(ModeRegistration), 0);
        QCOMPARE(driver->OpenSession(), 0);
        QCOMPARE(driver->OpenSession(), -1);
        QCOMPARE(driver.resultCode(), int(EC_SHIFT_OPENED));
    }
    // The next load finds the shift the previous one opened.
    SimDriver driver;
    QVERIFY(driver.connect());
    QCOMPARE(driver.readRegister(18), 0);
    int count = -1;
    driver->get_Count(&count);
    QCOMPARE(count, 1);
    QCOMPARE(driver.storage(QStringLiteral("30")).at(3), char(1));

    QCOMPARE(driver.enterMode(ModeZReport), 0);
    QCOMPARE(driver->put_ReportType(ReportZ), 0);
    QCOMPARE(driver->Report(), 0);
    QCOMPARE(driver->Report(), -1);
    QCOMPARE(driver.resultCode(), int(EC_SHIFT_CLOSED));

    QCOMPARE(driver.readRegister(52), 0);
    int last = 0;
    driver->get_DocNumber(&last);
    QCOMPARE(last, 3); // registration, shift open, shift close
    quint16 type = 0;
    QList<fiscal::FiscalDocPropertyPtr> records = readDocument(driver, quint32(last), type);
    QCOMPARE(type, quint16(5));
    QVERIFY(!records.isEmpty());
    QCOMPARE(readDocument(driver, 2, type).isEmpty(), false);
    QCOMPARE(type, quint16(2));
    int code = 0;
    QVERIFY(driver.storage(documentCommand(99), &code).isEmpty());
    QCOMPARE(code, int(EC_BAD_DATA));
    QVERIFY(fileText(path(QStringLiteral("tape.txt"))).contains(QStringLiteral("ОТЧЕТ О ЗАКРЫТИИ СМЕНЫ")));
}

void TestFptrSim::receipt()
{
    SimDriver driver;
    QVERIFY(driver.connect(QStringLiteral("1")));
    QCOMPARE(driver.enterMode(ModeRegistration), 0);
    driver->put_CheckType(ChequeSell);
    driver->put_PrintCheck(1);
    QCOMPARE(driver->OpenCheck(), 0); // opens the shift first

    const struct
    {
        const wchar_t *name;
        double price;
        double quantity;
        int tax;
    } items[] = {{L"Хлеб", 45.50, 2, 2}, {L"Молоко", 89.90, 1.5, 1}};
    for (const auto &item : items) {
        driver->put_Quantity(item.quantity);
        driver->put_Price(item.price);
        driver->put_PositionSum(qRound64(item.price * item.quantity * 100) / 100.0);
        driver->put_TaxNumber(item.tax);
        driver->put_PositionType(1);
        driver->put_Name(item.name);
        driver->put_PositionPaymentType(4);
        driver->put_FiscalPropertyNumber(1197);
        driver->put_FiscalPropertyType(FiscalPropertyTypeString);
        driver->put_FiscalPropertyValue(L"шт");
        QCOMPARE(driver->AddFiscalProperty(), 0);
        QCOMPARE(driver->Registration(), 0);
    }
    driver->put_FiscalPropertyNumber(1008);
    driver->put_FiscalPropertyPrint(1);
    driver->put_FiscalPropertyType(FiscalPropertyTypeString);
    driver->put_FiscalPropertyValue(L"buyer@example.com");
    QCOMPARE(driver->WriteFiscalProperty(), 0);

    // 91.00 + 134.85 = 225.85: 100.00 electronically, 200.00 in cash.
    driver->put_TypeClose(1);
    driver->put_Summ(100.0);
    QCOMPARE(driver->Payment(), 0);
    double remainder = 0, change = 0;
    driver->get_Remainder(&remainder);
    QCOMPARE(remainder, 125.85);
    QCOMPARE(driver->CloseCheck(), -1);
    QCOMPARE(driver.resultCode(), int(EC_NOT_FULLY_PAID));
    driver->put_TypeClose(0);
    driver->put_Summ(200.0);
    QCOMPARE(driver->Payment(), 0);
    driver->get_Change(&change);
    QCOMPARE(change, 74.15);
    QCOMPARE(driver->CloseCheck(), 0);

    QCOMPARE(driver.readRegister(10), 0);
    double cash = 0;
    driver->get_Summ(&cash);
    QCOMPARE(cash, 125.85);
    QCOMPARE(driver.readRegister(52), 0);
    int number = 0;
    double sign = 0;
    driver->get_DocNumber(&number);
    driver->get_Summ(&sign);

    quint16 type = 0;
    const QList<fiscal::FiscalDocPropertyPtr> records = readDocument(driver, quint32(number), type);
    QCOMPARE(type, quint16(3));
    QMap<int, QVariant> values;
    QList<fiscal::FiscalDocPropertyPtr> positions;
    for (const fiscal::FiscalDocPropertyPtr &record : records) {
        if (record->tag() == 1059)
            positions.append(record);
        else
            values.insert(record->tag(), record->value());
    }
    QCOMPARE(positions.size(), 2);
    QCOMPARE(values.value(1020).toULongLong(), 22585ULL);
    QCOMPARE(values.value(1031).toULongLong(), 12585ULL);
    QCOMPARE(values.value(1081).toULongLong(), 10000ULL);
    QCOMPARE(values.value(1054).toUInt(), 1U);
    QCOMPARE(values.value(1040).toUInt(), quint32(number));
    QCOMPARE(values.value(1042).toUInt(), 1U);
    QCOMPARE(values.value(1008).toString(), QStringLiteral("buyer@example.com"));
    QCOMPARE(values.value(1103).toULongLong(), 827ULL); // 10/110 of 91.00
    const QByteArray fiscalSign = values.value(1077).toByteArray();
    QCOMPARE(fiscalSign.size(), 6);
    QCOMPARE(double(qFromBigEndian<quint32>(fiscalSign.constData() + 2)), sign);

    const auto item = positions.first().dynamicCast<fiscal::FiscalDocComplexProperty>();
    QVERIFY(item);
    QMap<int, QVariant> itemValues;
    for (const fiscal::FiscalDocPropertyPtr &part : item->properties())
        itemValues.insert(part->tag(), part->value());
    QCOMPARE(itemValues.value(1030).toString(), QStringLiteral("Хлеб"));
    QCOMPARE(itemValues.value(1079).toULongLong(), 4550ULL);
    QCOMPARE(itemValues.value(1023).toDouble(), 2.0);
    QCOMPARE(itemValues.value(1043).toULongLong(), 9100ULL);
    QCOMPARE(itemValues.value(1199).toUInt(), 2U);
    QCOMPARE(itemValues.value(1197).toString(), QStringLiteral("шт"));

    // Report 34 prints the stored document again.
    driver->put_DocNumber(number);
    driver->put_ReportType(ReportDocumentByNumber);
    QCOMPARE(driver->Report(), 0);
    const QString tape = fileText(path(QStringLiteral("tape.txt")));
    QCOMPARE(tape.count(QStringLiteral("КАССОВЫЙ ЧЕК\n")), 2); // closed, then the copy
    QVERIFY(tape.contains(QStringLiteral("КОПИЯ")));

    const QString calls = fileText(path(QStringLiteral("calls.log")));
    QVERIFY(calls.indexOf(QStringLiteral("put_Name(Молоко)")) < calls.lastIndexOf(QStringLiteral("Registration()")));
    QVERIFY(calls.contains(QStringLiteral("put_Price(89.9)")));
}

void TestFptrSim::receiptRefusals_data()
{
    QTest::addColumn<int>("taxNumber");
    QTest::addColumn<int>("typeClose");
    QTest::addColumn<double>("payment");
    QTest::addColumn<int>("registrationCode");
    QTest::addColumn<int>("paymentCode");

    QTest::newRow("tax number 0") << 0 << 0 << 10.0 << int(EC_BAD_TAX_NUMBER) << 0;
    QTest::newRow("tax number 7") << 7 << 0 << 10.0 << int(EC_BAD_TAX_NUMBER) << 0;
    QTest::newRow("payment type 5") << 1 << 5 << 10.0 << 0 << int(EC_BAD_PAYMENT_TYPE);
    QTest::newRow("no payment sum") << 1 << 0 << 0.0 << 0 << int(EC_INVALID_PARAM);
}

void TestFptrSim::receiptRefusals()
{
    QFETCH(int, taxNumber);
    QFETCH(int, typeClose);
    QFETCH(double, payment);
    QFETCH(int, registrationCode);
    QFETCH(int, paymentCode);
    SimDriver driver;
    QVERIFY(driver.connect());
    QCOMPARE(driver.enterMode(ModeRegistration), 0);
    QCOMPARE(driver->OpenCheck(), 0);
    QCOMPARE(driver->OpenCheck(), -1);
    QCOMPARE(driver.resultCode(), int(EC_CHECK_OPENED));
    driver->put_Name(L"Товар");
    driver->put_Price(10);
    driver->put_Quantity(1);
    driver->put_TaxNumber(taxNumber);
    driver->Registration();
    QCOMPARE(driver.resultCode(), registrationCode);
    driver->put_TypeClose(typeClose);
    driver->put_Summ(payment);
    driver->Payment();
    QCOMPARE(driver.resultCode(), paymentCode);
    QCOMPARE(driver->CancelCheck(), 0);
    QCOMPARE(driver->CancelCheck(), -1);
    QCOMPARE(driver.resultCode(), int(EC_CHECK_CLOSED));
}

void TestFptrSim::cash()
{
    SimDriver driver;
    QVERIFY(driver.connect());
    QCOMPARE(driver.enterMode(ModeRegistration), 0);
    driver->put_Summ(100.25);
    QCOMPARE(driver->CashIncome(), 0);
    driver->put_Summ(30);
    QCOMPARE(driver->CashOutcome(), 0);
    driver->put_Summ(1000);
    QCOMPARE(driver->CashOutcome(), -1);
    QCOMPARE(driver.badParam(), QStringLiteral("Summ"));
    QCOMPARE(driver.readRegister(10), 0);
    double cash = 0;
    driver->get_Summ(&cash);
    QCOMPARE(cash, 70.25);
    QCOMPARE(driver.readRegister(11), int(EC_BAD_REGISTER));
}

void TestFptrSim::printing()
{
    const QString picture = path(QStringLiteral("logo.png"));
    writeFile(picture, QByteArray("\x89PNG\r\n\x1a\n", 8));
    SimDriver driver;
    QVERIFY(driver.connect());
    driver->put_Caption(L"Спасибо");
    driver->put_Alignment(AlignmentRight);
    driver->put_TextWrap(TextWrapWord);
    QCOMPARE(driver->PrintString(), 0);
    driver->put_Caption(L"один два три четыре пять шесть семь восемь");
    driver->put_Alignment(AlignmentLeft);
    QCOMPARE(driver->PrintString(), 0);
    driver->put_BarcodeType(BarcodeQR);
    driver->put_Barcode(L"https://check.example/1");
    QCOMPARE(driver->PrintBarcode(), 0);
    driver->put_BarcodeType(BarcodeEAN13);
    driver->put_Barcode(L"abc");
    QCOMPARE(driver->PrintBarcode(), -1);
    QCOMPARE(driver.badParam(), QStringLiteral("Barcode"));
    driver->put_FileName(picture.toStdWString().c_str());
    QCOMPARE(driver->PrintPicture(), 0);
    QCOMPARE(driver->EndDocument(), 0);

    const QStringList tape = fileText(path(QStringLiteral("tape.txt"))).split(QLatin1Char('\n'));
    QCOMPARE(tape.at(0), QString(25, QLatin1Char(' ')) + QStringLiteral("Спасибо"));
    QCOMPARE(tape.at(1), QStringLiteral("один два три четыре пять шесть"));
    QCOMPARE(tape.at(2), QStringLiteral("семь восемь"));
    QVERIFY(tape.at(3).contains(QStringLiteral("[QR: https://check.example/1]")));
    QVERIFY(tape.at(4).contains(QStringLiteral("logo.png")));
}

void TestFptrSim::faults_data()
{
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<bool>("enables");
    QTest::addColumn<int>("printCode");
    QTest::addColumn<int>("ignoredLines");

    QTest::newRow("offline") << QByteArray("offline\n") << false << int(EC_NOT_ENABLED) << 0;
    QTest::newRow("paper out") << QByteArray("paper-out\n") << true << int(EC_NO_PAPER) << 0;
    QTest::newRow("failing method")
        << QByteArray("# the cutter jams\nfail PrintString -3913\n") << true << int(EC_FN_FATAL) << 0;
    QTest::newRow("malformed lines ignored")
        << QByteArray("paper out\nfail PrintString\nfail PrintString 12\n") << true << 0 << 3;
}

void TestFptrSim::faults()
{
    QFETCH(QByteArray, faults);
    QFETCH(bool, enables);
    QFETCH(int, printCode);
    QFETCH(int, ignoredLines);
    writeFile(path(QStringLiteral("faults")), faults);
    for (int i = 0; i < ignoredLines; ++i)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^faults line \\d ignored")));
    SimDriver driver;
    QCOMPARE(driver.connect(), enables);
    if (!enables) {
        QCOMPARE(driver.resultCode(), int(EC_NOT_CONNECTED));
        QCOMPARE(driver.description(), QStringLiteral("Нет связи"));
    }
    driver->put_Caption(L"строка");
    driver->PrintString();
    QCOMPARE(driver.resultCode(), printCode);
}

void TestFptrSim::corruptState()
{
    const QByteArray garbage("{ \"format\": ");
    writeFile(path(QStringLiteral("state.json")), garbage);
    SimDriver driver;
    QVERIFY(driver.connect());
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("state unusable.*not a JSON object")));
    QCOMPARE(driver->GetStatus(), -1);
    QCOMPARE(driver.resultCode(), int(EC_FN_FATAL));
    QFile state(path(QStringLiteral("state.json")));
    QVERIFY(state.open(QIODevice::ReadOnly));
    QCOMPARE(state.readAll(), garbage);
}

void TestFptrSim::concurrentWriters()
{
    const int perWriter = 15;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(CHILD_VARIABLE), QString::number(perWriter));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForStarted());

    bool threadOk = false;
    std::unique_ptr<QThread> thread(QThread::create([&] { threadOk = depositRepeatedly(perWriter); }));
    thread->start();
    QVERIFY(depositRepeatedly(perWriter));
    QVERIFY(thread->wait(60000));
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 0);
    QVERIFY(threadOk);

    SimDriver driver;
    QVERIFY(driver.connect());
    QCOMPARE(driver.readRegister(10), 0);
    double cash = 0;
    driver->get_Summ(&cash);
    QCOMPARE(cash, 3.0 * perWriter);
}

int main(int argc, char *argv[])
{
    // A second process depositing on the directory the parent names.
    const int childDeposits = qEnvironmentVariableIntValue(CHILD_VARIABLE);
    if (childDeposits > 0)
        return depositRepeatedly(childDeposits) ? 0 : 1;
    QCoreApplication app(argc, argv);
    TestFptrSim test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fptrsim.moc"
