#ifndef COMBINEFRWORKER_H
#define COMBINEFRWORKER_H

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariantMap>

// Builds the Combine fiscal device's commands: JSON texts in Windows-1251.
//
// The link to the device is not there yet: the transport operations report
// "not open" and move no data, and sendCommand() sends nothing and answers
// success with an empty answer. The link operations are virtual so that a real
// transport (or a test that captures the commands) can take their place.
class CombineFrWorker : public QObject
{
    Q_OBJECT
public:
    // What every command carries as "login" and "password".
    static const QString LOGIN;
    static const QString PASSWORD;
    // Cashier name and tax number for a receipt that names no cashier.
    static const QString DEFAULT_CASHIER_NAME;
    static const QString DEFAULT_CASHIER_INN;

    static constexpr int COMMAND_TIMEOUT_MS = 7000;
    static constexpr int RECEIPT_TAIL_TIMEOUT_MS = 100;

    static constexpr uint TAG_ITEM = 1059;
    static constexpr uint TAG_CASHIER_NAME = 1021;
    static constexpr uint TAG_CASHIER_INN = 1203;

    explicit CombineFrWorker(QObject *parent = nullptr);
    ~CombineFrWorker() override;

    virtual bool isOpen() const;
    virtual bool checkHandle() const;

    // Writes return the number of bytes written, reads the number read;
    // -1 when the link is not open (the buffer is then emptied).
    virtual int hostWrite(QByteArray data);
    virtual int hostRead(QByteArray &buffer, int size);
    virtual int hostReadChanked(QByteArray &buffer, int size);
    virtual int eoUWrite(QByteArray data);
    virtual int eoUReadd(QByteArray &buffer, int size);

    QByteArray utf8ToCp1251(const QByteArray &text) const;
    QByteArray cp1251ToUtf8(const QByteArray &text) const;

    // Sends one command (Windows-1251 bytes) and waits up to timeoutMs for the
    // answer. Returns true when error is 0.
    virtual bool sendCommand(const QByteArray &command, QVariantMap &answer, int &error,
                             int timeoutMs);

    bool cycleOpen(QVariantMap &answer, int &error);
    bool cycleClose(QVariantMap &answer, int &error);
    // On success with a "cashboxstatus" in the answer, state becomes that.
    bool getCashboxStatus(QVariantMap &state, int &error);

    // Send one item command or the closing command of a receipt; the
    // device's answer replaces the command map.
    bool sendReceiptItem(QVariantMap &command, int &error);
    bool sendReceiptTail(QVariantMap &command, int &error);

    // One "receipt_position" command per item (tag 1059) in list order, then
    // one "fiscalcheck" command with every other property, adding the
    // default cashier name and tax number where the receipt has none. A
    // failed item stops the receipt before the closing command.
    bool sendReceipt(QVariantMap &check, int &error);

private:
    bool sendJson(QVariantMap &command, int &error, int timeoutMs);
};

#endif
