#ifndef FPTR_FPTRMETHODS_H
#define FPTR_FPTRMETHODS_H

// The methods of the driver object after IDTOBase, in virtual-table order,
// as one list for every interface generation. Each entry is
//   E(kind, Name, type)
// where E is the first argument of FPTR_IFPTR_METHODS for methods every
// known generation has (13 and later) and the second one for methods that
// generation 15 added at the end. Kinds: F a command without arguments,
// G get_Name, P put_Name, GP get_Name then put_Name, PG put_Name then
// get_Name, RF get_ReleaseFunction. Types say what a property carries:
// I int, D double, S text, V pointer, T3 three ints, SEH a scanner event
// handler; `_` where no type applies.
//
// FPTR_EXPAND_<kind>(M, Name, type) turns an entry into one or two calls
// M(return type, method name, parenthesised parameter types).

#define FPTR_ARGS_GET_I (int *)
#define FPTR_ARGS_PUT_I (int)
#define FPTR_ARGS_GET_D (double *)
#define FPTR_ARGS_PUT_D (double)
#define FPTR_ARGS_GET_S (wchar_t *, int)
#define FPTR_ARGS_PUT_S (const wchar_t *)
#define FPTR_ARGS_GET_V (void **)
#define FPTR_ARGS_PUT_V (void *)
#define FPTR_ARGS_GET_T3 (int *, int *, int *)
#define FPTR_ARGS_PUT_T3 (int, int, int)
#define FPTR_ARGS_PUT_SEH (AbstractScannerEventHandler *)

#define FPTR_EXPAND_RF(M, name, type) M(ReleaseFunction, get_##name, ())
#define FPTR_EXPAND_F(M, name, type) M(int, name, ())
#define FPTR_EXPAND_G(M, name, type) M(int, get_##name, FPTR_ARGS_GET_##type)
#define FPTR_EXPAND_P(M, name, type) M(int, put_##name, FPTR_ARGS_PUT_##type)
#define FPTR_EXPAND_GP(M, name, type) FPTR_EXPAND_G(M, name, type) FPTR_EXPAND_P(M, name, type)
#define FPTR_EXPAND_PG(M, name, type) FPTR_EXPAND_P(M, name, type) FPTR_EXPAND_G(M, name, type)

// An entry macro that drops its entry.
#define FPTR_SKIP(kind, name, type)

