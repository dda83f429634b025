#ifndef FPTR_FPTRTYPES_H
#define FPTR_FPTRTYPES_H

namespace TED {
namespace Fptr {

// Values of get_ResultCode: 0 is success, everything negative a failure.
enum ResultCode {
    EC_OK = 0,
    EC_NOT_CONNECTED = -1,
    EC_PORT_UNAVAILABLE = -3,
    EC_INVALID_PARAM = -6,
    EC_WRONG_SEQUENCE = -10,
    EC_NOT_ENABLED = -11,
    EC_NOT_SUPPORTED = -12,
    EC_PORT_BUSY = -14,
    EC_BAD_DATA = -15,
    EC_NOT_IN_THIS_MODE = -16,
    EC_NO_REPLY = -20,
    EC_CONNECTION_LOST = -21,
    EC_BAD_SETTINGS = -24,
    EC_UNKNOWN = -199,
    EC_CHECK_CLOSED = -3801,
    EC_CHECK_OPENED = -3802,
    EC_NO_PAPER = -3807,
    EC_BAD_PAYMENT_TYPE = -3816,
    EC_SHIFT_EXPIRED = -3822,
    EC_WRONG_PASSWORD = -3825,
    EC_SHIFT_CLOSED = -3828,
    EC_SHIFT_OPENED = -3837,
    EC_NOT_FULLY_PAID = -3897,
    EC_BAD_REGISTER = -3901,
    EC_FN_FATAL = -3913,
    EC_BAD_TAX_NUMBER = -4022
};

enum ChequeType {
    ChequeClosed = 0,
    ChequeSell = 1,
    ChequeSellReturn = 2,
    ChequeSellAnnulate = 3,
    ChequeBuy = 4,
    ChequeBuyReturn = 5,
    ChequeBuyAnnulate = 6,
    ChequeSellCorrection = 7,
    ChequeSellReturnCorrection = 8,
    ChequeBuyCorrection = 9,
    ChequeBuyReturnCorrection = 10
};

enum FiscalPropertyType {
    FiscalPropertyTypeRaw = 0,
    FiscalPropertyTypeByte = 1,
    FiscalPropertyTypeInt16 = 2,
    FiscalPropertyTypeInt32 = 3,
    FiscalPropertyTypeUnixTime = 4,
    FiscalPropertyTypeString = 5
};

enum BarcodeType {
    BarcodeEAN8 = 0,
    BarcodeEAN13 = 1,
    BarcodeUPCA = 2,
    BarcodeCode39 = 3,
    BarcodeQR = 4,
    BarcodePDF417 = 5,
    BarcodeITF14 = 6,
    BarcodeInterleaved2of5 = 7,
    BarcodeUPCE = 8,
    BarcodeCodabar = 9,
    BarcodeCode93 = 10,
    BarcodeCode128 = 11
};

enum ReportType {
    ReportZ = 1,
    ReportX = 2,
    ReportDocumentByNumber = 34,
    ReportSettlementState = 42
};

enum Mode {
    ModeSelect = 0,
    ModeRegistration = 1,
    ModeXReport = 2,
    ModeZReport = 3,
    ModeProgramming = 4,
    ModeFiscalMemory = 5,
    ModeFN = 6
};

enum Alignment {
    AlignmentLeft = 0,
    AlignmentCenter = 1,
    AlignmentRight = 2
};

enum TextWrap {
    TextWrapNone = 0,
    TextWrapWord = 1,
    TextWrapLine = 2
};

// Tax numbers as the registers of format 1.0 number them; registers of
// later formats take the VAT rate codes of the fiscal data format instead.
enum TaxNumber {
    TaxVAT0 = 1,
    TaxVAT10 = 2,
    TaxVAT20 = 3,
    TaxNoVAT = 4,
    TaxVAT110 = 5,
    TaxVAT120 = 6
};

// Operator numbers whose password opens the reporting and programming
// modes; 1 to 28 are cashiers.
enum OperatorNumber {
    OperatorFirstCashier = 1,
    OperatorLastCashier = 28,
    OperatorAdministrator = 29,
    OperatorSystemAdministrator = 30
};

} // namespace Fptr
} // namespace TED

#endif
