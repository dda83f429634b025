// The HTTP request parser as a connection drives it: bytes arrive in pieces
// of any size (the first four input bytes give the piece sizes in turn), and
// what one request leaves over starts the next one, as on a keep-alive
// connection. Multipart bodies write their files too.
#include "fuzzsupport.h"
#include "httprequest.h"

#include <QTemporaryFile>

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzsupport::setUp();
    if (size < 4)
        return 0;
    const int pieces[4] = {data[0] + 1, data[1] + 1, data[2] + 1, data[3] + 1};
    const char *bytes = reinterpret_cast<const char *>(data + 4);
    const qint64 total = qint64(size) - 4;
    qint64 pos = 0;
    int turn = 0;
    while (pos < total) {
        HttpRequest request(16000, 100000);
        while (pos < total && request.getStatus() != HttpRequest::COMPLETE
               && request.getStatus() != HttpRequest::ABORT) {
            const qint64 piece = qMin<qint64>(pieces[turn++ % 4], total - pos);
            const qint64 taken = request.feed(bytes + pos, piece);
            if (taken < 0 || taken > piece)
                __builtin_trap();
            pos += taken;
            if (taken == 0 && request.getStatus() != HttpRequest::COMPLETE
                && request.getStatus() != HttpRequest::ABORT)
                __builtin_trap();
        }
        if (request.getStatus() != HttpRequest::COMPLETE)
            break;
        request.getPath();
        request.getHeader("content-type");
        request.getParameter(QStringLiteral("sessionid"));
        const auto parameters = request.getParameterMap();
        for (auto it = parameters.cbegin(); it != parameters.cend(); ++it) {
            if (QTemporaryFile *file = request.getUploadedFile(it.key()))
                file->readAll();
        }
    }
    return 0;
}
