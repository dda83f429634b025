#ifndef RECORDINGBACKEND_H
#define RECORDINGBACKEND_H

#include "basecoreapiwrapper.h"

#include <cashier.h>
#include <fixnumber.h>
#include <fsstatus.h>
#include <regdata.h>

#include <QStringList>
#include <QVariantMap>

// A device back-end that keeps what reached it and answers as told:
// success with `result`, or failure with `error`.
class RecordingBackEnd : public BaseCoreApiWrapper
{
    Q_OBJECT
public:
    using BaseCoreApiWrapper::BaseCoreApiWrapper;

    bool ok = true;
    int error = 0;
    QString errorText;
    QVariantMap result { { "answer", "device" } };
    fiscal::FsStatus fsStatus;
    QVariantMap state;

    QStringList calls;
    QVariantMap lastCheck;
    QVariantMap lastText;
    QVariantMap lastData;
    QString lastSessionId;
    bool lastPrintOnly = false;
    QStringList printed;

    bool hasApi() const override { return true; }
    bool getFsStatus(fiscal::FsStatus &status) override
    {
        calls << "getFsStatus";
        status = fsStatus;
        return ok;
    }
    bool getFullFrCoreState(QVariantMap &out, bool) override
    {
        calls << "getFullFrCoreState";
        out = state;
        return ok;
    }
    bool getFiscalDoc(const core::Cashier &, int, bool, QVariantMap &document) override
    {
        calls << "getFiscalDoc";
        document = result;
        return ok;
    }
    bool registreCheck(const QVariantMap &check, const core::Cashier &, QVariantMap &out, int &code) override
    {
        calls << "registreCheck";
        lastCheck = check;
        return answer(out, code);
    }
    bool openCycle(const core::Cashier &, bool, int &code, QVariantMap &out) override
    {
        calls << "openCycle";
        return answer(out, code);
    }
    bool closeCycle(const core::Cashier &, bool, int &code, QVariantMap &out) override
    {
        calls << "closeCycle";
        return answer(out, code);
    }
    bool xReport(const core::Cashier &, bool, bool, int &code, QVariantMap &out) override
    {
        calls << "xReport";
        return answer(out, code);
    }
    bool calcReport(const core::Cashier &, bool, int &code, QVariantMap &out) override
    {
        calls << "calcReport";
        return answer(out, code);
    }
    bool printText(const core::Cashier &, const QVariantMap &text, int &code, QVariantMap &out) override
    {
        calls << "printText";
        lastText = text;
        return answer(out, code);
    }
    bool activate(const core::Cashier &, bool printOnly, const QString &sessionId, const QVariantMap &data,
                  int &code, QVariantMap &out) override
    {
        calls << "activate";
        lastPrintOnly = printOnly;
        lastSessionId = sessionId;
        lastData = data;
        return answer(out, code);
    }
    bool getRegData(fiscal::RegData &) override { return true; }
    bool printBbcode(const QString &text, QString &textOut, int &code) override
    {
        calls << "printBbcode";
        printed << text;
        code = error;
        textOut = errorText;
        return ok;
    }
    bool printPlainText(QString text, QString &textOut, int &code) override
    {
        calls << "printPlainText";
        printed << text;
        code = error;
        textOut = errorText;
        return ok;
    }
    bool introduction(const core::Cashier &, const qt5ext::FixNumber &, int &code, QString &textOut) override
    {
        calls << "introduction";
        code = error;
        textOut = errorText;
        return ok;
    }
    bool payout(const core::Cashier &, const qt5ext::FixNumber &, int &code, QString &textOut) override
    {
        calls << "payout";
        code = error;
        textOut = errorText;
        return ok;
    }
    bool closeFs(const core::Cashier &, int &code, QString &textOut, QVariantMap &) override
    {
        calls << "closeFs";
        code = error;
        textOut = errorText;
        return ok;
    }

private:
    bool answer(QVariantMap &out, int &code)
    {
        out = result;
        code = error;
        return ok;
    }
};

#endif
