#include "ToolbarImages.h"

#include "GdiPlusBitmap.h"
#include "ScaleHelper.h"
#include "diagnostics/snagwise.h"

#include <QPixmap>

const std::vector<unsigned>& ToolbarButtonIds()
{
    static const std::vector<unsigned> ids = {57600, 32773, 57603, 0, 32781, 32789, 32790, 32784};
    return ids;
}

ToolbarImages LoadToolbarImages()
{
    ToolbarImages result;
    const auto helper = DPIAware::ScaleHelper::GetInstance();
    result.separatorWidth = helper->Scale(8);
    CToolbarImageList list;
    const HRESULT hr = LoadToolbarImageList(helper->GetToolbarId(), list);
    if (FAILED(hr)) {
        SW_ASSERT_HR(hr);
        return result;
    }
    result.size = list.imageSize;
    result.icons.reserve(list.images.size());
    for (const QImage& image : list.images) {
        QIcon icon(QPixmap::fromImage(image));
        result.icons.push_back(icon);
    }
    return result;
}
