#include "atoldriver.h"

#include "atoldriverguard.h"
#include "atollog_p.h"

#include <fptrtypes.h>
#include <logutils.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QRegularExpression>

#include <vector>

const QString AtolDriver::LIBRARY_NAME = QStringLiteral("libfptr.so");
const QString AtolDriver::NO_LINK_TEXT = QStringLiteral("Нет связи с ФР");

namespace {

constexpr int NEWEST_GENERATION = 15;
constexpr int FN_ANSWER_CAPACITY = 2048;

QString fromWide(const std::vector<wchar_t> &buffer)
{
    int length = 0;
    while (length < int(buffer.size()) && buffer[size_t(length)] != 0)
        ++length;
    return QString::fromUcs4(reinterpret_cast<const uint *>(buffer.data()), length);
}

} // namespace

AtolDriver::AtolDriver() = default;

AtolDriver::~AtolDriver()
{
    release();
}

bool AtolDriver::load(const QString &directory)
{
    release();
    const QString path = QStringLiteral("%1/%2").arg(directory, LIBRARY_NAME);
    if (!QFileInfo::exists(path)) {
        qCCritical(lcAtol).noquote() << QStringLiteral("Drv library %1 does not found").arg(LIBRARY_NAME);
        return false;
    }
    QString reason;
    if (!AtolDriverGuard::mayLoad(path, AtolDriverGuard::serviceWritableDirectories(), reason)) {
        qCCritical(lcAtol).noquote() << QStringLiteral("Drv library %1 not loaded: %2").arg(path, reason);
        return false;
    }
    m_library = std::make_unique<QLibrary>(path);
    if (!m_library->load()) {
        qCCritical(lcAtol).noquote() << m_library->errorString();
        release();
        return false;
    }
    const auto create = reinterpret_cast<TED::Fptr::CreateFptrInterfaceFunction>(
            m_library->resolve(TED::Fptr::CREATE_FPTR_INTERFACE));
    if (!create) {
        qCCritical(lcAtol).noquote() << m_library->errorString();
        release();
        return false;
    }
    // The library answers its own generation only; older ones keep the
    // methods we call at the same places.
    for (int version = NEWEST_GENERATION; version >= 1 && !m_fptr; --version) {
        m_fptr = create(version);
        if (m_fptr)
            m_generation = version;
        else
            qCCritical(lcAtol).noquote() << "No driver interface of version" << version << m_library->errorString();
    }
    if (!m_fptr) {
        release();
        return false;
    }
    return true;
}

void AtolDriver::release()
{
    if (m_library && m_library->isLoaded()) {
        if (m_fptr) {
            const auto releaseInterface = reinterpret_cast<TED::Fptr::ReleaseFptrInterfaceFunction>(
                    m_library->resolve(TED::Fptr::RELEASE_FPTR_INTERFACE));
            if (releaseInterface)
                releaseInterface(&m_fptr);
        }
        m_fptr = nullptr;
        m_library->unload();
    }
    m_fptr = nullptr;
    m_generation = 0;
    m_library.reset();
}

QString AtolDriver::settingsForLog(const QString &settings)
{
    static const QRegularExpression secret(QStringLiteral("(<value\\s+name\\s*=\\s*\"[^\"]*Password[^\"]*\"[^>]*>)[^<]*"),
                                           QRegularExpression::CaseInsensitiveOption);
    return QString(settings).replace(secret, QStringLiteral("\\1***"));
}

bool AtolDriver::readText(TextGetter getter, QString &text, int capacity) const
{
    text.clear();
    if (!m_fptr)
        return false;
    std::vector<wchar_t> buffer(size_t(qMax(capacity, 1)), 0);
    int length = (m_fptr->*getter)(buffer.data(), int(buffer.size()));
    if (length <= 0)
        return false;
    if (length >= int(buffer.size())) {
        buffer.assign(size_t(length) + 1, 0);
        length = (m_fptr->*getter)(buffer.data(), int(buffer.size()));
        if (length <= 0)
            return false;
    }
    text = fromWide(buffer);
    return true;
}

