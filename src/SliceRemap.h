#pragma once
// A followed study is read again as new data objects whose value indices are
// renumbered as values arrive; a slice chosen on older data is carried over
// by value.
#include "DataTransformer.h"

#include <optional>

// The same slice of newer data of the same study: inputs and the function
// found by name, held values by value (labels by their text, "(none)" as
// itself), "All" as all, a range by its ends. Nothing when an axis input or
// the function is gone. Inputs new in the newer data are not held.
std::optional<CDataTransformer> RemapSlice(const CDataTransformer& slice, IUnknown* pNewer);
