#include "ToolbarImages.h"

#include "CommandIds.h"

#include "GdiPlusBitmap.h"
#include "ScaleHelper.h"
#include "diagnostics/snagwise.h"

#include <QPixmap>

const std::vector<unsigned>& ToolbarButtonIds()
{
    using enum vantix::CommandId;
    static const std::vector<unsigned> ids = {ID_FILE_NEW,    ID_INSERT_DATA, ID_FILE_SAVE_AS, 0,
                                              ID_WATER_LEVEL, ID_WATER_UP,    ID_WATER_DOWN,   ID_WIREFRAME};
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
