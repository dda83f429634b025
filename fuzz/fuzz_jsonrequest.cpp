// JSON bodies of the posting operations through the JSON processor, over a
// back-end double that accepts everything and the real check cache in a
// private root. The first byte picks the operation, the rest is the body.
#include "fakebackend.h"
#include "fuzzsupport.h"
#include "jsonrequestprocessor.h"
#include "tillgatecashedbinitializer.h"

#include <cashier.h>
#include <fileconfighelper.h>
#include <initconfig.h>

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::setUp();
    static const bool ready = [] {
        qt5ext::FileConfigHelper::setFileSystemRoot(fuzzsupport::scratchDir());
        qt5ext::InitConfig::setAppWorkDir(QStringLiteral("zelvotillgate"));
        QDir().mkpath(fuzzsupport::scratchDir() + QStringLiteral("/opt/zelvotillgate/etc"));
        return TillgateCasheDbInitializer::initializeDatabase();
    }();
    if (!ready || size < 1)
        return 0;
    const QByteArray body = fuzzsupport::bytes(data + 1, size - 1);
    JsonRequestProcessor processor(nullptr);
    processor.setBackEnd(new FakeBackEnd);
    core::Cashier cashier;
    cashier.setName(QStringLiteral("Ivanova"));
    cashier.setPassword(30);
    processor.setCashier(cashier);
    QByteArray answer;
    QByteArray statusText;
    switch (data[0] % 6) {
    case 0:
        processor.postFiscalCheck(body, answer, statusText);
        break;
    case 1:
        processor.postFiscalization(body, answer, statusText);
        break;
    case 2:
        processor.postPrintText(body, answer, statusText);
        break;
    case 3:
        processor.postRichText(body, answer, statusText);
        break;
    case 4:
        processor.chooseAtol(body, answer, statusText);
        break;
    default:
        processor.chooseCombine(body, answer, statusText);
        break;
    }
    return 0;
}
