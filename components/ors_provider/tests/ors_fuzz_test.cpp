// Random damage to a valid file: every load either succeeds with consistent
// data or fails with one of the user texts. Run under the sanitizers, this is
// the guard against reads out of bounds and forged sizes.
#include "OrsTestSupport.h"

#include <algorithm>
#include <cmath>
#include <random>

using namespace orstest;

namespace {

// What loaded reads back with finite values (readBack checks every index).
void checkConsistent(IOptimizationResultsDataSource* src)
{
    const Loaded l = readBack(src);
    for (const auto* columns : {&l.inputValues, &l.functionValues})
        for (const auto& column : *columns)
            for (const double v : column)
                ASSERT_TRUE(std::isfinite(v));
}

// Damages a copy of the file at good rounds times.
void fuzz(const TempDir& dir, const fs::path& good, int rounds, std::uint64_t seed)
{
    const std::string original = readBytes(good);
    const std::size_t pageSize = std::size_t(std::uint8_t(original[16])) << 8 | std::uint8_t(original[17]);
    const std::size_t fullPage = pageSize == 1 ? 65536 : pageSize;
    const auto path = dir / "fuzz.ors";
    const std::wstring prefix = fileText(path);
    const std::wstring accepted[] = {prefix + L" is not an Optimization Results File.", prefix + L" is damaged: ",
                                     prefix + L" was written by a newer version", prefix + L" could not be read: ",
                                     prefix + L" is empty."};

    std::mt19937_64 rng(seed);
    int loaded = 0, failed = 0;
    for (int round = 0; round < rounds; ++round) {
        std::string bytes = original;
        const int damage = int(rng() % 5);
        const int edits = 1 + int(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = rng() % bytes.size();
            switch (damage) {
            case 0: // flip single bits
                bytes[at] = char(bytes[at] ^ (1 << (rng() % 8)));
                break;
            case 1: // random bytes over a stretch
                for (std::size_t k = at, end = std::min(bytes.size(), at + 1 + rng() % 64); k < end; ++k)
                    bytes[k] = char(rng());
                break;
            case 2: // a large number where a size might be
                for (std::size_t k = at, end = std::min(bytes.size(), at + 4); k < end; ++k)
                    bytes[k] = char(0x7F);
                break;
            case 3: // the start of a page: b-tree headers and overflow chain links
                for (std::size_t k = at / fullPage * fullPage, end = std::min(bytes.size(), k + 12); k < end; ++k)
                    if (rng() % 3 == 0)
                        bytes[k] = char(rng());
                break;
            default: // cut somewhere
                bytes.resize(std::max<std::size_t>(1, at));
                break;
            }
        }
        writeBytes(path, bytes);
        const auto r = load(path);
        if (SUCCEEDED(r.hr)) {
            ++loaded;
            ASSERT_TRUE(r.source);
            checkConsistent(r.source.Get());
        } else {
            ++failed;
            ASSERT_TRUE(std::any_of(std::begin(accepted), std::end(accepted),
                                    [&](const std::wstring& a) { return r.error.starts_with(a); })) << "round " << round << ": " << std::string(r.error.begin(), r.error.end());
        }
    }
    std::cout << "[ note ] " << loaded << " damaged files still loaded, " << failed << " were refused\n";
    EXPECT_GT(failed, rounds / 5);
}

int rounds(int fallback)
{
    const char* env = std::getenv("ORS_FUZZ_ROUNDS");
    return env && *env ? std::max(1, std::atoi(env)) : fallback;
}

} // namespace

TEST(OrsFuzz, RandomDamageNeverCrashes)
{
    // A small file, and one big enough for 64 KiB pages with each value column
    // on a chain of overflow pages.
    Sample big = smallSample();
    big.header.recordCount = 160000;
    for (std::size_t c = 0; c < 2; ++c) {
        big.inputs[c].resize(big.header.recordCount);
        big.functions[c].resize(big.header.recordCount);
        for (std::uint32_t r = 0; r < big.header.recordCount; ++r) {
            big.inputs[c][r] = double((r >> (c * 8)) % 97);
            big.functions[c][r] = r * 0.5;
        }
    }
    const struct {
        Sample sample;
        int rounds;
        std::uint64_t seed;
    } cases[] = {{smallSample(), rounds(600), 20240601}, {big, rounds(600) / 6, 77}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seed);
        TempDir dir;
        c.sample.write(dir / "good.ors");
        fuzz(dir, dir / "good.ors", c.rounds, c.seed);
    }
}
