#ifndef FPTRSIM_DRIVERPROPERTIES_H
#define FPTRSIM_DRIVERPROPERTIES_H

#include "registerstate.h"

#include <QList>
#include <QString>

// The properties of one driver object: what the caller puts before a
// command and what a command leaves to be read back. They live as long as
// the object, not in the register.
struct DriverProperties
{
    // Put by the caller.
    QString userPassword = QStringLiteral("30");
    QString caption;
    int alignment = 0;
    int textWrap = 0;
    QString barcode;
    int barcodeType = 0;
    QString fileName;
    int typeClose = 0;
    int checkType = 1;
    int printCheck = 1;
    int registerNumber = 0;
    int reportType = 0;
    QString name;
    double price = 0;
    double quantity = 1;
    double positionSum = -1; // negative: price times quantity
    int taxNumber = 0;
    int positionType = 0;
    int positionPaymentType = 0;
    int department = 0;
    int table = 0;
    int row = 0;
    int field = 0;
    int fieldType = 0;
    QString commandBuffer;
    int fiscalPropertyNumber = 0;
    int fiscalPropertyType = 0;
    int fiscalPropertyPrint = 0;
    QString fiscalPropertyValue;
    QList<FiscalRecord> positionProperties;

    // Put by the caller and filled in by commands.
    int mode = 0;
    double summ = 0;
    int docNumber = 0;
    int checkNumber = 0;
    int session = 0;
    QString serialNumber;
    QString inn;
    QString machineNumber;
    int day = 0, month = 0, year = 0;
    int hour = 0, minute = 0, second = 0;

    // Filled in by commands.
    QString answerBuffer;
    int count = 0;
    int sessionOpened = 0;
    int operatorNumber = 0;
    int logicalNumber = 0;
    int advancedMode = 0;
    int model = 0;
    int checkState = 0;
    int charLineLength = 0;
    int checkPaperPresent = 1;
    int fiscal = 0;
    double remainder = 0;
    double change = 0;
    int ffdVersion = 0;
    int deviceFfdVersion = 0;
    int fnFfdVersion = 0;
    int commandCode = 0;
    int errorCode = 0;
    QString deviceDescription;
};

#endif
