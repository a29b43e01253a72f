#pragma once
// Owner-draw painting of a list cell by an in-place editor on behalf of its
// column handler: the editor paints the cells of its column in its own font
// even while it is hidden.
#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>

// Item states of an owner-draw request (the Windows ODS_ values).
enum : std::uint32_t {
    ODS_SELECTED = 0x0001,
    ODS_GRAYED = 0x0002,
    ODS_DISABLED = 0x0004,
    ODS_CHECKED = 0x0008,
    ODS_FOCUS = 0x0010,
    ODS_DEFAULT = 0x0020,
    ODS_COMBOBOXEDIT = 0x1000,
};

struct DRAWITEMSTRUCT {
    QPainter* pDC = nullptr;
    QRect rcItem;
    int itemID = -1;
    std::uint32_t itemState = 0;
    const QString* pText = nullptr; // item data: the cell's text
};

// Left text margin of a drawn cell: 2 pixels at 96 DPI.
int CustomDrawTextMargin();

template <class TBase>
class CBaseCustomDraw : public TBase {
public:
    using TBase::TBase;

    // Paints the cell described by dis; text colour follows the checked state.
    void DrawItem(const DRAWITEMSTRUCT& dis) const
    {
        QPainter* dc = dis.pDC;
        if (!dc)
            return;
        dc->save();
        const QPalette& pal = this->palette();
        const bool selected = dis.itemState & ODS_SELECTED;
        QColor text = selected ? pal.color(QPalette::HighlightedText)
                               : pal.color((dis.itemState & ODS_DISABLED) ? QPalette::Disabled : QPalette::Active,
                                           QPalette::Text);
        if (dis.pText) {
            dc->setFont(this->font());
            text = (dis.itemState & ODS_CHECKED) ? pal.color(QPalette::Active, QPalette::WindowText)
                                                 : pal.color(QPalette::Disabled, QPalette::WindowText);
            dc->setPen(text);
            const QFontMetrics fm(this->font());
            const int x = dis.rcItem.left() + CustomDrawTextMargin();
            const int y = dis.rcItem.top() + (dis.rcItem.height() - fm.height()) / 2;
            dc->setClipRect(dis.rcItem, Qt::IntersectClip);
            dc->drawText(QPoint(x, y + fm.ascent()), *dis.pText);
        }
        if (dis.itemState & ODS_FOCUS) {
            dc->setClipping(false);
            dc->setPen(pal.color(QPalette::Highlight));
            dc->setBrush(Qt::NoBrush);
            dc->drawRect(dis.rcItem.adjusted(0, 0, -1, -1));
        }
        dc->restore();
    }
};