bool AtolDriver::enable() const
{
    return m_fptr && m_fptr->put_DeviceEnabled(1) == 0;
}

bool AtolDriver::putSetting(const QString &name, const QString &value)
{
    if (m_fptr->put_DeviceSingleSetting(wide(name).c_str(), wide(value).c_str()) < 0) {
        checkError();
        return false;
    }
    return true;
}

bool AtolDriver::putSetting(const QString &name, int value)
{
    if (m_fptr->put_DeviceSingleSetting(wide(name).c_str(), value) < 0) {
        checkError();
        return false;
    }
    return true;
}

void AtolDriver::clearError()
{
    m_lastResult = 0;
    m_lastResultDescription.clear();
}

void AtolDriver::setError(int code, const QString &description)
{
    m_lastResult = code;
    m_lastResultDescription = description;
}

void AtolDriver::checkError()
{
    clearError();
    if (!m_fptr) {
        setError(-1, NO_LINK_TEXT);
        qCCritical(lcAtol) << "Invalid interface";
        return;
    }
    int code = 0;
    m_fptr->get_ResultCode(&code);
    if (code >= 0) {
        m_lastResult = code;
        return;
    }
    QString description;
    if (!readText(&TED::Fptr::IFptr::get_ResultDescription, description)) {
        qCCritical(lcAtol) << "get_ResultDescription error";
        m_lastResult = code;
        return;
    }
    QString badParam;
    if (code == TED::Fptr::EC_INVALID_PARAM
        && !readText(&TED::Fptr::IFptr::get_BadParamDescription, badParam))
        qCCritical(lcAtol) << "get_BadParamDescription error";
    if (badParam.isEmpty()) {
        qCCritical(lcAtol).noquote() << QCoreApplication::translate("Atol31DrvWorker", "[%1] %2").arg(code).arg(description);
        setError(code, description);
    } else {
        qCCritical(lcAtol).noquote()
                << QCoreApplication::translate("Atol31DrvWorker", "[%1] %2 (%3)").arg(code).arg(description, badParam);
        setError(code, QStringLiteral("%1 (%2)").arg(description, badParam));
    }
}

QVariantMap AtolDriver::lastError() const
{
    QVariantMap error{{QStringLiteral("result"), m_lastResult}};
    if (m_lastResult != 0)
        error.insert(QStringLiteral("message"),
                     QVariantMap{{QStringLiteral("resultDescription"), m_lastResultDescription}});
    return error;
}

bool AtolDriver::runFnCommand(const QString &command, QByteArray &answer)
{
    answer.clear();
    if (!m_fptr)
        return false;
    if (m_fptr->put_CommandBuffer(wide(command).c_str()) < 0 || m_fptr->RunFNCommand() < 0) {
        checkError();
        return false;
    }
    return readFnAnswer(answer);
}

bool AtolDriver::readFnAnswer(QByteArray &answer) const
{
    answer.clear();
    const int length = m_fptr->get_AnswerBuffer(nullptr, 0);
    if (length < 1)
        return false;
    std::vector<wchar_t> buffer(size_t(qMax(length + 1, FN_ANSWER_CAPACITY)), 0);
    if (m_fptr->get_AnswerBuffer(buffer.data(), length + 1) < 1)
        return false;
    const QString text = fromWide(buffer).left(length);
    answer = QByteArray::fromHex(text.toLatin1());
    if (answer.isEmpty())
        return false;
    qCDebug(lcAtol).noquote() << qt5ext::logbinary(answer, "UTF-8");
    return true;
}

QDateTime AtolDriver::getDt() const
{
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    QDate date;
    QTime time;
    if (m_fptr->get_Date(&day, &month, &year) >= 0)
        date = QDate(year, month, day);
    if (m_fptr->get_Time(&hour, &minute, &second) >= 0)
        time = QTime(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::LocalTime);
}
