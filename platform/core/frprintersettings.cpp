#include "frprintersettings.h"

namespace core {

namespace {

const QString kSymbolsPerLine = QStringLiteral("symbolsPerLine");
const QString kBaseFont = QStringLiteral("baseFont");

} // namespace

FrPrinterSettings::FrPrinterSettings(const QVariantMap &map)
{
    setMap(map);
}

bool FrPrinterSettings::setSymbolsPerLine(int symbols)
{
    if (symbols < MIN_SYMBOLS_PER_LINE || symbols > MAX_SYMBOLS_PER_LINE)
        return false;
    m_symbolsPerLine = symbols;
    return true;
}

QVariantMap FrPrinterSettings::toMap() const
{
    return {
        { kSymbolsPerLine, m_symbolsPerLine },
        { kBaseFont, m_baseFont },
    };
}

void FrPrinterSettings::setMap(const QVariantMap &map)
{
    *this = FrPrinterSettings();
    bool ok = false;
    const int symbols = map.value(kSymbolsPerLine).toInt(&ok);
    if (ok)
        setSymbolsPerLine(symbols);
    const int font = map.value(kBaseFont).toInt(&ok);
    if (ok && font >= 0)
        m_baseFont = font;
}

bool FrPrinterSettings::operator==(const FrPrinterSettings &other) const
{
    return m_symbolsPerLine == other.m_symbolsPerLine && m_baseFont == other.m_baseFont;
}

} // namespace core
