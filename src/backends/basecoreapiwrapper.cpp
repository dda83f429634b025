#include "basecoreapiwrapper.h"

BaseCoreApiWrapper::BaseCoreApiWrapper(QObject *parent)
    : QObject(parent)
{
}

BaseCoreApiWrapper::~BaseCoreApiWrapper() = default;

bool BaseCoreApiWrapper::registreRecordedCheck(const QVariantMap &check, const core::Cashier &cashier,
                                               const StartRecorder &record, QVariantMap &result, int &error)
{
    if (!record(ReceiptStart())) {
        result.clear();
        error = ERROR_START_NOT_STORED;
        return false;
    }
    return registreCheck(check, cashier, result, error);
}

bool BaseCoreApiWrapper::receiptStart(ReceiptStart &, bool &timedOut)
{
    timedOut = false;
    return false;
}

bool BaseCoreApiWrapper::lastDocument(quint32 &, QDateTime &)
{
    return false;
}

bool BaseCoreApiWrapper::fiscalDocSummary(const core::Cashier &, quint32, FiscalDocSummary &)
{
    return false;
}

ReceiptSettlement::Outcome BaseCoreApiWrapper::settleCheck(const ReceiptStart &start, const QVariantMap &check,
                                                           const core::Cashier &cashier, QVariantMap &answer,
                                                           QString &why)
{
    const ReceiptSettlement settlement(check);
    QList<FiscalDocSummary> after;
    if (!start.known)
        return settlement.decide(start, 0, after, answer, why);
    quint32 last = 0;
    QDateTime dt;
    if (!lastDocument(last, dt)) {
        why = QStringLiteral("the register did not tell its last document number");
        return ReceiptSettlement::Unknown;
    }
    if (last > start.lastDocNumber && last - start.lastDocNumber <= ReceiptSettlement::MAX_DOCUMENTS) {
        for (quint32 number = start.lastDocNumber + 1; number <= last; ++number) {
            FiscalDocSummary document;
            if (!fiscalDocSummary(cashier, number, document)) {
                why = QStringLiteral("the register's document %1 could not be read").arg(number);
                return ReceiptSettlement::Unknown;
            }
            document.number = number;
            after << document;
        }
    }
    return settlement.decide(start, last, after, answer, why);
}
