#pragma once
// Callbacks from the fixed-inputs list and its editors to the input
// configuration dialog.
#include "platform/hresult.h"

#include <string>

class IStaticInputChange {
public:
    // The value editor stepped (code: a scroll code) or committed a typed
    // number (code -1). In: the typed number; out: the value now shown.
    // False when the row being edited maps to no input.
    virtual bool OnValueChange(int code, double* pValue) = 0;
    // The "Fix" box of a row changed.
    virtual void OnFixChange(unsigned nRow, BOOL bFixed) = 0;
    // The user abandoned editing (Escape in the value editor).
    virtual void OnCancelChange() = 0;
    // The value editor committed "All" (bAll) or a range LOW:HIGH for the row
    // being edited; false when it cannot be held so (no value in the range).
    virtual bool OnHoldChange(bool bAll, double low, double high) { return false; }
    // Whether the row being edited names its values with labels (a
    // categorical input, or one with a "(none)" value): the editor then takes
    // letters.
    virtual bool AcceptsLabels() { return false; }
    // The editor committed text naming a label of the row's input; false
    // when it names none (or several).
    virtual bool OnLabelChange(const std::wstring& text) { return false; }
    // The label of the row's current value, shown after a step or commit;
    // empty when the value is a plain number.
    virtual std::wstring CurrentLabel() { return {}; }

protected:
    ~IStaticInputChange() = default;
};

// Scroll codes of the value editor (the Windows SB_ values).
enum : int {
    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_TOP = 6,
    SB_BOTTOM = 7,
};
