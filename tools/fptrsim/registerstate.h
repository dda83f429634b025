#ifndef FPTRSIM_REGISTERSTATE_H
#define FPTRSIM_REGISTERSTATE_H

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

// A fiscal property as the fiscal storage keeps it: tag and encoded value.
struct FiscalRecord
{
    quint16 tag = 0;
    QByteArray value;
    bool print = false;
};

struct ReceiptItem
{
    QString name;
    qint64 price = 0; // kopecks
    double quantity = 0;
    qint64 sum = 0; // kopecks
    int vatCode = 0; // VAT rate code of the fiscal data format
    int itemType = 0;
    int paymentMethod = 0;
    QList<FiscalRecord> properties;
};

// The receipt the register holds open between OpenCheck and CloseCheck.
struct OpenReceipt
{
    int chequeType = 0; // 0: none open
    bool print = true;
    QList<ReceiptItem> items;
    QList<FiscalRecord> properties;
    qint64 paid[5] = {0, 0, 0, 0, 0}; // kopecks by payment type 0 to 4

    qint64 total() const;
    qint64 paidTotal() const;
};

struct StoredDocument
{
    quint32 number = 0;
    quint16 type = 0; // form code of the fiscal data format
    QDateTime time;
    quint32 sign = 0;
    QByteArray tlv;
};

// Everything the simulated register and its fiscal storage remember
// between loads of the driver, kept as one JSON file.
struct RegisterState
{
    // Identity and registration.
    QString serial = QStringLiteral("00106700001234");
    int model = 67;
    QString inn = QStringLiteral("7701234567");
    QString regNumber = QStringLiteral("0000000001012345");
    QString fnSerial = QStringLiteral("9999078900012345");
    QString userName = QStringLiteral("ООО \"Тиллгейт\"");
    QString address = QStringLiteral("г. Москва, ул. Кассовая, д. 1");
    QString place = QStringLiteral("Торговый зал");
    QString ofdInn = QStringLiteral("7704211201");
    QString ofdName = QStringLiteral("ОФД");
    int taxation = 1;
    int logicalNumber = 1;
    int ffdVersion = 105; // 100, 105 or 110
    int lineWidth = 32;
    QDateTime registeredAt;

    // Operation.
    int mode = 0;
    int operatorNumber = 0;
    bool shiftOpen = false;
    int shiftNumber = 0;
    QDateTime shiftOpenedAt;
    QDateTime shiftClosedAt;
    int receiptNumber = 0; // last receipt of the shift
    qint64 cash = 0;       // kopecks in the drawer
    QMap<QString, QString> tables; // "table/row/field" -> value
    OpenReceipt receipt;

    // Fiscal storage.
    QList<StoredDocument> documents;
    quint32 cursorDocument = 0; // document being read record by record
    int cursorRecord = 0;

    QJsonObject toJson() const;
    // False with `error` when `json` is not a state this simulator wrote.
    static bool fromJson(const QJsonObject &json, RegisterState &state, QString &error);

    quint32 lastDocumentNumber() const;
    const StoredDocument *document(quint32 number) const;
};

#endif
