#ifndef FAKEBACKEND_H
#define FAKEBACKEND_H

#include "basecoreapiwrapper.h"

#include <cashier.h>
#include <fixnumber.h>
#include <fsstatus.h>
#include <regdata.h>

#include <QStringList>
#include <QVariantMap>

// A back-end that answers as it is told: success with a result, failure with
// an error code (the timeout code included), or no link at all. It records
// every call so that tests can tell what reached the "device".
class FakeBackEnd : public BaseCoreApiWrapper
{
    Q_OBJECT
public:
    enum Mode { Succeed, Fail, NoApi };

    explicit FakeBackEnd(QObject *parent = nullptr)
        : BaseCoreApiWrapper(parent)
    {
        fsStatus.setFsNumber("9999078900001234");
        fsStatus.setPhase(fiscal::FsStatus::PhaseFiscalMode);
    }

    Mode mode = Succeed;
    int errorCode = 0;
    QString errorText;
    QVariantMap result{{"answer", "device"}};
    fiscal::RegData regData;
    fiscal::FsStatus fsStatus;
    QVariantMap state{{"model", 45}, {"ver", "3"}, {"modelstr", "Ostrak"}, {"mode", 1}};
    QStringList calls;
    QVariantMap lastCheck;
    QVariantMap lastText;
    QVariantMap lastData;
    QString lastSessionId;
    bool lastPrintOnly = false;
    bool lastPrint = false;
    int lastNumber = -1;
    qint64 lastSum = -1;
    QStringList printed;

    bool hasApi() const override { return mode != NoApi; }
    bool getFsStatus(fiscal::FsStatus &status) override
    {
        calls << "getFsStatus";
        status = fsStatus;
        return mode == Succeed;
    }
    bool getFullFrCoreState(QVariantMap &out, bool flag) override
    {
        calls << "getFullFrCoreState";
        if (!flag)
            return false;
        out = state;
        return mode == Succeed;
    }
    bool getFiscalDoc(const core::Cashier &, int number, bool print, QVariantMap &document) override
    {
        calls << "getFiscalDoc";
        lastNumber = number;
        lastPrint = print;
        document = result;
        return mode == Succeed;
    }
    bool registreCheck(const QVariantMap &check, const core::Cashier &, QVariantMap &out, int &error) override
    {
        calls << "registreCheck";
        lastCheck = check;
        return answer(out, error);
    }
    bool openCycle(const core::Cashier &, bool print, int &error, QVariantMap &out) override
    {
        calls << "openCycle";
        lastPrint = print;
        return answer(out, error);
    }
    bool closeCycle(const core::Cashier &, bool print, int &error, QVariantMap &out) override
    {
        calls << "closeCycle";
        lastPrint = print;
        return answer(out, error);
    }
    bool xReport(const core::Cashier &, bool print, bool, int &error, QVariantMap &out) override
    {
        calls << "xReport";
        lastPrint = print;
        return answer(out, error);
    }
    bool calcReport(const core::Cashier &, bool print, int &error, QVariantMap &out) override
    {
        calls << "calcReport";
        lastPrint = print;
        return answer(out, error);
    }
    bool printText(const core::Cashier &, const QVariantMap &text, int &error, QVariantMap &out) override
    {
        calls << "printText";
        lastText = text;
        return answer(out, error);
    }
    bool activate(const core::Cashier &, bool printOnly, const QString &sessionId, const QVariantMap &data,
                  int &error, QVariantMap &out) override
    {
        calls << "activate";
        lastPrintOnly = printOnly;
        lastSessionId = sessionId;
        lastData = data;
        return answer(out, error);
    }
    bool getRegData(fiscal::RegData &data) override
    {
        data = regData;
        return true;
    }
    bool printBbcode(const QString &text, QString &textOut, int &error) override
    {
        calls << "printBbcode";
        printed << text;
        error = errorCode;
        textOut = errorText;
        return mode == Succeed;
    }
    bool printPlainText(QString text, QString &textOut, int &error) override
    {
        calls << "printPlainText";
        printed << text;
        error = errorCode;
        textOut = errorText;
        return mode == Succeed;
    }
    bool introduction(const core::Cashier &, const qt5ext::FixNumber &sum, int &error, QString &textOut) override
    {
        calls << "introduction";
        lastSum = sum.value();
        return cash(error, textOut);
    }
    bool payout(const core::Cashier &, const qt5ext::FixNumber &sum, int &error, QString &textOut) override
    {
        calls << "payout";
        lastSum = sum.value();
        return cash(error, textOut);
    }
    bool closeFs(const core::Cashier &, int &error, QString &textOut, QVariantMap &out) override
    {
        calls << "closeFs";
        out = result;
        return cash(error, textOut);
    }

private:
    bool answer(QVariantMap &out, int &error)
    {
        out = result;
        if (mode == Succeed)
            return true;
        error = errorCode;
        return false;
    }
    bool cash(int &error, QString &textOut)
    {
        if (mode == Succeed)
            return true;
        error = errorCode;
        textOut = errorText;
        return false;
    }
};

#endif