#define FPTR_IFPTR_METHODS(E, E15) \
    E(RF, ReleaseFunction, _) \
    E(F, SetCaption, _) E(F, GetCaption, _) E(GP, Caption, S) E(GP, CaptionPurpose, I) \
    E(G, CaptionIsSupported, I) E(G, CaptionName, S) \
    E(F, SetValue, _) E(F, GetValue, _) E(GP, Value, D) E(GP, ValuePurpose, I) \
    E(G, ValueIsSupported, I) E(G, ValueName, S) E(G, ValueMapping, S) \
    E(F, Beep, _) E(F, Sound, _) E(PG, Frequency, I) E(PG, Duration, I) \
    E(F, OpenDrawer, _) E(F, AdvancedOpenDrawer, _) E(PG, DrawerOnTimeout, I) \
    E(PG, DrawerOffTimeout, I) E(PG, DrawerOnQuantity, I) \
    E(F, GetStatus, _) E(G, CharLineLength, I) E(GP, SerialNumber, S) E(G, Fiscal, I) \
    E(F, SetTime, _) E(F, SetDate, _) E(GP, Time, T3) E(GP, Date, T3) \
    E(F, SetMode, _) E(F, ResetMode, _) E(GP, TestMode, I) E(GP, UserPassword, S) \
    E(GP, Mode, I) E(GP, EnableCheckSumm, I) \
    E(F, FullCut, _) E(F, PartialCut, _) E(F, NewDocument, _) E(F, BeginDocument, _) \
    E(F, EndDocument, _) E(F, ClearOutput, _) E(F, PrintHeader, _) E(F, PrintString, _) \
    E(F, PrintBarcode, _) E(F, PrintFooter, _) \
    E(GP, Alignment, I) E(GP, TextWrap, I) E(GP, Barcode, S) E(GP, BarcodeType, I) \
    E(GP, PrintBarcodeText, I) E(GP, SlipDocOrientation, I) E(GP, Scale, D) E(GP, Height, I) \
    E(F, Payment, _) E(F, GetSumm, _) E(GP, TypeClose, I) E(GP, Summ, D) \
    E(F, OpenCheck, _) E(F, CloseCheck, _) E(F, CancelCheck, _) E(F, GetRegister, _) \
    E(GP, CheckType, I) E(G, CheckState, I) E(GP, CheckNumber, I) E(GP, RegisterNumber, I) \
    E(GP, DocNumber, I) E(F, OpenSession, _) E(G, SessionOpened, I) E(GP, Session, I) \
    E(G, CheckPaperPresent, I) E(G, ControlPaperPresent, I) E(GP, PLUNumber, I) \
    E(GP, Name, S) E(GP, Price, D) E(GP, Quantity, D) E(GP, Department, I) \
    E(GP, DiscountType, I) \
    E(F, Registration, _) E(F, Annulate, _) E(F, Return, _) E(F, Storno, _) E(F, Buy, _) \
    E(F, BuyReturn, _) E(F, BuyAnnulate, _) E(F, CashIncome, _) E(F, CashOutcome, _) \
    E(F, Report, _) E(GP, ReportType, I) E(GP, BufferedPrint, I) E(F, FlushBuffer, _) \
    E(G, InfoLine, S) E(G, Model, I) E(GP, ClearFlag, I) E(GP, FileName, S) \
    E(F, PrintPicture, _) E(G, ClsPtr, V) E(F, Feed, _) E(F, SummTax, _) E(F, StornoTax, _) \
    E(PG, TaxNumber, I) E(F, Fiscalization, _) E(PG, INN, S) E(PG, MachineNumber, S) \
    E(PG, License, S) E(PG, LicenseNumber, I) E(F, GetLicense, _) E(F, SetLicense, _) \
    E(F, Discount, _) E(F, Charge, _) E(F, SetSerialNumber, _) E(F, ResetSummary, _) \
    E(F, TechZero, _) \
    E(PG, Table, I) E(PG, Row, I) E(PG, Field, I) E(PG, FieldType, I) \
    E(F, SetTableField, _) E(F, GetTableField, _) \
    E(PG, CommandBuffer, S) E(G, AnswerBuffer, S) E(F, RunCommand, _) \
    E(F, ResetChargeDiscount, _) E(F, InitTables, _) \
    E(G, EKLZFlags, I) E(GP, EKLZKPKNumber, I) E(F, EKLZActivate, _) \
    E(F, EKLZCloseArchive, _) E(F, EKLZGetStatus, _) \
    E(GP, DateEnd, T3) E(GP, SessionEnd, I) E(F, GetRange, _) E(F, BeginReport, _) \
    E(F, GetRecord, _) E(F, EndReport, _) E(GP, UnitType, I) \
    E(PG, PictureNumber, I) E(PG, LeftMargin, I) E(F, AddPictureFromFile, _) \
    E(F, PrintPictureByNumber, _) E(G, Memory, I) E(G, PictureState, I) E(GP, Width, I) \
    E(F, GetPictureArrayStatus, _) E(F, GetPictureStatus, _) E(F, DeleteLastPicture, _) \
    E(F, ClearPictureArray, _) E(F, BeginAdd, _) E(F, SetRecord, _) E(F, EndAdd, _) \
    E(F, GetPicture, _) E(F, AddPicture, _) \
    E(G, Operator, I) E(F, AddTextField, _) \
    E(PG, FontBold, I) E(PG, FontItalic, I) E(PG, FontNegative, I) E(PG, FontUnderline, I) \
    E(PG, FontDblHeight, I) E(PG, FontDblWidth, I) E(F, PrintFormattedText, _) \
    E(PG, PrintPurpose, I) E(PG, ReceiptFont, I) E(PG, ReceiptFontHeight, I) \
    E(PG, ReceiptBrightness, I) E(PG, ReceiptLinespacing, I) E(PG, JournalFont, I) \
    E(PG, JournalFontHeight, I) E(PG, JournalBrightness, I) E(PG, JournalLinespacing, I) \
    E(PG, SummPointPosition, I) E(PG, BarcodePrintType, I) E(PG, BarcodeControlCode, I) \
    E(PG, BarcodeCorrection, I) E(PG, BarcodeEncoding, I) E(PG, BarcodeEncodingMode, I) \
    E(PG, FeedValue, I) E(F, SetPointPosition, _) \
    E(G, PixelLineLength, I) E(G, RcpPixelLineLength, I) E(G, JrnPixelLineLength, I) \
    E(G, SlipPixelLineLength, I) E(G, RcpCharLineLength, I) E(G, JrnCharLineLength, I) \
    E(G, SlipCharLineLength, I) \
    E(PG, Count, I) E(P, Operator, I) E(PG, SlotNumber, I) \
    E(G, DrawerOpened, I) E(G, CoverOpened, I) E(G, BatteryLow, I) \
    E(G, VerHi, S) E(G, VerLo, S) E(G, Build, S) E(G, Codepage, I) \
    E(G, Remainder, D) E(G, Change, D) E(G, LogicalNumber, I) E(GP, OperationType, I) \
    E(PG, DiscountNumber, I) E(PG, CounterType, I) E(G, PowerSupplyValue, D) \
    E(G, PowerSupplyState, I) E(PG, PowerSupplyType, I) E(PG, StepCounterType, I) \
    E(PG, Destination, I) E(F, StornoPayment, _) \
    E(PG, BarcodePixelProportions, I) E(PG, BarcodeProportions, I) E(PG, BarcodeColumns, I) \
    E(PG, BarcodeRows, I) E(PG, BarcodePackingMode, I) E(PG, BarcodeUseProportions, I) \
    E(PG, BarcodeUseRows, I) E(PG, BarcodeUseColumns, I) E(PG, BarcodeUseCorrection, I) \
    E(PG, BarcodeUseCodeWords, I) E(PG, BarcodeInvert, I) E(PG, BarcodeNumber, I) \
    E(F, PrintBarcodeByNumber, _) E(F, ClearBarcodeArray, _) E(F, DeleteLastBarcode, _) \
    E(F, GetBarcode, _) E(F, TestConnector, _) E(F, DemoPrint, _) E(F, PowerOff, _) \
    E(F, WriteData, _) \
    E(F, OpenDirectory, _) E(PG, Directory, S) E(PG, FileSize, I) E(F, ReadDirectory, _) \
    E(F, CloseDirectory, _) E(PG, FileOpenType, I) E(PG, FileOpenMode, I) \
    E(F, OpenFile, _) E(F, CloseFile, _) E(F, DeleteFileFromSD, _) E(F, WriteFileToSD, _) \
    E(F, ReadFile, _) E(PG, FileOffset, I) E(PG, FileReadSize, I) \
    E(F, PrintLastCheckCopy, _) E(PG, BarcodeDeferredPrint, I) \
    E(P, ScannerEventHandler, SEH) E(G, ScannerPortHandler, V) E(PG, ScannerMode, I) \
    E(PG, PinPadMode, I) E(F, WritePinPad, _) E(F, ReadPinPad, _) E(G, PinPadDevice, V) \
    E(F, PowerOnPinPad, _) E(F, PowerOffPinPad, _) \
    E(PG, ModemMode, I) E(F, WriteModem, _) E(F, ReadModem, _) E(G, ModemDevice, V) \
    E(F, PowerOnModem, _) E(F, PowerOffModem, _) E(PG, ReadSize, I) \
    E(P, LogicalNumber, I) E(PG, NeedResultFlag, I) \
    E(F, OpenPinPad, _) E(F, ClosePinPad, _) E(F, OpenModem, _) E(F, CloseModem, _) \
    E(PG, ModemConnectionType, I) E(PG, ModemAddress, S) E(PG, ModemPort, I) \
    E(F, GetModemStatus, _) E(F, GetPinPadStatus, _) E(G, WriteSize, I) \
    E(G, ModemStatus, I) E(G, ModemSignal, I) E(G, ModemOperator, S) E(G, ModemError, S) \
    E(F, GetDeviceMetrics, _) E(G, DeviceDescription, S) E(F, GetCurrentMode, _) \
    E(G, OutOfPaper, I) E(G, PrinterConnectionFailed, I) E(G, PrinterMechanismError, I) \
    E(G, PrinterCutMechanismError, I) E(G, PrinterOverheatError, I) \
    E(F, GetCurrentStatus, _) E(F, GetLastSummary, _) E(G, AdvancedMode, I) \
    E(PG, BottomMargin, I) E(F, EKLZGetKPK, _) E(G, EKLZKPK, I) E(PG, BarcodeVersion, I) \
    E(PG, TaxPassword, S) E(PG, Classifier, S) \
    E(PG, FiscalPropertyNumber, I) E(PG, FiscalPropertyValue, S) \
    E(PG, FiscalPropertyType, I) E(PG, FiscalPropertyPrint, I) \
    E(F, WriteFiscalProperty, _) E(F, ReadFiscalProperty, _) E(G, HasNotSendedDocs, I) \
    E(F, RunFNCommand, _) E(GP, CounterDimension, I) E(G, DiscountInSession, D) \
    E(G, ChargeInSession, D) E(G, NetworkError, I) E(G, OFDError, I) E(G, FNError, I) \
    E(PG, TimeoutACK, I) E(PG, TimeoutENQ, I) E(F, AddBarcode, _) \
    E(F, GetBarcodeArrayStatus, _) E(F, Correction, _) E(F, ReturnCorrection, _) \
    E(F, BuyCorrection, _) E(F, BuyReturnCorrection, _) E(PG, PrintCheck, I) \
    E(G, FNState, I) E(F, GetUnitVersion, _) E(GP, TaxSum, D) E(GP, TaxMode, I) \
    E(GP, PositionType, I) E(GP, PositionPaymentType, I) E(F, AddFiscalProperty, _) \
    E(F, ResetFiscalProperties, _) E(G, FfdVersion, I) E(G, DeviceFfdVersion, I) \
    E(G, FNFfdVersion, I) E(G, CommandCode, I) E(G, ErrorCode, I) E(G, ErrorData, S) \
    E(PG, PositionSum, D) E(PG, FiscalPropertyUser, I) \
    E(PG, WiFiMode, I) E(F, WriteWiFi, _) E(F, ReadWiFi, _) E(G, WiFiDevice, V) \
    E(F, PowerOnWiFi, _) E(F, PowerOffWiFi, _) E(PG, WiFiConnectionType, I) \
    E(PG, WiFiAddress, S) E(PG, WiFiPort, I) E(F, GetWiFiStatus, _) E(G, WiFiStatus, I) \
    E(F, OpenWiFi, _) E(F, CloseWiFi, _) E(G, FNFiscal, I) E(G, ENVDMode, I) \
    E(F, BeginFormFiscalProperty, _) E(F, EndFormFiscalProperty, _) \
    E15(PG, LogLvl, I) E15(F, SetLogLvl, _) E15(F, ResetLogLvl, _) E15(P, LogMessage, S) \
    E15(F, WriteLog, _) E15(G, ENVDEnabled, I) E15(G, TaxNumeration, I) \
    E15(PG, DocNumberEnd, I) E15(PG, BarcodeOverlay, I) E15(PG, PositionQuantityType, I) \
    E15(F, ContinuePrint, _) E15(F, SetDateTime, _) E15(G, BatteryCharge, I) \
    E15(PG, UseOnlyTaxNumber, I) E15(F, AddTextAttribute, _) \
    E15(F, AddFormattedTextAttribute, _) E15(PG, CheckAttributeNumber, I) \
    E15(GP, TimeEnd, T3) E15(P, SystemOperationType, I) E15(P, SystemOperationData, S) \
    E15(G, SystemOperationResult, S) E15(F, ExecSystemOperation, _) \
    E15(PG, JournalDataType, I) E15(PG, JournalAttributesType, I) \
    E15(G, JournalDocumentType, I) E15(F, GetJournalStatus, _)

#endif
