#include "atolprinter.h"

#include "atol31apiwrapper.h"
#include "atoldriver.h"
#include "atollog_p.h"
#include "atoltables.h"

#include <documentblock.h>
#include <monochromeimage.h>
#include <textprinterdocument.h>

#include <QDir>

AtolPrinter::AtolPrinter(AtolDriver &driver)
    : m_driver(driver)
{
}

void AtolPrinter::printLine(const QString &line)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    QString text = line;
    if (text.startsWith(QLatin1Char('\t'))) {
        text.remove(QLatin1Char('\t'));
        fptr->put_Alignment(TED::Fptr::AlignmentRight);
    } else {
        fptr->put_Alignment(TED::Fptr::AlignmentLeft);
    }
    text.replace(QLatin1Char('\t'), QStringLiteral(": "));
    fptr->put_Caption(AtolDriver::wide(text).c_str());
    fptr->put_TextWrap(TED::Fptr::TextWrapWord);
    fptr->PrintString();
}

void AtolPrinter::printImage(const frprint::MonochromeImage &img)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (img.fileName().isEmpty() || !fptr)
        return;
    fptr->put_FileName(AtolDriver::wide(QDir::toNativeSeparators(img.fileName())).c_str());
    fptr->put_Alignment(TED::Fptr::AlignmentCenter);
    if (fptr->PrintPicture() < 0)
        qCWarning(lcAtol) << "Picture not printed:" << img.fileName();
}

void AtolPrinter::printDocument(const frprint::TextPrinterDocument &doc)
{
    TED::Fptr::IFptr *fptr = m_driver.fptr();
    if (fptr->put_Mode(TED::Fptr::ModeRegistration) < 0 || fptr->SetMode() < 0)
        m_driver.checkError();
    const int width = Atol31ApiWrapper::getSymbolsPerLine();
    const QList<frprint::DocumentBlock> blocks = doc.blocks();
    for (const frprint::DocumentBlock &block : blocks) {
        if (block.isImage()) {
            printImage(block.img());
        } else if (block.isText()) {
            const QStringList lines = block.toStringList(width);
            for (const QString &line : lines)
                printLine(line);
        } else if (block.isQrCode() || block.isBarcode()) {
            const int type = block.isQrCode() ? int(TED::Fptr::BarcodeQR) : AtolTables::barcodeType(block.barCodeType());
            if (type < 0) {
                qCWarning(lcAtol) << "Barcode type the register does not print:" << block.barCodeType();
                continue;
            }
            const QByteArray data = block.barcode();
            const QString text = data.isNull() ? QString()
                                               : QString::fromUtf8(data.constData(), int(qstrnlen(data.constData(), uint(data.size()))));
            fptr->put_BarcodeType(type);
            fptr->put_Barcode(AtolDriver::wide(text).c_str());
            fptr->PrintBarcode();
        }
    }
    if (doc.currentTicketAction() & frprint::TextPrinterDocument::FinishTicket) {
        if (fptr->put_Mode(TED::Fptr::ModeXReport) < 0 || fptr->SetMode() < 0)
            m_driver.checkError();
        if (fptr->EndDocument() < 0) {
            m_driver.checkError();
            fptr->ResetMode();
        }
    }
}
