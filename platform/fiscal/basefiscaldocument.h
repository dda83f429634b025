#ifndef FISCAL_BASEFISCALDOCUMENT_H
#define FISCAL_BASEFISCALDOCUMENT_H

#include <QString>

namespace fiscal {

// Common ground of the documents a fiscal storage keeps: the document type
// as the storage reports it (the form code of the fiscal data format).
class BaseFiscalDocument
{
public:
    enum DocumentType : int {
        UnknownDocument = 0,
        RegistrationReport = 1,
        ShiftOpenReport = 2,
        Receipt = 3,
        Bso = 4,
        ShiftCloseReport = 5,
        FsCloseReport = 6,
        OperatorConfirmation = 7,
        RegistrationChangeReport = 11,
        CurrentStateReport = 21,
        CorrectionReceipt = 31,
        BsoCorrection = 41
    };

    explicit BaseFiscalDocument(int docType = UnknownDocument);
    virtual ~BaseFiscalDocument();

    int docType() const { return m_docType; }
    void setDocType(int docType) { m_docType = docType; }

    // Russian name of a document type as printed on reports; an unknown
    // type still gets a name that carries its number.
    static QString docName(int docType);

private:
    int m_docType;
};

} // namespace fiscal

#endif
