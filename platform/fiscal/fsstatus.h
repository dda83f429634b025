#ifndef FISCAL_FSSTATUS_H
#define FISCAL_FSSTATUS_H

#include "fslifetimedata.h"
#include "fsofdtransportstate.h"

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace fiscal {

// Status of the fiscal storage: the answers to storage commands 0x30 (status),
// 0x33 (firmware version), 0x20 (operator exchange) and 0x32 (lifetime).
class FsStatus
{
public:
    // Name of the shared bus object carrying the status.
    static const QString OBJECT_NAME;
    static constexpr int STATUS_ANSWER_SIZE = 30;
    static constexpr int VERSION_ANSWER_SIZE = 17;

    enum PhaseBit : quint8 {
        PhaseSetUp = 0x01,
        PhaseFiscalMode = 0x02,
        PhaseFiscalModeClosed = 0x04,
        PhaseArchiveSent = 0x08
    };

    enum WarningBit : quint8 {
        WarningReplaceUrgently = 0x01,
        WarningResourceEnding = 0x02,
        WarningArchiveFull = 0x04,
        WarningOfdTimeout = 0x08
    };

    FsStatus();

    // Read the data part of the answers (after the answer code); false,
    // leaving the record unchanged, when an answer is too short.
    bool parse(const QByteArray &answer);
    bool parseFsVersion(const QByteArray &answer);

    // True once a status answer was parsed or a status map loaded.
    bool isValid() const { return m_valid; }
    // The storage is in fiscal mode: registered and not closed.
    bool fiscalized() const;

    quint8 phase() const { return m_phase; }
    void setPhase(quint8 phase);
    // Code of the document open in the storage, 0 when none.
    quint8 currentDocument() const { return m_currentDocument; }
    void setCurrentDocument(quint8 document);
    bool documentDataReceived() const { return m_documentDataReceived; }
    void setDocumentDataReceived(bool received);
    bool shiftOpened() const { return m_shiftOpened; }
    void setShiftOpened(bool opened);
    quint8 warnings() const { return m_warnings; }
    void setWarnings(quint8 warnings);
    QDateTime dt() const { return m_dt; }
    void setDt(const QDateTime &dt);
    QString fsNumber() const { return m_fsNumber; }
    void setFsNumber(const QString &number);
    quint32 lastFd() const { return m_lastFd; }
    void setLastFd(quint32 number);

    QString fsVersion() const { return m_fsVersion; }
    void setFsVersion(const QString &version);
    bool serialBuild() const { return m_serialBuild; }
    void setSerialBuild(bool serial);

    FsLifeTimeData lifeTime() const { return m_lifeTime; }
    void setLifeTime(const FsLifeTimeData &lifeTime);
    FsOfdTransportState transportState() const { return m_transportState; }
    void setTransportState(const FsOfdTransportState &state);

    QVariantMap toMap() const;
    void setMap(const QVariantMap &map);
    // The status as shown to people: readable keys, texts for the phase,
    // the open document and the warnings.
    QVariantMap toBeautyMap() const;

    static QString phaseText(quint8 phase);
    static QString documentText(quint8 document);
    static QStringList warningTexts(quint8 warnings);

    bool operator==(const FsStatus &other) const;
    bool operator!=(const FsStatus &other) const { return !(*this == other); }

private:
    FsLifeTimeData m_lifeTime;
    FsOfdTransportState m_transportState;
    QDateTime m_dt;
    QString m_fsNumber;
    QString m_fsVersion;
    quint32 m_lastFd = 0;
    quint8 m_phase = 0;
    quint8 m_currentDocument = 0;
    quint8 m_warnings = 0;
    bool m_documentDataReceived = false;
    bool m_shiftOpened = false;
    bool m_serialBuild = false;
    bool m_valid = false;
};

} // namespace fiscal

Q_DECLARE_METATYPE(fiscal::FsStatus)

#endif
