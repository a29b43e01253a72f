// Progress of Load through the optional sink: when it is called, with what,
// on which thread, and what a cancel leaves behind, for .ors files and for a
// CSV table read in two halves.
#include "OrsTestSupport.h"

#include "ReadProgress.h"
#include "ors_provider/ILoadProgress.h"

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
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
    ULONG References() const { return RefCount(); }
};

// Large enough for both threads of the reader and several percent steps:
// a 100 x 100 x 40 grid of three inputs, two functions.
Sample largeSample()
{
    Sample s;
    s.header.creator = "test";
    s.header.created = "2024-01-02T03:04:05Z";
    s.header.inputs = {{"S", "a"}, {"S", "b"}, {"S", "c"}};
    s.header.functions = {"f", "g"};
    s.inputs.resize(3);
    s.functions.resize(2);
    for (int a = 0; a < 100; ++a)
        for (int b = 0; b < 100; ++b)
            for (int c = 0; c < 40; ++c) {
                s.inputs[0].push_back(a * 0.5);
                s.inputs[1].push_back(-b);
                s.inputs[2].push_back(c * 1e-3);
                s.functions[0].push_back(std::sin(a * 0.1) * b + c);
                s.functions[1].push_back(a - b * c);
            }
    s.header.recordCount = std::uint32_t(s.inputs[0].size());
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

    ComPtr<IOptimizationResultsLoadProgress> progressOf(IOptimizationResultsDataProvider* provider)
    {
        ComPtr<IOptimizationResultsLoadProgress> p(provider);
        EXPECT_TRUE(p);
        return p;
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
    ULONG records = 0;
    withSink.source->GetRecordCount(&records);
    EXPECT_LT(calls.size(), records / 1000) << "reports come in steps, not per record";
    EXPECT_EQ(calls.front().done, 0u);
    const std::uint64_t total = calls.front().total;
    EXPECT_GT(total, 0u);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].total, total);
        EXPECT_EQ(calls[i].thread, std::this_thread::get_id());
        if (i) {
            EXPECT_GE(calls[i].done, calls[i - 1].done);
        }
    }
    EXPECT_EQ(calls.back().done, total);
    // Progress passes through the middle, not only jumps from start to end.
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(),
                            [&](const auto& c) { return c.done > total / 4 && c.done < total * 3 / 4; }));

    EXPECT_TRUE(readBack(withSink.source.Get()) == readBack(plain.source.Get()));
}

TEST_P(LoadProgressTest, DecliningCancelsWithTheTextAndLeavesNothingBehind)
{
    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    // In reading, in the middle, in building the indices, and in the very last call.
    for (const double at : {0.1, 0.5, 0.9, 1.0}) {
        SCOPED_TRACE(at);
        auto sink = platform::MakeCom<RecordingSink>();
        sink->cancelAt = at;
        progressOf(provider.Get())->SetProgressSink(sink.Get());
        IUnknown* data = static_cast<IOptimizationResultsDataProvider*>(provider.Get()); // must be overwritten
        const HRESULT hr = provider->Load(file(), &data);
        EXPECT_EQ(hr, E_ABORT);
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(errorInfoText(), L"Loading was cancelled.");
        ComPtr<platform::ISupportErrorInfo> support(provider);
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(platform::uuidof<IOptimizationResultsDataProvider>()), S_OK);
        // The declining call is the last one.
        ASSERT_FALSE(sink->calls.empty());
        EXPECT_GE(double(sink->calls.back().done), at * double(sink->calls.back().total));
        for (std::size_t i = 0; i + 1 < sink->calls.size(); ++i)
            EXPECT_LT(double(sink->calls[i].done), at * double(sink->calls[i].total));
    }

    // Any failure code cancels, and the provider loads normally afterwards.
    auto refusing = platform::MakeCom<RecordingSink>();
    refusing->cancelAt = 0.3;
    refusing->refusal = E_FAIL;
    progressOf(provider.Get())->SetProgressSink(refusing.Get());
    EXPECT_EQ(load(provider.Get(), file()).hr, E_ABORT);
    auto fine = platform::MakeCom<RecordingSink>();
    progressOf(provider.Get())->SetProgressSink(fine.Get());
    const LoadResult again = load(provider.Get(), file());
    EXPECT_EQ(again.hr, S_OK) << again.error;
}

