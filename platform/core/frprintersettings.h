#ifndef CORE_FRPRINTERSETTINGS_H
#define CORE_FRPRINTERSETTINGS_H

#include <QVariantMap>

namespace core {

// Printer settings of a cashbox: how many characters of the base font fit
// on one line, and which font that is.
class FrPrinterSettings
{
public:
    static constexpr int DEFAULT_SYMBOLS_PER_LINE = 40;
    // Lines narrower than this are not a real printer.
    static constexpr int MIN_SYMBOLS_PER_LINE = 1;
    static constexpr int MAX_SYMBOLS_PER_LINE = 255;

    FrPrinterSettings() = default;
    explicit FrPrinterSettings(const QVariantMap &map);

    int symbolsPerLine() const { return m_symbolsPerLine; }
    // Values outside MIN_SYMBOLS_PER_LINE..MAX_SYMBOLS_PER_LINE are refused.
    bool setSymbolsPerLine(int symbols);
    int baseFont() const { return m_baseFont; }
    void setBaseFont(int font) { m_baseFont = font; }

    // "symbolsPerLine", "baseFont".
    QVariantMap toMap() const;
    // Missing or invalid values keep their defaults.
    void setMap(const QVariantMap &map);

    bool operator==(const FrPrinterSettings &other) const;
    bool operator!=(const FrPrinterSettings &other) const { return !(*this == other); }

private:
    int m_symbolsPerLine = DEFAULT_SYMBOLS_PER_LINE;
    int m_baseFont = 0;
};

} // namespace core

#endif
