// Progress of Load through the optional sink: when it is called, with what,
// on which thread, and what a cancel leaves behind, for .ors files and for a
// CSV table read in two halves.
#include "OrsTestSupport.h"

#include "ReadProgress.h"
#include "ors_provider/ILoadProgress.h"

#include <gmock/gmock.h>

#include <cmath>
#include <fstream>
#include <thread>

using namespace orstest;

namespace {

// Records every call; declines the first call at or beyond cancelAt (a
// fraction of the total) when set.
class RecordingSink final : public platform::ComObject<ILoadProgressSink> {
public:
    struct Call {
        std::uint64_t done, total;
        std::thread::id thread;
    };
    std::vector<Call> calls;
    double cancelAt = -1;
    HRESULT refusal = E_ABORT;

    HRESULT OnProgress(std::uint64_t done, std::uint64_t total) override
    {
        calls.push_back({done, total, std::this_thread::get_id()});
        if (cancelAt >= 0 && total > 0 && double(done) >= cancelAt * double(total))
            return refusal;
        return S_OK;
    }
};

// Large enough for both threads of the reader and several percent steps:
// a 100 x 100 x 40 grid of three inputs, two functions.
Sample largeSample()
{
    Sample s = smallSample();
    const int n = 400000;
    s.header.inputs.push_back({"S", "c"});
    s.inputs.assign(3, {});
    s.functions.assign(2, {});
    for (int r = 0; r < n; ++r) {
        s.inputs[0].push_back(r / 4000 * 0.5);
        s.inputs[1].push_back(-(r / 40 % 100));
        s.inputs[2].push_back(r % 40 * 1e-3);
        s.functions[0].push_back(std::sin(r * 0.1));
        s.functions[1].push_back(r);
    }
    s.header.recordCount = n;
    return s;
}

// A table of 3 inputs and 1 function, well above the size read in two halves.
void writeLargeCsv(const fs::path& path, int rows)
{
    std::ofstream out(path, std::ios::binary);
    out << "x1,x2,x3,f1\n";
    for (int r = 0; r < rows; ++r)
        out << r % 97 << ',' << (r / 97) % 89 << ',' << 0.25 * (r % 13) << ',' << 1.5 * r << '\n';
}

class LoadProgressTest : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new TempDir;
        largeSample().write(*s_dir / "large.ors");
        writeLargeCsv(*s_dir / "large.csv", 500000);
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }

    std::wstring file() const { return (*s_dir / GetParam()).wstring(); }

    static ComPtr<IOptimizationResultsLoadProgress> progressOf(IOptimizationResultsDataProvider* provider)
    {
        return ComPtr<IOptimizationResultsLoadProgress>(provider);
    }

    static TempDir* s_dir;
};
TempDir* LoadProgressTest::s_dir = nullptr;

} // namespace

TEST_P(LoadProgressTest, SinkSeesSteadyProgressOnTheCallingThreadEndingAtTotal)
{
    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    const LoadResult plain = load(provider.Get(), file());
    ASSERT_EQ(plain.hr, S_OK) << plain.error;

    auto sink = platform::MakeCom<RecordingSink>();
    ASSERT_EQ(progressOf(provider.Get())->SetProgressSink(sink.Get()), S_OK);
    const LoadResult withSink = load(provider.Get(), file());
    ASSERT_EQ(withSink.hr, S_OK) << withSink.error;

    const auto& calls = sink->calls;
    ASSERT_GE(calls.size(), 10u) << "a large file reports several steps";
    EXPECT_LT(calls.size(), 400u) << "reports come in steps, not per record";
    const std::uint64_t total = calls.front().total;
    EXPECT_TRUE(calls.front().done == 0 && total > 0);
    for (std::size_t i = 0; i < calls.size(); ++i)
        EXPECT_TRUE(calls[i].total == total && calls[i].thread == std::this_thread::get_id() &&
                    (i == 0 || calls[i].done >= calls[i - 1].done)) << i;
    EXPECT_EQ(calls.back().done, total);

    EXPECT_TRUE(readBack(withSink.source.Get()) == readBack(plain.source.Get()));
}

TEST_P(LoadProgressTest, DecliningCancelsWithTheTextAndLeavesNothingBehind)
{
    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    // In reading, in the middle, in building the indices, and in the very last call.
    for (const double at : {0.1, 0.9, 1.0}) {
        SCOPED_TRACE(at);
        auto sink = platform::MakeCom<RecordingSink>();
        sink->cancelAt = at;
        progressOf(provider.Get())->SetProgressSink(sink.Get());
        IUnknown* data = static_cast<IOptimizationResultsDataProvider*>(provider.Get()); // must be overwritten
        const HRESULT hr = provider->Load(file(), &data);
        EXPECT_EQ(hr, E_ABORT);
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(errorInfoText(), L"Loading was cancelled.");
        // The declining call is the last one.
        const auto& calls = sink->calls;
        ASSERT_GE(calls.size(), 2u);
        EXPECT_GE(double(calls.back().done), at * double(calls.back().total));
        EXPECT_LT(double(calls[calls.size() - 2].done), at * double(calls.back().total));
    }

    // Any failure code cancels; without a sink the provider loads normally again.
    auto refusing = platform::MakeCom<RecordingSink>();
    refusing->cancelAt = 0.3;
    refusing->refusal = E_FAIL;
    progressOf(provider.Get())->SetProgressSink(refusing.Get());
    EXPECT_EQ(load(provider.Get(), file()).hr, E_ABORT);
    progressOf(provider.Get())->SetProgressSink(nullptr);
    const std::size_t seen = refusing->calls.size();
    const LoadResult again = load(provider.Get(), file());
    EXPECT_EQ(again.hr, S_OK) << again.error;
    EXPECT_EQ(refusing->calls.size(), seen);
}

INSTANTIATE_TEST_SUITE_P(Formats, LoadProgressTest, ::testing::Values("large.ors", "large.csv"),
                         [](const auto& info) { return std::string(info.param).substr(6); });

TEST(LoadProgress, FailuresKeepTheirText)
{
    // A damaged file fails as before; its text is not replaced by the cancel text.
    TempDir dir;
    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    auto sink = platform::MakeCom<RecordingSink>();
    ComPtr<IOptimizationResultsLoadProgress>(provider)->SetProgressSink(sink.Get());
    std::ofstream(dir / "bad.ors", std::ios::binary) << "SQLite format 3";
    const LoadResult bad = load(provider.Get(), (dir / "bad.ors").wstring());
    EXPECT_EQ(bad.hr, E_FAIL);
    EXPECT_THAT(bad.error, ::testing::StartsWith(fileText(dir / "bad.ors")));

    // A helper's own failure reaches the caller; without a sink every call is a no-op.
    ors::ReadProgress none;
    EXPECT_THROW(ors::ParallelLoad(none, 2, [](int part, int) { if (part) throw ors::OrsError{L"bad"}; }),
                 ors::OrsError);
    EXPECT_NO_THROW(none.Advance(5));
    EXPECT_NO_THROW(none.Finish());
}
