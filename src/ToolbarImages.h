#pragma once
// The main frame's toolbar: its buttons and the images of the current scale step.
#include <QIcon>
#include <QSize>

#include <vector>

struct ToolbarImages {
    QSize size;               // button image edge; 0 x 0 without a strip
    std::vector<QIcon> icons; // one per non-separator button, in layout order
    int separatorWidth = 8;
};

// Command ids of the toolbar layout, 0 for a separator (the same for every step).
const std::vector<unsigned>& ToolbarButtonIds();

// Cuts the strip 6001 + scale step of the process's scale helper.
ToolbarImages LoadToolbarImages();
