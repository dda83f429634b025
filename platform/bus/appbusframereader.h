#ifndef BUS_APPBUSFRAMEREADER_H
#define BUS_APPBUSFRAMEREADER_H

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace bus {

// Cuts a byte stream into frames: a 4-byte big-endian length, then that many
// bytes of UTF-8 JSON holding one object. It takes bytes, not a socket, so
// that any source (and any test) can feed it. After an error the stream
// cannot be resynchronised, so the reader stays failed until clear().
class AppBusFrameReader
{
public:
    // Larger frames are refused before their body is buffered, so a peer
    // cannot make us hold more than this per connection.
    static constexpr int MAX_FRAME_SIZE = 16 * 1024 * 1024;
    static constexpr int HEADER_SIZE = 4;

    enum Result {
        NeedMore,   // no complete frame yet
        FrameReady, // one frame taken out
        Failed      // the stream is broken; error() says why
    };

    void append(const QByteArray &bytes);
    // Takes the next complete frame, if any.
    Result next(QJsonObject &frame);

    // Bytes of a frame that has begun but not ended.
    bool hasPartialFrame() const { return bufferedSize() > 0; }
    int bufferedSize() const { return m_buffer.size() - m_pos; }
    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }
    void clear();

    // The frame of one object; empty when it would exceed MAX_FRAME_SIZE.
    static QByteArray encode(const QJsonObject &frame);

private:
    Result fail(const QString &error);

    QByteArray m_buffer;
    int m_pos = 0;
    QString m_error;
};

} // namespace bus

#endif
