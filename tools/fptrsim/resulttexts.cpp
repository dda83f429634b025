#include "resulttexts.h"

#include <fptrtypes.h>

#include <QHash>

using namespace TED::Fptr;

namespace {

const QHash<int, QString> &texts()
{
    static const QHash<int, QString> table = {
        {EC_OK, QStringLiteral("Ошибок нет")},
        {EC_NOT_CONNECTED, QStringLiteral("Нет связи")},
        {EC_PORT_UNAVAILABLE, QStringLiteral("Порт недоступен")},
        {EC_INVALID_PARAM, QStringLiteral("Недопустимое значение")},
        {EC_WRONG_SEQUENCE, QStringLiteral("Неверная последовательность команд")},
        {EC_NOT_ENABLED, QStringLiteral("Устройство не включено")},
        {EC_NOT_SUPPORTED, QStringLiteral("Не поддерживается")},
        {EC_PORT_BUSY, QStringLiteral("Порт занят")},
        {EC_BAD_DATA, QStringLiteral("Некорректные данные от устройства")},
        {EC_NOT_IN_THIS_MODE, QStringLiteral("Не поддерживается в данном режиме")},
        {EC_NO_REPLY, QStringLiteral("Нет ответа от устройства")},
        {EC_CONNECTION_LOST, QStringLiteral("Соединение разорвано")},
        {EC_BAD_SETTINGS, QStringLiteral("Неверные настройки")},
        {EC_UNKNOWN, QStringLiteral("Неизвестная ошибка")},
        {EC_CHECK_CLOSED, QStringLiteral("Чек закрыт - операция невозможна")},
        {EC_CHECK_OPENED, QStringLiteral("Чек открыт - операция невозможна")},
        {EC_NO_PAPER, QStringLiteral("Нет бумаги")},
        {EC_BAD_PAYMENT_TYPE, QStringLiteral("Неверный тип оплаты")},
        {EC_SHIFT_EXPIRED, QStringLiteral("Смена превысила 24 часа")},
        {EC_WRONG_PASSWORD, QStringLiteral("Неверный пароль")},
        {EC_SHIFT_CLOSED, QStringLiteral("Смена закрыта - операция невозможна")},
        {EC_SHIFT_OPENED, QStringLiteral("Смена открыта - операция невозможна")},
        {EC_NOT_FULLY_PAID, QStringLiteral("Чек оплачен не полностью")},
        {EC_BAD_REGISTER, QStringLiteral("Неверный номер регистра")},
        {EC_FN_FATAL, QStringLiteral("Фатальная ошибка ФН")},
        {EC_BAD_TAX_NUMBER, QStringLiteral("Неверный номер налога")},
    };
    return table;
}

} // namespace

QString ResultTexts::text(int code)
{
    return texts().value(code, texts().value(EC_UNKNOWN));
}
