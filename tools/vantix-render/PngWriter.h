#pragma once
// A PNG writer for rendered charts: 8-bit RGB, "Up" filter, zlib's run-length
// strategy, the rows compressed in two halves at once. Charts are mostly flat
// background and smooth shading, which this compresses about as well as the
// default settings at a fraction of their time.
#include <QString>

class QImage;

namespace batch {

// Writes an RGB32 (or any format QImage converts) image; false with *pError
// set when the file cannot be written.
bool WritePng(const QImage& image, const QString& path, QString* pError);

} // namespace batch
