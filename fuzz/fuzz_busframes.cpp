// The application bus frame reader fed in pieces (the first byte gives the
// piece size) until it fails or the bytes end; every frame taken out must
// encode again.
#include "fuzzsupport.h"

#include <appbusframereader.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::setUp();
    if (size < 1)
        return 0;
    const int piece = data[0] + 1;
    bus::AppBusFrameReader reader;
    for (size_t pos = 1; pos < size && !reader.failed(); pos += size_t(piece)) {
        reader.append(fuzzsupport::bytes(data + pos, qMin(size - pos, size_t(piece))));
        QJsonObject frame;
        while (reader.next(frame) == bus::AppBusFrameReader::FrameReady)
            bus::AppBusFrameReader::encode(frame);
    }
    return 0;
}
