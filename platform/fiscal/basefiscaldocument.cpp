#include "basefiscaldocument.h"

namespace fiscal {

BaseFiscalDocument::BaseFiscalDocument(int docType)
    : m_docType(docType)
{
}

BaseFiscalDocument::~BaseFiscalDocument() = default;

QString BaseFiscalDocument::docName(int docType)
{
    switch (docType) {
    case RegistrationReport:
        return QStringLiteral("Отчёт о регистрации");
    case RegistrationChangeReport:
        return QStringLiteral("Отчёт об изменении параметров регистрации");
    case ShiftOpenReport:
        return QStringLiteral("Отчёт об открытии смены");
    case CurrentStateReport:
        return QStringLiteral("Отчёт о текущем состоянии расчётов");
    case Receipt:
        return QStringLiteral("Кассовый чек");
    case CorrectionReceipt:
        return QStringLiteral("Кассовый чек коррекции");
    case Bso:
        return QStringLiteral("Бланк строгой отчётности");
    case BsoCorrection:
        return QStringLiteral("Бланк строгой отчётности коррекции");
    case ShiftCloseReport:
        return QStringLiteral("Отчёт о закрытии смены");
    case FsCloseReport:
        return QStringLiteral("Отчёт о закрытии фискального накопителя");
    case OperatorConfirmation:
        return QStringLiteral("Подтверждение оператора");
    default:
        return QStringLiteral("Неизвестный документ (%1)").arg(docType);
    }
}

} // namespace fiscal
