#pragma once
// Shared by the fuzz targets: the input as a file (every loader reads by
// path), and what must hold for whatever loads.
#include "OrsFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Writes the input to a file of this process (replaced on each call).
std::wstring InputFile(const std::uint8_t* data, std::size_t size);
// A second path beside it, for saving what loaded.
std::wstring SavePath();

// Ends the run: libFuzzer keeps the input as a crash.
[[noreturn]] void Fail(const std::string& what);

// Counts agree, distinct values ascend and are finite, every index names one
// of them, function values are finite.
void CheckContent(const ors::OrsContent& content);
// Saved and read back, the content is identical: names, counts, values,
// value indices, bit for bit.
void CheckRoundTrip(const ors::OrsContent& content);

} // namespace fuzz
