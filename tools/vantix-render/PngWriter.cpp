#include "PngWriter.h"

#include "platform/parallel.h"

#include <QFile>
#include <QImage>

#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace batch {

namespace {

void Put32(std::string& out, std::uint32_t v)
{
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(bytes, 4);
}

void Chunk(std::string& out, const char* type, const std::string& data)
{
    Put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += data;
    const auto* p = reinterpret_cast<const Bytef*>(out.data() + start);
    Put32(out, static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), p, static_cast<uInt>(out.size() - start))));
}

// One run of rows as raw deflate data; every part but the last ends on a
// byte boundary without the final-block bit, so parts simply concatenate.
struct Part {
    std::string deflated;
    uLong adler = 0;
    uLong length = 0;
    bool ok = false;
};

void CompressRows(const QImage& image, int y0, int y1, bool bLast, Part& part)
{
    const int w = image.width();
    const std::size_t rowBytes = 3 * std::size_t(w) + 1;
    std::vector<unsigned char> row(rowBytes);
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK)
        return;
    part.adler = adler32(0, nullptr, 0);
    part.deflated.resize(std::max<std::size_t>(rowBytes * std::size_t(y1 - y0) / 8, 4096));
    std::size_t used = 0;
    bool ok = true;
    for (int y = y0; y < y1 && ok; ++y) {
        // Filter "Up": each byte minus the one above it (zero above the first row).
        const auto* cur = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        const auto* above = y > 0 ? reinterpret_cast<const std::uint32_t*>(image.constScanLine(y - 1)) : nullptr;
        unsigned char* o = row.data();
        *o++ = above ? 2 : 0;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = cur[x];
            const std::uint32_t a = above ? above[x] : 0;
            *o++ = static_cast<unsigned char>((c >> 16) - (a >> 16));
            *o++ = static_cast<unsigned char>((c >> 8) - (a >> 8));
            *o++ = static_cast<unsigned char>(c - a);
        }
        part.adler = adler32(part.adler, row.data(), static_cast<uInt>(rowBytes));
        part.length += static_cast<uLong>(rowBytes);
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(rowBytes);
        const int flush = y + 1 < y1 ? Z_NO_FLUSH : (bLast ? Z_FINISH : Z_SYNC_FLUSH);
        for (;;) {
            if (used == part.deflated.size())
                part.deflated.resize(part.deflated.size() * 2);
            z.next_out = reinterpret_cast<Bytef*>(part.deflated.data() + used);
            z.avail_out = static_cast<uInt>(part.deflated.size() - used);
            const int rc = deflate(&z, flush);
            used = part.deflated.size() - z.avail_out;
            if (rc == Z_STREAM_ERROR) {
                ok = false;
                break;
            }
            // Done with this row once the input is consumed and zlib did not fill the output.
            if (flush == Z_FINISH ? rc == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0))
                break;
        }
    }
    deflateEnd(&z);
    part.deflated.resize(used);
    part.ok = ok;
}

} // namespace

bool WritePng(const QImage& source, const QString& path, QString* pError)
{
    const QImage image = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                             ? source
                             : source.convertToFormat(QImage::Format_RGB32);
    const int w = image.width(), h = image.height();
    if (w <= 0 || h <= 0) {
        if (pError)
            *pError = QStringLiteral("the picture is empty");
        return false;
    }

    // Two halves at once for pictures of some size.
    const int nParts = h >= 64 && std::thread::hardware_concurrency() > 1 ? 2 : 1;
    std::vector<Part> parts(nParts);
    platform::ParallelFor(nParts, [&](int i, int n) {
        CompressRows(image, h * i / n, h * (i + 1) / n, i + 1 == n, parts[std::size_t(i)]);
    });

    std::string ihdr;
    Put32(ihdr, static_cast<std::uint32_t>(w));
    Put32(ihdr, static_cast<std::uint32_t>(h));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, adaptive filters, no interlace
    std::string idat("\x78\x01", 2);                // zlib header: deflate, 32 KiB window
    uLong adler = adler32(0, nullptr, 0);
    for (const Part& part : parts) {
        if (!part.ok) {
            if (pError)
                *pError = QStringLiteral("compression failed");
            return false;
        }
        idat += part.deflated;
        adler = adler32_combine(adler, part.adler, static_cast<z_off_t>(part.length));
    }
    Put32(idat, static_cast<std::uint32_t>(adler));

    std::string png("\x89PNG\r\n\x1a\n", 8);
    png.reserve(idat.size() + 64);
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", idat);
    Chunk(png, "IEND", std::string());

    const QByteArray name = QFile::encodeName(path);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(name.constData(), "wb"), &std::fclose);
    bool ok = file && std::fwrite(png.data(), 1, png.size(), file.get()) == png.size();
    int error = ok ? 0 : errno;
    if (file) {
        const bool closed = std::fclose(file.release()) == 0;
        if (ok && !closed)
            error = errno;
        ok = ok && closed;
    }
    if (!ok && pError)
        *pError = QString::fromLocal8Bit(std::strerror(error ? error : EIO));
    return ok;
}

} // namespace batch
