#ifndef ATOLPRINTER_H
#define ATOLPRINTER_H

#include <QString>

class AtolDriver;

namespace frprint {
class MonochromeImage;
class TextPrinterDocument;
}

// Prints non-fiscal text on the register: documents of text, pictures,
// barcodes and QR codes, and single text lines for receipts.
class AtolPrinter
{
public:
    explicit AtolPrinter(AtolDriver &driver);

    // Expects the device enabled and the operator password put.
    void printDocument(const frprint::TextPrinterDocument &doc);
    // A line starting with a tab goes right-aligned without tabs; a tab
    // inside shows as ": ".
    void printLine(const QString &line);
    void printImage(const frprint::MonochromeImage &img);

private:
    AtolDriver &m_driver;
};

#endif
