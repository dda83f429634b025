#include "devicesettings.h"

#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

bool inRange(const QString &value, int minimum, int maximum)
{
    bool ok = false;
    const int number = value.trimmed().toInt(&ok);
    return ok && number >= minimum && number <= maximum;
}

} // namespace

QMap<QString, QString> DeviceSettings::defaults()
{
    return {{QStringLiteral("Model"), QStringLiteral("67")},
            {QStringLiteral("Port"), QStringLiteral("USB")},
            {QStringLiteral("TTYSuffix"), QString()},
            {QStringLiteral("BaudRate"), QStringLiteral("115200")},
            {QStringLiteral("Bits"), QStringLiteral("8")},
            {QStringLiteral("Parity"), QStringLiteral("0")},
            {QStringLiteral("StopBits"), QStringLiteral("0")},
            {QStringLiteral("FlowControl"), QStringLiteral("0")},
            {QStringLiteral("IPAddress"), QString()},
            {QStringLiteral("IPPort"), QStringLiteral("5555")},
            {QStringLiteral("AccessPassword"), QStringLiteral("0")},
            {QStringLiteral("UserPassword"), QStringLiteral("30")},
            {QStringLiteral("Protocol"), QStringLiteral("0")}};
}

QString DeviceSettings::invalidSetting(const QMap<QString, QString> &settings)
{
    const QString port = settings.value(QStringLiteral("Port"));
    static const QStringList ports = {QStringLiteral("TTY"), QStringLiteral("TCPIP"),
                                      QStringLiteral("USB"), QStringLiteral("BLUETOOTH")};
    if (!ports.contains(port))
        return QStringLiteral("Port");
    if (port == QLatin1String("TTY") && settings.value(QStringLiteral("TTYSuffix")).trimmed().isEmpty())
        return QStringLiteral("TTYSuffix");
    if (port == QLatin1String("TCPIP") && settings.value(QStringLiteral("IPAddress")).trimmed().isEmpty())
        return QStringLiteral("IPAddress");
    const struct
    {
        const char *name;
        int minimum;
        int maximum;
    } ranges[] = {{"BaudRate", 1200, 921600}, {"Bits", 7, 8},   {"Parity", 0, 4},
                  {"StopBits", 0, 2},        {"FlowControl", 0, 2}, {"IPPort", 1, 65535},
                  {"Protocol", 0, 2},        {"Model", 1, 999}};
    for (const auto &range : ranges) {
        const QString name = QString::fromLatin1(range.name);
        if (!inRange(settings.value(name), range.minimum, range.maximum))
            return name;
    }
    return QString();
}

QString DeviceSettings::toText(const QMap<QString, QString> &settings)
{
    QString text;
    QXmlStreamWriter xml(&text);
    xml.writeStartElement(QStringLiteral("settings"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
        xml.writeStartElement(QStringLiteral("value"));
        xml.writeAttribute(QStringLiteral("name"), it.key());
        xml.writeCharacters(it.value());
        xml.writeEndElement();
    }
    xml.writeEndElement();
    return text;
}

bool DeviceSettings::fromText(const QString &text, QMap<QString, QString> &settings)
{
    QXmlStreamReader xml(text);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("settings"))
        return false;
    QMap<QString, QString> read;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("value"))
            return false;
        const QString name = xml.attributes().value(QStringLiteral("name")).toString();
        const QString value = xml.readElementText();
        if (name.isEmpty() || xml.hasError())
            return false;
        read.insert(name, value);
    }
    if (xml.hasError())
        return false;
    settings = read;
    return true;
}