TEST_P(LoadProgressTest, WithoutASinkNothingIsCalledAndTheSinkIsReleased)
{
    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    auto sink = platform::MakeCom<RecordingSink>();
    sink->cancelAt = 0; // would cancel at once
    const ULONG alone = sink->References();
    progressOf(provider.Get())->SetProgressSink(sink.Get());
    EXPECT_GT(sink->References(), alone);
    progressOf(provider.Get())->SetProgressSink(nullptr);
    EXPECT_EQ(sink->References(), alone);
    const LoadResult r = load(provider.Get(), file());
    EXPECT_EQ(r.hr, S_OK) << r.error;
    EXPECT_TRUE(sink->calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, LoadProgressTest, ::testing::Values("large.ors", "large.csv"),
                         [](const auto& info) { return std::string(info.param).substr(6); });

TEST(LoadProgress, SmallFilesReportStartAndEndAndFailuresKeepTheirText)
{
    TempDir dir;
    smallSample().write(dir / "small.ors");
    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    auto sink = platform::MakeCom<RecordingSink>();
    ComPtr<IOptimizationResultsLoadProgress>(provider)->SetProgressSink(sink.Get());
    const LoadResult r = load(provider.Get(), (dir / "small.ors").wstring());
    ASSERT_EQ(r.hr, S_OK) << r.error;
    ASSERT_GE(sink->calls.size(), 2u);
    EXPECT_EQ(sink->calls.front().done, 0u);
    EXPECT_EQ(sink->calls.back().done, sink->calls.back().total);

    // A damaged file fails as before; its text is not replaced by the cancel text.
    std::ofstream(dir / "bad.ors", std::ios::binary) << "SQLite format 3";
    const LoadResult bad = load(provider.Get(), (dir / "bad.ors").wstring());
    EXPECT_EQ(bad.hr, E_FAIL);
    EXPECT_THAT(bad.error, ::testing::StartsWith(fileText(dir / "bad.ors")));
}

// Part 1 of two goes to a helper (the caller is busy with part 0 meanwhile).
template <class Work>
void OnHelper(ors::ReadProgress& progress, Work work)
{
    ors::ParallelLoad(progress, 2, [&](int part, int) {
        if (part == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        else
            work();
    });
}

TEST(LoadProgress, WaitingForAHelperKeepsCallingTheSinkAndACancelStopsTheHelper)
{
    using namespace std::chrono_literals;
    {
        // A helper that makes no visible progress for a while: the calling
        // thread still calls the sink now and then while it waits.
        auto sink = platform::MakeCom<RecordingSink>();
        ors::ReadProgress progress(sink.Get());
        progress.BeginStage(100, 4);
        OnHelper(progress, [&] {
            for (int i = 0; i < 4; ++i) {
                std::this_thread::sleep_for(80ms);
                progress.Advance(1);
            }
        });
        progress.Finish();
        EXPECT_GE(sink->calls.size(), 4u);
        for (const auto& c : sink->calls)
            EXPECT_EQ(c.thread, std::this_thread::get_id());
        EXPECT_EQ(sink->calls.back().done, sink->calls.back().total);
    }
    {
        // Declined while waiting: the helper stops at its next step.
        auto sink = platform::MakeCom<RecordingSink>();
        sink->cancelAt = 0.02;
        ors::ReadProgress progress(sink.Get());
        progress.BeginStage(100, 1000);
        std::atomic<int> steps{0};
        EXPECT_THROW(OnHelper(progress,
                              [&] {
                                  for (int i = 0; i < 1000; ++i) {
                                      std::this_thread::sleep_for(1ms);
                                      ++steps;
                                      progress.Advance(1);
                                  }
                              }),
                     ors::LoadCancelled);
        EXPECT_TRUE(progress.Cancelled());
        EXPECT_LT(steps.load(), 1000);
        EXPECT_THROW(progress.Report(), ors::LoadCancelled) << "no call after the declining one";
        EXPECT_GE(double(sink->calls.back().done), 0.02 * double(sink->calls.back().total));
    }
    {
        // A helper's own failure reaches the caller; without a sink every call is a no-op.
        ors::ReadProgress none;
        EXPECT_THROW(OnHelper(none, [] { throw ors::OrsError{L"bad"}; }), ors::OrsError);
        EXPECT_NO_THROW(none.Advance(5));
        EXPECT_NO_THROW(none.Finish());
    }
}
