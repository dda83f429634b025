#ifndef TST_FPTRSIM_SIMDRIVER_H
#define TST_FPTRSIM_SIMDRIVER_H

#include <ifptr.h>

#include <QByteArray>
#include <QLibrary>
#include <QString>

#include <string>
#include <vector>

// The simulator loaded the way the ATOL worker loads a driver: QLibrary,
// the factory for one interface generation, calls through IFptr, release
// and unload at the end.
class SimDriver
{
public:
    explicit SimDriver(int version = 15)
        : m_library(QStringLiteral(FPTRSIM_LIBRARY))
    {
        if (!m_library.load())
            return;
        const auto create = reinterpret_cast<TED::Fptr::CreateFptrInterfaceFunction>(
            m_library.resolve(TED::Fptr::CREATE_FPTR_INTERFACE));
        m_release = reinterpret_cast<TED::Fptr::ReleaseFptrInterfaceFunction>(
            m_library.resolve(TED::Fptr::RELEASE_FPTR_INTERFACE));
        if (create && m_release)
            m_fptr = create(version);
    }
    ~SimDriver()
    {
        if (m_fptr)
            m_release(&m_fptr);
        m_library.unload();
    }
    SimDriver(const SimDriver &) = delete;
    SimDriver &operator=(const SimDriver &) = delete;

    TED::Fptr::IFptr *operator->() const { return m_fptr; }
    bool isValid() const { return m_fptr != nullptr; }

    int resultCode() const
    {
        int code = 0;
        m_fptr->get_ResultCode(&code);
        return code;
    }
    QString description() const { return text(&TED::Fptr::IFptr::get_ResultDescription); }
    QString badParam() const { return text(&TED::Fptr::IFptr::get_BadParamDescription); }

    // The text-read pattern of the worker: ask for the length, then read.
    template<typename Getter>
    QString text(Getter getter) const
    {
        const int length = (m_fptr->*getter)(nullptr, 0);
        if (length <= 0)
            return QString();
        std::vector<wchar_t> buffer(size_t(length) + 1);
        (m_fptr->*getter)(buffer.data(), length + 1);
        return QString::fromWCharArray(buffer.data());
    }

    // Connects over TCP settings (the simulator opens no connection),
    // enables the device and sets the operator password.
    bool connect(const QString &password = QStringLiteral("30"))
    {
        return setting(L"Port", L"TCPIP") && setting(L"IPAddress", L"127.0.0.1")
               && setting(L"IPPort", L"5555") && m_fptr->put_DeviceSingleSetting(L"Protocol", 2) == 0
               && m_fptr->ApplySingleSettings() == 0 && m_fptr->put_DeviceEnabled(1) == 0
               && setting(L"UserPassword", password.toStdWString().c_str());
    }
    bool setting(const wchar_t *name, const wchar_t *value)
    {
        return m_fptr->put_DeviceSingleSetting(name, value) == 0;
    }
    int enterMode(int mode)
    {
        m_fptr->put_Mode(mode);
        return m_fptr->SetMode() == 0 ? 0 : resultCode();
    }
    int readRegister(int number)
    {
        m_fptr->put_RegisterNumber(number);
        return m_fptr->GetRegister() == 0 ? 0 : resultCode();
    }
    // A fiscal storage command as hex text; its answer bytes, or empty with
    // `code` holding the result code.
    QByteArray storage(const QString &command, int *code = nullptr)
    {
        m_fptr->put_CommandBuffer(command.toStdWString().c_str());
        const int rc = m_fptr->RunFNCommand();
        if (code)
            *code = rc == 0 ? 0 : resultCode();
        if (rc != 0)
            return QByteArray();
        return QByteArray::fromHex(text(&TED::Fptr::IFptr::get_AnswerBuffer).toLatin1());
    }

private:
    QLibrary m_library;
    TED::Fptr::IFptr *m_fptr = nullptr;
    TED::Fptr::ReleaseFptrInterfaceFunction m_release = nullptr;
};

#endif
