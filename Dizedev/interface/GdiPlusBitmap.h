#pragma once
// PNG images embedded in the program (the Qt resource system stands in for the
// "PNG" resources): toolbar strips 6001 .. 6009 under :/toolbar/<id>.png and
// icon groups under :/icons/<id>/<edge>.png.
#include "platform/hresult.h"

#include <QIcon>
#include <QImage>
#include <QSize>

#include <vector>

class CGdiPlusBitmap {
public:
    CGdiPlusBitmap() = default;
    explicit CGdiPlusBitmap(const QImage& image) : m_Bitmap(image) {}

    bool IsValid() const { return !m_Bitmap.isNull(); }
    const QImage& Bitmap() const { return m_Bitmap; }

protected:
    QImage m_Bitmap;
};

class CGdiPlusBitmapResource : public CGdiPlusBitmap {
public:
    CGdiPlusBitmapResource() = default;
    explicit CGdiPlusBitmapResource(int nResourceId) { Load(nResourceId); }

    // Decodes the PNG of that id; no image when it is missing or unreadable.
    bool Load(int nResourceId);
    // Resource path of a "PNG" resource id.
    static QString ResourcePath(int nResourceId);
};

// The images of one toolbar strip, cut into square buttons.
struct CToolbarImageList {
    QSize imageSize;
    std::vector<QImage> images;
};

// Cuts the PNG strip of that id into images of height × height (count = width ÷
// height, at least 1). E_FAIL: no such PNG; E_OUTOFMEMORY: the strip cannot be
// converted or cut.
HRESULT LoadToolbarImageList(int nResourceId, CToolbarImageList& list);

// One icon of an icon group at exactly that size (scaled from the nearest larger
// picture when the group has no such size); a null image for an unknown group.
QImage LoadGroupIcon(int nGroupId, QSize size);
// Every size of an icon group, for window icons.
QIcon LoadIconGroup(int nGroupId);
