#include "fiscaldocpropertyinfo_p.h"

#include <algorithm>
#include <cmath>

namespace fiscal {

Q_LOGGING_CATEGORY(lcFiscalProperty, "tillgate.fiscal")

namespace propinfo {

namespace {

using P = FiscalDocPropertyBase;

// Sorted by tag: tagInfo() searches it by halves.
const TagInfo TAGS[] = {
    {1001, P::ByteProperty, 1, YesNoFormat, "Признак автоматического режима", "АВТОМАТ. РЕЖИМ"},
    {1002, P::ByteProperty, 1, YesNoFormat, "Признак автономного режима", "АВТОНОМН. РЕЖИМ"},
    {1005, P::StringProperty, 256, PlainFormat, "Адрес оператора перевода", "АДР. ОП. ПЕРЕВОДА"},
    {1008, P::StringProperty, 64, PlainFormat, "Телефон или электронный адрес покупателя", "ТЕЛ./EMAIL ПОКУПАТЕЛЯ"},
    {1009, P::StringProperty, 256, PlainFormat, "Адрес расчетов", "АДР. РАСЧЕТОВ"},
    {1012, P::UnixTimeProperty, 4, PlainFormat, "Дата, время", "ДАТА ВРЕМЯ"},
    {1013, P::StringProperty, 20, PlainFormat, "Заводской номер ККТ", "ЗН ККТ"},
    {1016, P::FixedStringProperty, 12, PlainFormat, "ИНН оператора перевода", "ИНН ОП. ПЕРЕВОДА"},
    {1017, P::FixedStringProperty, 12, PlainFormat, "ИНН ОФД", nullptr},
    {1018, P::FixedStringProperty, 12, PlainFormat, "ИНН пользователя", "ИНН"},
    {1020, P::VlnProperty, 6, MoneyFormat, "Сумма расчета, указанного в чеке (БСО)", "ИТОГ"},
    {1021, P::StringProperty, 64, PlainFormat, "Кассир", "КАССИР"},
    {1023, P::FvlnProperty, 8, PlainFormat, "Количество предмета расчета", "КОЛ."},
    {1026, P::StringProperty, 64, PlainFormat, "Наименование оператора перевода", "ОП. ПЕРЕВОДА"},
    {1030, P::StringProperty, 128, PlainFormat, "Наименование предмета расчета", nullptr},
    {1031, P::VlnProperty, 6, MoneyFormat, "Сумма по чеку (БСО) наличными", "НАЛИЧНЫМИ"},
    {1036, P::StringProperty, 20, PlainFormat, "Номер автомата", "АВТОМАТ"},
    {1037, P::FixedStringProperty, 20, PlainFormat, "Регистрационный номер ККТ", "РН ККТ"},
    {1038, P::UInt32Property, 4, PlainFormat, "Номер смены", "СМЕНА"},
    {1040, P::UInt32Property, 4, PlainFormat, "Порядковый номер фискального документа", "ФД"},
    {1041, P::FixedStringProperty, 16, PlainFormat, "Заводской номер фискального накопителя", "ФН"},
    {1042, P::UInt32Property, 4, PlainFormat, "Номер чека за смену", "ЧЕК"},
    {1043, P::VlnProperty, 6, MoneyFormat, "Стоимость предмета расчета с учетом скидок и наценок", "СТОИМОСТЬ"},
    {1044, P::StringProperty, 24, PlainFormat, "Операция платежного агента", "ОП. АГЕНТА"},
    {1046, P::StringProperty, 256, PlainFormat, "Наименование ОФД", "ОФД"},
    {1048, P::StringProperty, 256, PlainFormat, "Наименование пользователя", "ПОЛЬЗОВАТЕЛЬ"},
    {1050, P::ByteProperty, 1, YesNoFormat, "Признак исчерпания ресурса ФН", "РЕСУРС ФН ИСЧЕРПАН"},
    {1051, P::ByteProperty, 1, YesNoFormat, "Признак необходимости срочной замены ФН", "СРОЧНАЯ ЗАМЕНА ФН"},
    {1052, P::ByteProperty, 1, YesNoFormat, "Признак заполнения памяти ФН", "ПАМЯТЬ ФН ЗАПОЛНЕНА"},
    {1053, P::ByteProperty, 1, YesNoFormat, "Признак превышения времени ожидания ответа ОФД", "ПРЕВЫШЕНО ВРЕМЯ ОЖИДАНИЯ ОФД"},
    {1054, P::ByteProperty, 1, OperationTypeFormat, "Признак расчета", nullptr},
    {1055, P::BitFlagsProperty, 1, TaxationFormat, "Применяемая система налогообложения", "СНО"},
    {1056, P::ByteProperty, 1, YesNoFormat, "Признак шифрования", "ШИФРОВАНИЕ"},
    {1057, P::BitFlagsProperty, 1, AgentFormat, "Признак агента", "АГЕНТ"},
    {1059, P::ComplexProperty, 1024, PlainFormat, "Предмет расчета", nullptr},
    {1060, P::StringProperty, 256, PlainFormat, "Адрес сайта ФНС", "САЙТ ФНС"},
    {1062, P::BitFlagsProperty, 1, TaxationFormat, "Системы налогообложения", "СНО"},
    {1073, P::StringProperty, 19, PlainFormat, "Телефон платежного агента", "ТЕЛ. ПЛ. АГЕНТА"},
    {1074, P::StringProperty, 19, PlainFormat, "Телефон оператора по приему платежей", "ТЕЛ. ОП. ПРИЕМА ПЛАТЕЖЕЙ"},
    {1075, P::StringProperty, 19, PlainFormat, "Телефон оператора перевода", "ТЕЛ. ОП. ПЕРЕВОДА"},
    {1077, P::BytesProperty, 6, FiscalSignFormat, "Фискальный признак документа", "ФП"},
    {1079, P::VlnProperty, 6, MoneyFormat, "Цена за единицу предмета расчета с учетом скидок и наценок", "ЦЕНА"},
    {1081, P::VlnProperty, 6, MoneyFormat, "Сумма по чеку (БСО) безналичными", "БЕЗНАЛИЧНЫМИ"},
    {1084, P::ComplexProperty, 320, PlainFormat, "Дополнительный реквизит пользователя", nullptr},
    {1085, P::StringProperty, 64, PlainFormat, "Наименование дополнительного реквизита пользователя", nullptr},
    {1086, P::StringProperty, 256, PlainFormat, "Значение дополнительного реквизита пользователя", nullptr},
    {1097, P::UInt32Property, 4, PlainFormat, "Количество непереданных ФД", "НЕПЕРЕДАННЫХ ФД"},
    {1098, P::UnixTimeProperty, 4, PlainFormat, "Дата и время первого из непереданных ФД", "ПЕРВЫЙ НЕПЕРЕДАННЫЙ ФД"},
    {1101, P::ByteProperty, 1, PlainFormat, "Код причины перерегистрации", "ПРИЧИНА ПЕРЕРЕГ."},
    {1102, P::VlnProperty, 6, MoneyFormat, "Сумма НДС чека по ставке 20%", "СУММА НДС 20%"},
    {1103, P::VlnProperty, 6, MoneyFormat, "Сумма НДС чека по ставке 10%", "СУММА НДС 10%"},
    {1104, P::VlnProperty, 6, MoneyFormat, "Сумма расчета по чеку с НДС по ставке 0%", "СУММА С НДС 0%"},
    {1105, P::VlnProperty, 6, MoneyFormat, "Сумма расчета по чеку без НДС", "СУММА БЕЗ НДС"},
    {1106, P::VlnProperty, 6, MoneyFormat, "Сумма НДС чека по расчетной ставке 20/120", "СУММА НДС 20/120"},
    {1107, P::VlnProperty, 6, MoneyFormat, "Сумма НДС чека по расчетной ставке 10/110", "СУММА НДС 10/110"},
    {1108, P::ByteProperty, 1, YesNoFormat, "Признак ККТ для расчетов только в Интернет", "ККТ ДЛЯ ИНТЕРНЕТ"},
    {1109, P::ByteProperty, 1, YesNoFormat, "Признак расчетов за услуги", "УСЛУГИ"},
    {1110, P::ByteProperty, 1, YesNoFormat, "Признак АС БСО", "БСО"},
    {1111, P::UInt32Property, 4, PlainFormat, "Общее количество ФД за смену", "ФД ЗА СМЕНУ"},
    {1116, P::UInt32Property, 4, PlainFormat, "Номер первого непереданного документа", "ПЕРВЫЙ НЕПЕРЕДАННЫЙ"},
    {1117, P::StringProperty, 64, PlainFormat, "Адрес электронной почты отправителя чека", "ЭЛ. АДР. ОТПРАВИТЕЛЯ"},
    {1118, P::UInt32Property, 4, PlainFormat, "Количество кассовых чеков (БСО) за смену", "ЧЕКОВ ЗА СМЕНУ"},
    {1126, P::ByteProperty, 1, YesNoFormat, "Признак проведения лотереи", "ЛОТЕРЕЯ"},
    {1162, P::BytesProperty, 32, PlainFormat, "Код товара", "КОД ТОВАРА"},
    {1171, P::StringProperty, 19, PlainFormat, "Телефон поставщика", "ТЕЛ. ПОСТАВЩИКА"},
    {1173, P::ByteProperty, 1, CorrectionTypeFormat, "Тип коррекции", "ТИП КОРРЕКЦИИ"},
    {1174, P::ComplexProperty, 292, PlainFormat, "Основание для коррекции", nullptr},
    {1177, P::StringProperty, 256, PlainFormat, "Описание коррекции", nullptr},
    {1178, P::UnixTimeProperty, 4, PlainFormat, "Дата документа основания для коррекции", "ДАТА ДОК. ОСНОВАНИЯ"},
    {1179, P::StringProperty, 32, PlainFormat, "Номер документа основания для коррекции", "НОМЕР ДОК. ОСНОВАНИЯ"},
    {1187, P::StringProperty, 256, PlainFormat, "Место расчетов", "МЕСТО РАСЧЕТОВ"},
    {1188, P::StringProperty, 8, PlainFormat, "Версия ККТ", "ВЕРСИЯ ККТ"},
    {1189, P::ByteProperty, 1, FfdVersionFormat, "Версия ФФД ККТ", "ФФД ККТ"},
    {1190, P::ByteProperty, 1, FfdVersionFormat, "Версия ФФД ФН", "ФФД ФН"},
    {1191, P::StringProperty, 64, PlainFormat, "Дополнительный реквизит предмета расчета", nullptr},
    {1192, P::StringProperty, 16, PlainFormat, "Дополнительный реквизит чека (БСО)", "ДОП. РЕКВИЗИТ"},
    {1193, P::ByteProperty, 1, YesNoFormat, "Признак проведения азартных игр", "АЗАРТНЫЕ ИГРЫ"},
    {1196, P::StringProperty, 256, PlainFormat, "QR-код", nullptr},
    {1197, P::StringProperty, 16, PlainFormat, "Единица измерения предмета расчета", "ЕД. ИЗМ."},
    {1198, P::VlnProperty, 6, MoneyFormat, "Размер НДС за единицу предмета расчета", "НДС ЗА ЕД."},
    {1199, P::ByteProperty, 1, VatRateFormat, "Ставка НДС", "НДС"},
    {1200, P::VlnProperty, 6, MoneyFormat, "Сумма НДС за предмет расчета", "СУММА НДС"},
    {1203, P::FixedStringProperty, 12, PlainFormat, "ИНН кассира", "ИНН КАССИРА"},
    {1205, P::UInt32Property, 4, PlainFormat, "Коды причин изменения сведений о ККТ", "ПРИЧИНЫ ИЗМЕНЕНИЯ"},
    {1206, P::BitFlagsProperty, 1, PlainFormat, "Сообщение оператора", "СООБЩЕНИЕ ОФД"},
    {1207, P::ByteProperty, 1, YesNoFormat, "Признак торговли подакцизными товарами", "ПОДАКЦИЗНЫЕ ТОВАРЫ"},
    {1208, P::StringProperty, 256, PlainFormat, "Сайт чеков", "САЙТ ЧЕКОВ"},
    {1209, P::ByteProperty, 1, FfdVersionFormat, "Номер версии ФФД", "ФФД"},
    {1212, P::ByteProperty, 1, ItemTypeFormat, "Признак предмета расчета", nullptr},
    {1213, P::UInt16Property, 2, PlainFormat, "Ресурс ключей ФП", "РЕСУРС КЛЮЧЕЙ"},
    {1214, P::ByteProperty, 1, PaymentMethodFormat, "Признак способа расчета", nullptr},
    {1215, P::VlnProperty, 6, MoneyFormat, "Сумма по чеку (БСО) предоплатой (зачетом аванса)", "ПРЕДОПЛАТА (АВАНС)"},
    {1216, P::VlnProperty, 6, MoneyFormat, "Сумма по чеку (БСО) постоплатой (в кредит)", "ПОСТОПЛАТА (КРЕДИТ)"},
    {1217, P::VlnProperty, 6, MoneyFormat, "Сумма по чеку (БСО) встречным предоставлением", "ИНАЯ ФОРМА ОПЛАТЫ"},
    {1221, P::ByteProperty, 1, YesNoFormat, "Признак установки принтера в автомате", "ПРИНТЕР В АВТОМАТЕ"},
    {1222, P::BitFlagsProperty, 1, AgentFormat, "Признак агента по предмету расчета", "АГЕНТ"},
    {1223, P::ComplexProperty, 512, PlainFormat, "Данные агента", nullptr},
    {1224, P::ComplexProperty, 512, PlainFormat, "Данные поставщика", nullptr},
    {1225, P::StringProperty, 256, PlainFormat, "Наименование поставщика", "ПОСТАВЩИК"},
    {1226, P::FixedStringProperty, 12, PlainFormat, "ИНН поставщика", "ИНН ПОСТАВЩИКА"},
    {1227, P::StringProperty, 256, PlainFormat, "Покупатель (клиент)", "ПОКУПАТЕЛЬ"},
    {1228, P::FixedStringProperty, 12, PlainFormat, "ИНН покупателя (клиента)", "ИНН ПОКУПАТЕЛЯ"},
    {1229, P::VlnProperty, 6, MoneyFormat, "Акциз", "АКЦИЗ"},
    {1230, P::StringProperty, 3, PlainFormat, "Код страны происхождения товара", "КОД СТРАНЫ"},
    {1231, P::StringProperty, 32, PlainFormat, "Номер таможенной декларации", "НОМЕР ДЕКЛАРАЦИИ"},
    // Printed under the item, without a label.
    {3005, P::StringProperty, 256, PlainFormat, "Дополнительные сведения о предмете расчета", ""},
};

constexpr int TAG_COUNT = int(sizeof(TAGS) / sizeof(TAGS[0]));

const char *const OPERATION_TYPES[] = {
    "ПРИХОД", "ВОЗВРАТ ПРИХОДА", "РАСХОД", "ВОЗВРАТ РАСХОДА"};
const char *const TAXATION_BITS[] = {
    "ОСН", "УСН доход", "УСН доход - расход", "ЕНВД", "ЕСХН", "ПСН"};
const char *const AGENT_BITS[] = {
    "БАНК. ПЛ. АГЕНТ", "БАНК. ПЛ. СУБАГЕНТ", "ПЛ. АГЕНТ", "ПЛ. СУБАГЕНТ",
    "ПОВЕРЕННЫЙ", "КОМИССИОНЕР", "АГЕНТ"};
const char *const VAT_RATES[] = {
    "НДС 20%", "НДС 10%", "НДС 20/120", "НДС 10/110", "НДС 0%", "БЕЗ НДС"};
const char *const ITEM_TYPES[] = {
    "ТОВАР", "ПОДАКЦИЗНЫЙ ТОВАР", "РАБОТА", "УСЛУГА", "СТАВКА АЗАРТНОЙ ИГРЫ",
    "ВЫИГРЫШ АЗАРТНОЙ ИГРЫ", "ЛОТЕРЕЙНЫЙ БИЛЕТ", "ВЫИГРЫШ ЛОТЕРЕИ",
    "ПРЕДОСТАВЛЕНИЕ РИД", "ПЛАТЕЖ", "АГЕНТСКОЕ ВОЗНАГРАЖДЕНИЕ",
    "СОСТАВНОЙ ПРЕДМЕТ РАСЧЕТА", "ИНОЙ ПРЕДМЕТ РАСЧЕТА"};
const char *const PAYMENT_METHODS[] = {
    "ПРЕДОПЛАТА 100%", "ПРЕДОПЛАТА", "АВАНС", "ПОЛНЫЙ РАСЧЕТ",
    "ЧАСТИЧНЫЙ РАСЧЕТ И КРЕДИТ", "ПЕРЕДАЧА В КРЕДИТ", "ОПЛАТА КРЕДИТА"};
const char *const FFD_VERSIONS[] = {"1.0", "1.05", "1.1", "1.2"};
const char *const CORRECTION_TYPES[] = {"САМОСТОЯТЕЛЬНО", "ПО ПРЕДПИСАНИЮ"};

// Name of `value` in a list whose first entry has code `first`.
template<int N>
QString codeName(const char *const (&names)[N], quint64 value, quint64 first)
{
    if (value >= first && value - first < quint64(N))
        return QString::fromUtf8(names[value - first]);
    return QString::number(value);
}

// Names of the bits set, lowest first; bits without a name add their sum.
template<int N>
QString bitNames(const char *const (&names)[N], quint64 value)
{
    QStringList parts;
    quint64 unnamed = 0;
    for (int bit = 0; bit < 64; ++bit) {
        const quint64 mask = quint64(1) << bit;
        if (!(value & mask))
            continue;
        if (bit < N)
            parts.append(QString::fromUtf8(names[bit]));
        else
            unnamed |= mask;
    }
    if (unnamed || parts.isEmpty())
        parts.append(QString::number(unnamed));
    return parts.join(QStringLiteral(", "));
}

} // namespace

const TagInfo *tagInfo(quint16 tag)
{
    const TagInfo *end = TAGS + TAG_COUNT;
    const TagInfo *it = std::lower_bound(TAGS, end, tag,
                                         [](const TagInfo &info, quint16 t) { return info.tag < t; });
    return it != end && it->tag == tag ? it : nullptr;
}

const TagInfo *tagInfos(int *count)
{
    *count = TAG_COUNT;
    return TAGS;
}

QStringList captions(const TagInfo *info)
{
    if (!info)
        return {};
    QStringList list{QString::fromUtf8(info->caption)};
    if (info->label)
        list.append(QString::fromUtf8(info->label));
    return list;
}

QString integerText(ValueFormat format, quint64 value)
{
    switch (format) {
    case YesNoFormat:
        if (value <= 1)
            return value ? QStringLiteral("да") : QStringLiteral("нет");
        return QString::number(value);
    case FfdVersionFormat:
        return codeName(FFD_VERSIONS, value, 1);
    case OperationTypeFormat:
        return codeName(OPERATION_TYPES, value, 1);
    case TaxationFormat:
        return bitNames(TAXATION_BITS, value);
    case AgentFormat:
        return bitNames(AGENT_BITS, value);
    case VatRateFormat:
        return codeName(VAT_RATES, value, 1);
    case ItemTypeFormat:
        return codeName(ITEM_TYPES, value, 1);
    case PaymentMethodFormat:
        return codeName(PAYMENT_METHODS, value, 1);
    case CorrectionTypeFormat:
        return codeName(CORRECTION_TYPES, value, 0);
    case MoneyFormat:
        return QStringLiteral("%1.%2").arg(value / 100).arg(value % 100, 2, 10, QLatin1Char('0'));
    case PlainFormat:
    case FiscalSignFormat:
        break;
    }
    return QString::number(value);
}

bool toUnsigned(const QVariant &value, quint64 max, bool allowBool, quint64 *out, QString *error)
{
    quint64 result = 0;
    switch (value.userType()) {
    case QMetaType::Bool:
        if (!allowBool) {
            *error = QStringLiteral("a yes/no value where a number is expected");
            return false;
        }
        result = value.toBool() ? 1 : 0;
        break;
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar: {
        const qint64 v = value.toLongLong();
        if (v < 0) {
            *error = QStringLiteral("the negative number %1").arg(v);
            return false;
        }
        result = quint64(v);
        break;
    }
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        result = value.toULongLong();
        break;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double v = value.toDouble();
        if (!std::isfinite(v) || v < 0 || std::floor(v) != v || v > double(max)) {
            *error = QStringLiteral("%1 is not a whole number from 0 to %2").arg(v).arg(max);
            return false;
        }
        result = quint64(v);
        break;
    }
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString text = value.toString().trimmed();
        bool ok = !text.isEmpty() && text.size() <= 20;
        for (const QChar c : text)
            ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (ok)
            result = text.toULongLong(&ok);
        if (!ok) {
            *error = QStringLiteral("\"%1\" is not a whole number").arg(text.left(40));
            return false;
        }
        break;
    }
    default:
        *error = QStringLiteral("a value of type %1 where a number is expected")
                .arg(QString::fromLatin1(value.typeName()));
        return false;
    }
    if (result > max) {
        *error = QStringLiteral("%1 is larger than %2").arg(result).arg(max);
        return false;
    }
    *out = result;
    return true;
}

QStringList wrap(const QString &text, int width)
{
    if (width <= 0 || text.size() <= width)
        return {text};
    QStringList lines;
    QString line;
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString word : words) {
        if (!line.isEmpty() && line.size() + 1 + word.size() <= width) {
            line += QLatin1Char(' ') + word;
            continue;
        }
        if (!line.isEmpty())
            lines.append(line);
        while (word.size() > width) {
            lines.append(word.left(width));
            word.remove(0, width);
        }
        line = word;
    }
    if (!line.isEmpty() || lines.isEmpty())
        lines.append(line);
    return lines;
}

} // namespace propinfo
} // namespace fiscal
