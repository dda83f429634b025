#ifndef FAKECOREAPI_H
#define FAKECOREAPI_H

#include "tillgatecoreapi.h"

#include <QVariantList>

// A fiscal core client that answers from the test instead of the bus. Each
// call is recorded as its name and arguments; every map-based operation
// answers with the prepared ok flag, error code and result map.
class FakeCoreApi : public TillgateCoreApi
{
    Q_OBJECT
public:
    using TillgateCoreApi::TillgateCoreApi;

    struct Call
    {
        QString name;
        QVariantList args;
    };

    bool ok = true;
    int error = 0;
    QVariantMap result;
    QString errorText;
    fiscal::FsStatus fsStatus;
    fiscal::RegData regData;
    QList<Call> calls;

    bool getFsStatus(fiscal::FsStatus &status) override
    {
        calls.append(Call{"getFsStatus", QVariantList{}});
        status = fsStatus;
        return ok;
    }
    bool getRegData(fiscal::RegData &data) override
    {
        calls.append(Call{"getRegData", QVariantList{}});
        data = regData;
        return ok;
    }
    bool getFullFrCoreState(QVariantMap &state, bool flag) override
    {
        calls.append(Call{"getFullFrCoreState", QVariantList{flag}});
        state = result;
        return ok;
    }
    bool getFiscalDoc(const core::Cashier &cashier, int number, bool print,
                      QVariantMap &document) override
    {
        calls.append(Call{"getFiscalDoc", QVariantList{cashier.name(), number, print}});
        document = result;
        return ok;
    }
    bool registreCheck(const QVariantMap &check, const core::Cashier &cashier,
                       QVariantMap &out, int &code) override
    {
        calls.append(Call{"registreCheck", QVariantList{check, cashier.name()}});
        return answer(out, code);
    }
    bool openCycle(const core::Cashier &cashier, bool print, int &code, QVariantMap &out) override
    {
        calls.append(Call{"openCycle", QVariantList{cashier.name(), print}});
        return answer(out, code);
    }
    bool closeCycle(const core::Cashier &cashier, bool print, bool xReportBefore, int &code,
                    QVariantMap &out) override
    {
        calls.append(Call{"closeCycle", QVariantList{cashier.name(), print, xReportBefore}});
        return answer(out, code);
    }
    bool xReport(const core::Cashier &cashier, bool print, bool byCashiers, int &code,
                 QVariantMap &out) override
    {
        calls.append(Call{"xReport", QVariantList{cashier.name(), print, byCashiers}});
        return answer(out, code);
    }
    bool calcReport(const core::Cashier &cashier, bool print, int &code, QVariantMap &out) override
    {
        calls.append(Call{"calcReport", QVariantList{cashier.name(), print}});
        return answer(out, code);
    }
    bool printText(const core::Cashier &cashier, const QVariantMap &text, int &code,
                   QVariantMap &out) override
    {
        calls.append(Call{"printText", QVariantList{cashier.name(), text}});
        return answer(out, code);
    }
    bool activate(const core::Cashier &cashier, bool printOnly, const QVariantMap &data,
                  const QString &sessionId, int &code, QVariantMap &out) override
    {
        calls.append(Call{"activate", QVariantList{cashier.name(), printOnly, data, sessionId}});
        return answer(out, code);
    }
    bool introduction(const core::Cashier &cashier, const qt5ext::FixNumber &sum, int &code,
                      QString &text) override
    {
        calls.append(Call{"introduction", QVariantList{cashier.name(), sum.value()}});
        return answer(code, text);
    }
    bool payout(const core::Cashier &cashier, const qt5ext::FixNumber &sum, int &code,
                QString &text) override
    {
        calls.append(Call{"payout", QVariantList{cashier.name(), sum.value()}});
        return answer(code, text);
    }
    bool closeFs(const core::Cashier &cashier, int &code, QString &text, QVariantMap &out) override
    {
        calls.append(Call{"closeFs", QVariantList{cashier.name()}});
        out = result;
        return answer(code, text);
    }

private:
    bool answer(QVariantMap &out, int &code)
    {
        out = result;
        code = error;
        return ok;
    }
    bool answer(int &code, QString &text)
    {
        code = error;
        text = errorText;
        return ok;
    }
};

#endif
