#ifndef FPTRSIM_FISCALSTORAGE_H
#define FPTRSIM_FISCALSTORAGE_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct RegisterState;
struct StoredDocument;

// The simulated fiscal storage of a register: it numbers, signs and keeps
// fiscal documents as TLV records, and answers the storage commands the
// driver passes through (30, 33, 20, 32, 43, 45, 46).
class FiscalStorage
{
public:
    // Form codes of the fiscal data format.
    enum DocumentType : quint16 {
        Registration = 1,
        ShiftOpen = 2,
        StateReport = 21,
        Receipt = 3,
        ShiftClose = 5
    };
    // Answer codes of the storage.
    enum Error : quint8 {
        NoError = 0,
        BadCommand = 0x01,
        WrongState = 0x02,
        NoData = 0x08,
        BadParameter = 0x09
    };

    explicit FiscalStorage(RegisterState &state);

    // A fresh register: registered now, its registration report document 1.
    void initialise(const QDateTime &now);

    const StoredDocument &addShiftOpen(const QString &cashier, const QDateTime &now);
    const StoredDocument &addShiftClose(const QString &cashier, const QDateTime &now);
    // The open receipt of the state, closed.
    const StoredDocument &addReceipt(const QString &cashier, qint64 change, const QDateTime &now);
    const StoredDocument &addStateReport(const QDateTime &now);

    // Runs one storage command (its bytes); NoError with the answer's data
    // bytes, or the storage's error code.
    Error exchange(const QByteArray &command, QByteArray &answer);

    static QString documentName(quint16 type);
    static int ffdCode(int ffdVersion);

private:
    QByteArray userTags() const;
    const StoredDocument &store(quint16 type, const QByteArray &body, const QDateTime &now);
    QByteArray receiptBody(const QString &cashier, qint64 change) const;
    Error registration(const QByteArray &command, QByteArray &answer) const;
    Error findDocument(const QByteArray &command, QByteArray &answer);
    Error nextRecord(QByteArray &answer);

    RegisterState &m_state;
};

#endif
