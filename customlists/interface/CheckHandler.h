#pragma once
// A check-box column: a click or Space toggles the box of the current row once.
#include "BaseColumnHandler.h"

class CCheckHandler : public CBaseColumnHandler<int> {
public:
    void Init(CColumnListImpl* pList) override;
    void DrawItem(QPainter* pDC, const QRect& rect, unsigned nItem, int current, int enabled, int checked) override;
    // Every row starts checked.
    void SetCount(unsigned nRows) override;
    // A check column has no editor.
    void SetActive(BOOL, int) override {}
    void PlaceEditor(int, const QRect&) override {}
    // Toggles the row's box.
    int Commit(int nItem) override;
    // Asks the list to commit the current cell once the click or key is done.
    void BeginEdit(int nItem) override;
    QVariant GetData(unsigned nItem, int role) const override;

    // Edge of the box: 14 pixels at 96 DPI.
    static int BoxEdge();
};
