#include <ifptr.h>

#include <QtTest>

#include <cstring>

using namespace TED::Fptr;

namespace {

// Itanium C++ ABI: a pointer to a virtual member function holds one plus
// the byte offset of its slot in the virtual table.
template<typename Method>
int slotOf(Method method)
{
    struct Representation
    {
        quintptr pointer;
        qptrdiff adjustment;
    } representation;
    static_assert(sizeof(Method) == sizeof(Representation), "Itanium member pointer");
    std::memcpy(&representation, &method, sizeof representation);
    if ((representation.pointer & 1) == 0)
        return -1;
    return int((representation.pointer - 1) / sizeof(void *));
}

} // namespace

class TestFptrInterface : public QObject
{
    Q_OBJECT
private slots:
    void vtableSlot_data();
    void vtableSlot();
};

void TestFptrInterface::vtableSlot_data()
{
    QTest::addColumn<int>("actual");
    QTest::addColumn<int>("expected");

    QTest::newRow("put_AndroidContext") << slotOf(&IDTOBase::put_AndroidContext) << 2;
    QTest::newRow("put_DeviceEnabled") << slotOf(&IDTOBase::put_DeviceEnabled) << 6;
    QTest::newRow("get_ResultCode") << slotOf(&IDTOBase::get_ResultCode) << 7;
    QTest::newRow("put_DeviceSingleSetting(text)")
        << slotOf(static_cast<int (IDTOBase::*)(const wchar_t *, const wchar_t *)>(
               &IDTOBase::put_DeviceSingleSetting))
        << 17;
    QTest::newRow("put_DeviceSingleSetting(int)")
        << slotOf(static_cast<int (IDTOBase::*)(const wchar_t *, int)>(
               &IDTOBase::put_DeviceSingleSetting))
        << 19;
    QTest::newRow("ApplySingleSettings") << slotOf(&IDTOBase::ApplySingleSettings) << 23;
    QTest::newRow("put_ErrorHandler") << slotOf(&IDTOBase::put_ErrorHandler) << 27;
    QTest::newRow("get_ReleaseFunction") << slotOf(&IFptr::get_ReleaseFunction) << 28;
    QTest::newRow("put_Caption") << slotOf(&IFptr::put_Caption) << 32;
    QTest::newRow("GetStatus") << slotOf(&IFptr::GetStatus) << 60;
    QTest::newRow("put_UserPassword") << slotOf(&IFptr::put_UserPassword) << 76;
    QTest::newRow("put_Mode") << slotOf(&IFptr::put_Mode) << 78;
    QTest::newRow("put_RegisterNumber") << slotOf(&IFptr::put_RegisterNumber) << 123;
    QTest::newRow("WriteFiscalProperty") << slotOf(&IFptr::WriteFiscalProperty) << 448;
    QTest::newRow("RunFNCommand") << slotOf(&IFptr::RunFNCommand) << 451;
    QTest::newRow("put_PositionSum") << slotOf(&IFptr::put_PositionSum) << 489;
    QTest::newRow("generation 13 ends") << slotOf(&IFptr::EndFormFiscalProperty) << 513;
    QTest::newRow("generation 15 begins") << slotOf(&IFptr15::put_LogLvl) << 514;
    QTest::newRow("generation 15 ends") << slotOf(&IFptr15::GetJournalStatus) << 548;
    QTest::newRow("inherited slot unchanged") << slotOf(&IFptr15::put_PositionSum) << 489;
}

void TestFptrInterface::vtableSlot()
{
    QFETCH(int, actual);
    QFETCH(int, expected);
    QCOMPARE(actual, expected);
}

QTEST_APPLESS_MAIN(TestFptrInterface)

#include "tst_fptrinterface.moc"
