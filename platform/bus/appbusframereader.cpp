#include "appbusframereader.h"

#include <strictjson.h>

#include <QJsonDocument>
#include <QtEndian>

namespace bus {

void AppBusFrameReader::append(const QByteArray &bytes)
{
    if (failed())
        return;
    // Drop what was consumed once it is the larger part, so a long-lived
    // connection neither grows its buffer nor copies it on every frame.
    if (m_pos > 0 && m_pos >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(bytes);
}

AppBusFrameReader::Result AppBusFrameReader::next(QJsonObject &frame)
{
    if (failed())
        return Failed;
    if (bufferedSize() < HEADER_SIZE)
        return NeedMore;
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_pos);
    if (length == 0)
        return fail(QStringLiteral("empty frame"));
    if (length > quint32(MAX_FRAME_SIZE))
        return fail(QStringLiteral("frame of %1 bytes exceeds the limit of %2 bytes")
                        .arg(length)
                        .arg(MAX_FRAME_SIZE));
    if (bufferedSize() - HEADER_SIZE < int(length))
        return NeedMore;

    const QByteArray body = m_buffer.mid(m_pos + HEADER_SIZE, int(length));
    m_pos += HEADER_SIZE + int(length);
    if (m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    }

    QJsonDocument doc;
    QString error;
    int offset = 0;
    if (!qt5ext::StrictJson::parse(body, doc, error, &offset))
        return fail(QStringLiteral("frame is not JSON: %1 at offset %2").arg(error).arg(offset));
    if (!doc.isObject())
        return fail(QStringLiteral("frame is not a JSON object"));
    frame = doc.object();
    return FrameReady;
}

void AppBusFrameReader::clear()
{
    m_buffer.clear();
    m_pos = 0;
    m_error.clear();
}

QByteArray AppBusFrameReader::encode(const QJsonObject &frame)
{
    const QByteArray body = QJsonDocument(frame).toJson(QJsonDocument::Compact);
    if (body.size() > MAX_FRAME_SIZE)
        return QByteArray();
    QByteArray bytes(HEADER_SIZE, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(body.size()), bytes.data());
    bytes.append(body);
    return bytes;
}

AppBusFrameReader::Result AppBusFrameReader::fail(const QString &error)
{
    m_error = error;
    m_buffer.clear();
    m_pos = 0;
    return Failed;
}

} // namespace bus
