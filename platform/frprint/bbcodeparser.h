#ifndef FRPRINT_BBCODEPARSER_H
#define FRPRINT_BBCODEPARSER_H

#include "textprinterdocument.h"

#include <QObject>
#include <QString>

namespace frprint {

// Turns BB-code markup into a print document. Understood: [b], [i], [u],
// [big] (per line), [left], [center], [right] (whole lines), [br], [hr],
// [img]file[/img] (a plain file name inside the images directory),
// [barcode type=N]data[/barcode] with N from 1 to 10 and [qr]data[/qr].
// Anything else, and tags without their partner, are printed as text:
// markup never makes printing fail.
class BbCodeParser : public QObject
{
    Q_OBJECT
public:
    explicit BbCodeParser(QObject *parent = nullptr);
    ~BbCodeParser() override;

    QString imagesPath() const { return m_imagesPath; }
    void setImagesPath(const QString &path) { m_imagesPath = path; }
    quint8 symbolsPerLine() const { return m_symbolsPerLine; }
    void setSymbolsPerLine(quint8 symbols) { m_symbolsPerLine = symbols; }

    // Replaces the document with the one the text describes.
    void parseText(const QString &text);
    TextPrinterDocument document() const { return m_document; }

private:
    TextPrinterDocument m_document;
    QString m_imagesPath;
    quint8 m_symbolsPerLine = 40;
};

} // namespace frprint

#endif
