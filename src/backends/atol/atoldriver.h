#ifndef ATOLDRIVER_H
#define ATOLDRIVER_H

#include <ifptr.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <string>

class QLibrary;

// ATOL's driver library loaded for one job: the library, the driver
// object it made, the last failure the driver reported, and the reading
// patterns every job shares (texts, fiscal storage commands, the clock).
// Used on the worker's thread only.
class AtolDriver
{
public:
    static const QString LIBRARY_NAME;
    // Text of the failure recorded when there is no driver to ask.
    static const QString NO_LINK_TEXT;

    using TextGetter = int (TED::Fptr::IFptr::*)(wchar_t *, int);

    AtolDriver();
    ~AtolDriver();
    AtolDriver(const AtolDriver &) = delete;
    AtolDriver &operator=(const AtolDriver &) = delete;

    // Loads the library from `directory` and makes the driver object of
    // the newest generation the library answers; false, logged, when
    // either is impossible.
    bool load(const QString &directory);
    // Frees the driver object and unloads the library; harmless twice.
    void release();
    TED::Fptr::IFptr *fptr() const { return m_fptr; }
    bool isLoaded() const { return m_fptr != nullptr; }
    int generation() const { return m_generation; }

    static std::wstring wide(const QString &text) { return text.toStdWString(); }
    // The driver's settings text with the values of its passwords hidden.
    static QString settingsForLog(const QString &settings);
    // A text the driver holds; false when it has none.
    bool readText(TextGetter getter, QString &text, int capacity = 256) const;
    // put_DeviceEnabled(1) answered exactly 0.
    bool enable() const;
    bool putSetting(const QString &name, const QString &value);
    bool putSetting(const QString &name, int value);

    // Takes the driver's result of the last call; a negative code is
    // logged and kept with its description.
    void checkError();
    void clearError();
    void setError(int code, const QString &description);
    int lastResult() const { return m_lastResult; }
    QString lastResultDescription() const { return m_lastResultDescription; }
    // {"result": code} and, when it is a failure, its "message".
    QVariantMap lastError() const;

    // Runs a fiscal storage command given as hexadecimal bytes and reads
    // its answer; false when it fails or the answer is empty.
    bool runFnCommand(const QString &command, QByteArray &answer);
    // The answer of the last storage command, decoded.
    bool readFnAnswer(QByteArray &answer) const;
    // Date and time the last request left; invalid when unreadable.
    QDateTime getDt() const;

private:
    std::unique_ptr<QLibrary> m_library;
    TED::Fptr::IFptr *m_fptr = nullptr;
    int m_generation = 0;
    int m_lastResult = 0;
    QString m_lastResultDescription;
};

#endif
