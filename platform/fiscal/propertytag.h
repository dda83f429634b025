#ifndef FISCAL_PROPERTYTAG_H
#define FISCAL_PROPERTYTAG_H

#include <QHashFunctions>
#include <QtGlobal>

namespace fiscal {

// Tag numbers of the fiscal data format. The enumeration has a 16-bit
// underlying type, so a tag read from a document that is not named here is
// still a valid PropertyTag value.
enum PropertyTag : quint16 {
    TagAutomaticMode = 1001,
    TagOfflineMode = 1002,
    TagTransferOperatorAddress = 1005,
    TagBuyerContact = 1008,
    TagSettlementAddress = 1009,
    TagDateTime = 1012,
    TagCashboxSerial = 1013,
    TagTransferOperatorInn = 1016,
    TagOfdInn = 1017,
    TagUserInn = 1018,
    TagTotal = 1020,
    TagCashier = 1021,
    TagQuantity = 1023,
    TagTransferOperatorName = 1026,
    TagItemName = 1030,
    TagCash = 1031,
    TagAutomatNumber = 1036,
    TagRegNumber = 1037,
    TagShiftNumber = 1038,
    TagDocNumber = 1040,
    TagFsNumber = 1041,
    TagCheckNumber = 1042,
    TagItemTotal = 1043,
    TagAgentOperation = 1044,
    TagOfdName = 1046,
    TagUserName = 1048,
    TagFsResourceEnding = 1050,
    TagFsReplaceUrgently = 1051,
    TagFsMemoryFull = 1052,
    TagOfdTimeout = 1053,
    TagOperationType = 1054,
    TagAppliedTaxation = 1055,
    TagEncryption = 1056,
    TagAgentFlags = 1057,
    TagItem = 1059,
    TagFnsSite = 1060,
    TagTaxationSystems = 1062,
    TagPayingAgentPhone = 1073,
    TagPaymentOperatorPhone = 1074,
    TagTransferOperatorPhone = 1075,
    TagFiscalSign = 1077,
    TagPrice = 1079,
    TagElectronic = 1081,
    TagUserRequisite = 1084,
    TagUserRequisiteName = 1085,
    TagUserRequisiteValue = 1086,
    TagUnsentDocuments = 1097,
    TagFirstUnsentDate = 1098,
    TagReregistrationReason = 1101,
    TagVat20 = 1102,
    TagVat10 = 1103,
    TagVat0 = 1104,
    TagNoVat = 1105,
    TagVat120 = 1106,
    TagVat110 = 1107,
    TagInternetOnly = 1108,
    TagServices = 1109,
    TagBso = 1110,
    TagShiftDocuments = 1111,
    TagFirstUnsentNumber = 1116,
    TagSenderEmail = 1117,
    TagShiftChecks = 1118,
    TagLottery = 1126,
    TagProductCode = 1162,
    TagSupplierPhone = 1171,
    TagCorrectionType = 1173,
    TagCorrectionBase = 1174,
    TagCorrectionDescription = 1177,
    TagCorrectionBaseDate = 1178,
    TagCorrectionBaseNumber = 1179,
    TagSettlementPlace = 1187,
    TagCashboxVersion = 1188,
    TagCashboxFfdVersion = 1189,
    TagFsFfdVersion = 1190,
    TagItemRequisite = 1191,
    TagCheckRequisite = 1192,
    TagGambling = 1193,
    TagQrCode = 1196,
    TagUnit = 1197,
    TagUnitVat = 1198,
    TagVatRate = 1199,
    TagItemVat = 1200,
    TagCashierInn = 1203,
    TagRegChangeReasons = 1205,
    TagOperatorMessage = 1206,
    TagExcise = 1207,
    TagCheckSite = 1208,
    TagFfdVersion = 1209,
    TagItemType = 1212,
    TagKeysResource = 1213,
    TagPaymentMethod = 1214,
    TagPrepayment = 1215,
    TagCredit = 1216,
    TagOtherPayment = 1217,
    TagPrinterInAutomat = 1221,
    TagItemAgentFlags = 1222,
    TagAgentData = 1223,
    TagSupplierData = 1224,
    TagSupplierName = 1225,
    TagSupplierInn = 1226,
    TagBuyer = 1227,
    TagBuyerInn = 1228,
    TagExciseAmount = 1229,
    TagCountryCode = 1230,
    TagCustomsDeclaration = 1231,
    // Tags from 3000 up are the register's own print-only additions; they
    // are printed on the ticket and never written to the fiscal storage.
    TagItemPrintInfo = 3005
};

// Lets tags key QHash and QSet directly.
inline uint qHash(PropertyTag tag, uint seed = 0) noexcept
{
    return ::qHash(quint16(tag), seed);
}

} // namespace fiscal

#endif
