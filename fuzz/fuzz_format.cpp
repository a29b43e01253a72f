// One loader, chosen at build time (VANTIX_FUZZ_FORMAT): inputs the format
// detection gives to another loader go no further.
// What loads must be consistent and save and load again unchanged; what does
// not must fail with a message naming the file.
#include "FuzzHarness.h"
#include "import/Import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr ors::SourceFormat format = ors::SourceFormat::VANTIX_FUZZ_FORMAT;
    const std::wstring path = fuzz::InputFile(data, size);
    if (format != ors::SourceFormat::Ors && ors::DetectResultsFormat(path) != format)
        return 0;
    ors::OrsContent content;
    try {
        content = format == ors::SourceFormat::Ors ? ors::ReadOrsFile(path) : ors::ReadResultsFile(path);
    } catch (const ors::OrsError& e) {
        if (e.message.rfind(L"The file \"" + path + L"\"", 0) != 0)
            fuzz::Fail("a message that does not name the file: " + ors::ToUtf8(e.message));
        return 0;
    }
    fuzz::CheckContent(content);
    fuzz::CheckRoundTrip(content);
    return 0;
}
