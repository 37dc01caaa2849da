// Feeds arbitrary upload bodies to the multipart splitter. The first line of the input is
// the boundary, the rest the body; every part found must lie inside the body.
#include "server/multipart.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = input.indexOf('\n');
    const QByteArray boundary = newline < 0 ? QByteArray("b") : input.left(newline);
    const QByteArray body = newline < 0 ? input : input.mid(newline + 1);
    const QList<ParsedFile> files = parseMultipartData(body, boundary);
    qsizetype total = 0;
    for (const ParsedFile &file : files) {
        if (file.filename.isEmpty() || file.data.isEmpty())
            std::abort();
        total += file.data.size();
    }
    if (total > body.size())
        std::abort();
    parseMultipartPart(body);
    return 0;
}
