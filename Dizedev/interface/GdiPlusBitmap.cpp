#include "GdiPlusBitmap.h"

#include <QDir>
#include <QFile>

#include <algorithm>

QString CGdiPlusBitmapResource::ResourcePath(int nResourceId)
{
    return QStringLiteral(":/toolbar/%1.png").arg(nResourceId);
}

bool CGdiPlusBitmapResource::Load(int nResourceId)
{
    m_Bitmap = QImage();
    QFile file(ResourcePath(nResourceId));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return false;
    QImage image;
    if (!image.loadFromData(bytes, "PNG"))
        return false;
    m_Bitmap = std::move(image);
    return true;
}

HRESULT LoadToolbarImageList(int nResourceId, CToolbarImageList& list)
{
    list = {};
    CGdiPlusBitmapResource bitmap(nResourceId);
    if (!bitmap.IsValid())
        return E_FAIL;
    const QImage strip = bitmap.Bitmap().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (strip.isNull() || strip.height() <= 0)
        return E_OUTOFMEMORY;
    const int count = std::max(1, strip.width() / strip.height());
    const int width = strip.width() / count;
    list.imageSize = QSize(width, strip.height());
    list.images.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        QImage image = strip.copy(i * width, 0, width, strip.height());
        if (image.isNull()) {
            list = {};
            return E_OUTOFMEMORY;
        }
        list.images.push_back(std::move(image));
    }
    return S_OK;
}

namespace {

// Edges available in an icon group, ascending.
std::vector<int> GroupSizes(int nGroupId)
{
    std::vector<int> sizes;
    const QDir dir(QStringLiteral(":/icons/%1").arg(nGroupId));
    for (const QString& name : dir.entryList({QStringLiteral("*.png")}, QDir::Files)) {
        bool ok = false;
        const int edge = name.chopped(4).toInt(&ok);
        if (ok && edge > 0)
            sizes.push_back(edge);
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

QImage GroupImage(int nGroupId, int edge)
{
    return QImage(QStringLiteral(":/icons/%1/%2.png").arg(nGroupId).arg(edge), "PNG");
}

} // namespace

QImage LoadGroupIcon(int nGroupId, QSize size)
{
    const std::vector<int> sizes = GroupSizes(nGroupId);
    if (sizes.empty() || size.isEmpty())
        return {};
    const int want = std::max(size.width(), size.height());
    const auto it = std::lower_bound(sizes.begin(), sizes.end(), want);
    const int edge = it == sizes.end() ? sizes.back() : *it;
    QImage image = GroupImage(nGroupId, edge);
    if (image.size() != size && !image.isNull())
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

QIcon LoadIconGroup(int nGroupId)
{
    QIcon icon;
    for (int edge : GroupSizes(nGroupId))
        icon.addFile(QStringLiteral(":/icons/%1/%2.png").arg(nGroupId).arg(edge), QSize(edge, edge));
    return icon;
}
