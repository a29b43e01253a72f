// ors-generate: writes Optimization Results Files (.ors) that look like the
// output of a filter- or controller-tuning optimization, for demonstrations,
// tests and benchmarks.
#include "OrsFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using std::numbers::pi;

struct InputSpec {
    const char* signal;
    const char* name;
    double lo;
    double hi;
    bool logScale;
};

struct FunctionSpec {
    const char* name;
    // Value at the physical input values x; noise is added by the caller.
    std::function<double(const std::vector<double>& x)> value;
    double noise; // absolute standard deviation at --noise 1
};

struct Scenario {
    const char* title;
    std::vector<InputSpec> inputs;     // in the order they are written
    std::vector<FunctionSpec> functions;
    // True where the optimizer would not evaluate (unstable or infeasible settings).
    std::function<bool(const std::vector<double>& x)> infeasible;
};

// Inputs beyond those chosen sit at the middle of their range.
double at(const std::vector<double>& x, std::size_t i, double fallback)
{
    return i < x.size() ? x[i] : fallback;
}

// A low-pass and a mains-notch filter in front of a smoother, tuned for the
// error against a clean reference, the phase lag and the residual hum.
Scenario filterScenario()
{
    Scenario s;
    s.title = "filter tuning";
    s.inputs = {
        {"LowPass", "CutoffHz", 40, 400, true},
        {"Notch", "CenterHz", 45, 55, false},
        {"LowPass", "Damping", 0.3, 1.2, false},
        {"Notch", "Q", 2, 30, true},
        {"Smoother", "WindowMs", 1, 20, false},
        {"Smoother", "Gain", 0.8, 1.2, false},
    };
    s.functions = {
        {"RmsError",
         [](const std::vector<double>& x) {
             const double fc = x[0], f0 = x[1];
             const double zeta = at(x, 2, 0.75), q = at(x, 3, 8), w = at(x, 4, 10), g = at(x, 5, 1);
             const double passedNoise = 0.25 * std::sqrt(fc / 400);
             const double lostSignal = 0.6 * std::exp(-fc / 70);
             const double detune = (f0 - 50) * q / 50;
             const double hum = 0.3 * detune * detune / (1 + detune * detune);
             return passedNoise + lostSignal + hum + 0.2 * (zeta - 0.7) * (zeta - 0.7) + 0.004 * w +
                    0.5 * (g - 1) * (g - 1);
         },
         0.004},
        {"PhaseLagDeg",
         [](const std::vector<double>& x) {
             const double fc = x[0], f0 = x[1];
             const double zeta = at(x, 2, 0.75), q = at(x, 3, 8), w = at(x, 4, 10);
             const double f = 10; // band of interest
             const double lowPass = std::atan2(2 * zeta * f / fc, 1 - (f / fc) * (f / fc)) * 180 / pi;
             const double notch = 90 * std::atan(f / (f0 * q) * 4) / (pi / 2) * 0.3;
             return lowPass + notch + 0.18 * w * f;
         },
         0.3},
        {"HumDb",
         [](const std::vector<double>& x) {
             const double fc = x[0], f0 = x[1], q = at(x, 3, 8);
             const double detune = (f0 - 50) * q / 50;
             const double notch = 10 * std::log10(detune * detune / (1 + detune * detune) + 1e-4);
             const double lowPass = -20 * std::log10(1 + std::pow(50 / fc, 2));
             return notch + lowPass;
         },
         0.5},
    };
    // A notch too close to the cutoff makes the cascade ring: such runs were skipped.
    s.infeasible = [](const std::vector<double>& x) { return x[0] < 1.1 * x[1] && at(x, 2, 0.75) < 0.45; };
    return s;
}

// A cascaded speed/current controller with feed-forward, tuned for overshoot,
// settling time and integrated absolute error of a speed step.
Scenario controllerScenario()
{
    Scenario s;
    s.title = "controller tuning";
    s.inputs = {
        {"SpeedLoop", "Kp", 0.2, 5, true},
        {"CurrentLoop", "Kp", 5, 40, false},
        {"SpeedLoop", "Ki", 1, 60, true},
        {"CurrentLoop", "Ki", 100, 2000, true},
        {"SpeedLoop", "Kd", 0, 0.05, false},
        {"FeedForward", "Gain", 0, 1.2, false},
    };
    auto loop = [](const std::vector<double>& x, double& zeta, double& wn) {
        const double kp = x[0], kpi = x[1], ki = at(x, 2, 10), kii = at(x, 3, 600), kd = at(x, 4, 0.01);
        const double innerLag = 1 / (1 + kpi / 15) + 200 / (kii + 200) * 0.3; // slower inner loop, less phase margin
        wn = std::sqrt(ki * 4) * (1 + 0.2 * kd * 20);
        zeta = (kp * 2 + kd * 40) / (2 * std::sqrt(ki)) / (1 + innerLag);
    };
    s.functions = {
        {"OvershootPct",
         [loop](const std::vector<double>& x) {
             double zeta, wn;
             loop(x, zeta, wn);
             const double ff = at(x, 5, 0.6);
             const double base = zeta < 1 ? 100 * std::exp(-pi * zeta / std::sqrt(1 - zeta * zeta)) : 0;
             return base + 8 * std::max(0.0, ff - 0.8);
         },
         0.4},
        {"SettlingTimeMs",
         [loop](const std::vector<double>& x) {
             double zeta, wn;
             loop(x, zeta, wn);
             const double ff = at(x, 5, 0.6);
             const double z = std::max(zeta, 0.05);
             return 1000 * (z < 1 ? 4 / (z * wn) : 4 * z / wn) * (1 - 0.3 * std::min(ff, 1.0));
         },
         3},
        {"Iae",
         [loop](const std::vector<double>& x) {
             double zeta, wn;
             loop(x, zeta, wn);
             const double ff = at(x, 5, 0.6);
             return (2 * std::max(zeta, 0.05) + 1 / std::max(zeta, 0.05)) / wn * (1.2 - 0.5 * std::min(ff, 1.0)) +
                    0.02 * (ff - 0.9) * (ff - 0.9);
         },
         0.002},
    };
    // Barely damped settings oscillate; the optimizer did not run them.
    s.infeasible = [loop](const std::vector<double>& x) {
        double zeta, wn;
        loop(x, zeta, wn);
        return zeta < 0.12;
    };
    return s;
}

struct Options {
    std::string scenario = "filter";
    std::string design = "full";
    std::size_t inputs = 4;
    std::size_t functions = 2;
    std::vector<std::size_t> levels;
    std::uint64_t records = 5000;
    int dataType = -1; // by design
    bool typeGiven = false;
    double holes = 0.03;
    double noise = 1;
    std::uint64_t seed = 1;
    std::size_t grid = 300;
    std::string output;
};

void usage(FILE* out)
{
    std::fputs(
        "usage: ors-generate [options] OUTPUT.ors\n"
        "Writes an Optimization Results File of a simulated tuning run.\n"
        "\n"
        "  --scenario filter|controller|benchmark   what was tuned (default filter)\n"
        "  --inputs N        2..6 inputs (default 4)\n"
        "  --functions M     1..3 functions (default 2)\n"
        "  --design full|subset|random\n"
        "                    full factorial over the levels, a random subset of it,\n"
        "                    or uniformly random values (default full)\n"
        "  --levels L[,L...] values per input of the grid (default 12,12,5,5,...)\n"
        "  --records R       records of a subset or random design (default 5000)\n"
        "  --type T          data type: 0 or 1 surface, 2 points (default 0 for full,\n"
        "                    1 for subset, 2 for random)\n"
        "  --holes P         fraction of combinations not evaluated, besides the\n"
        "                    infeasible region (default 0.03)\n"
        "  --noise S         scale of the measurement noise (default 1; 0: none)\n"
        "  --seed N          random seed (default 1)\n"
        "  --grid G          benchmark: G values of x1 and x2 (default 300,\n"
        "                    2,250,000 records)\n"
        "\n"
        "The benchmark scenario is the full-factorial layout x1, x2 on G values in\n"
        "[-2, 2] (signal Grid), x3, x4 in {0, 0.25, 0.5, 0.75, 1} (signal Offset),\n"
        "records in nested order x1 outermost, functions f1 and f2.\n",
        out);
}

[[noreturn]] void fail(const std::string& text)
{
    std::fprintf(stderr, "ors-generate: %s\n", text.c_str());
    std::exit(2);
}

std::uint64_t parseCount(const char* text, const char* option)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno || end == text || *end || text[0] == '-')
        fail(std::string("invalid number for ") + option + ": " + text);
    return v;
}

double parseReal(const char* text, const char* option)
{
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end || !std::isfinite(v))
        fail(std::string("invalid number for ") + option + ": " + text);
    return v;
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                fail("missing value for " + a);
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            usage(stdout);
            std::exit(0);
        } else if (a == "--scenario") {
            o.scenario = value();
        } else if (a == "--design") {
            o.design = value();
        } else if (a == "--inputs") {
            o.inputs = parseCount(value(), "--inputs");
        } else if (a == "--functions") {
            o.functions = parseCount(value(), "--functions");
        } else if (a == "--levels") {
            std::string list = value();
            o.levels.clear();
            std::size_t start = 0;
            while (start <= list.size()) {
                const auto comma = std::min(list.find(',', start), list.size());
                o.levels.push_back(parseCount(list.substr(start, comma - start).c_str(), "--levels"));
                start = comma + 1;
            }
        } else if (a == "--records") {
            o.records = parseCount(value(), "--records");
        } else if (a == "--type") {
            o.dataType = int(parseReal(value(), "--type"));
            o.typeGiven = true;
        } else if (a == "--holes") {
            o.holes = parseReal(value(), "--holes");
        } else if (a == "--noise") {
            o.noise = parseReal(value(), "--noise");
        } else if (a == "--seed") {
            o.seed = parseCount(value(), "--seed");
        } else if (a == "--grid") {
            o.grid = parseCount(value(), "--grid");
        } else if (!a.empty() && a[0] == '-') {
            fail("unknown option " + a + " (see --help)");
        } else if (o.output.empty()) {
            o.output = a;
        } else {
            fail("more than one output file given");
        }
    }
    if (o.output.empty()) {
        usage(stderr);
        std::exit(2);
    }
    return o;
}

struct Columns {
    ors::OrsHeader header;
    std::vector<std::vector<double>> inputs;
    std::vector<std::vector<double>> functions;
};

void write(const Options& o, Columns& c)
{
    c.header.recordCount = std::uint32_t(c.inputs.empty() ? 0 : c.inputs[0].size());
    c.header.created = ors::CurrentTimestamp();
    std::vector<const double*> in, fn;
    for (const auto& v : c.inputs)
        in.push_back(v.data());
    for (const auto& v : c.functions)
        fn.push_back(v.data());
    try {
        ors::WriteOrsFile(ors::FromUtf8(o.output), c.header, in, fn);
    } catch (const ors::OrsError& e) {
        fail(ors::ToUtf8(e.message));
    }
    std::printf("%s: %u records, %zu inputs, %zu functions, data type %d\n", o.output.c_str(),
                c.header.recordCount, c.inputs.size(), c.functions.size(), c.header.dataType);
}

// The layout of the peer benchmarks' generator: same grid, same formulas,
// its own random numbers.
void benchmark(const Options& o)
{
    const std::size_t g = o.grid;
    if (g < 2 || g * g * 25 > 0x0FFFFFFF)
        fail("--grid must be between 2 and 3276");
    Columns c;
    c.header.dataType = o.typeGiven ? o.dataType : 0;
    c.header.creator = "ors-generate (benchmark layout, grid " + std::to_string(g) + ")";
    c.header.inputs = {{"Grid", "x1"}, {"Grid", "x2"}, {"Offset", "x3"}, {"Offset", "x4"}};
    c.header.functions = {"f1", "f2"};
    const std::size_t n = g * g * 25;
    c.inputs.assign(4, std::vector<double>(n));
    c.functions.assign(2, std::vector<double>(n));
    std::vector<double> grid(g);
    for (std::size_t i = 0; i < g; ++i)
        grid[i] = -2.0 + 4.0 * double(i) / double(g - 1);
    static constexpr double kOffsets[] = {0.0, 0.25, 0.5, 0.75, 1.0};
    std::mt19937_64 rng(o.seed == 1 ? 12345 : o.seed);
    std::normal_distribution<double> normal;
    std::size_t r = 0;
    for (std::size_t a = 0; a < g; ++a)
        for (std::size_t b = 0; b < g; ++b)
            for (const double x3 : kOffsets)
                for (const double x4 : kOffsets) {
                    const double x1 = grid[a], x2 = grid[b];
                    c.inputs[0][r] = x1;
                    c.inputs[1][r] = x2;
                    c.inputs[2][r] = x3;
                    c.inputs[3][r] = x4;
                    c.functions[0][r] = std::sin(1.5 * x1) * std::cos(1.2 * x2) + 0.3 * x3 - 0.2 * x4 * x1;
                    c.functions[1][r] = (x1 - 0.5) * (x1 - 0.5) + 0.5 * (x2 + 0.3) * (x2 + 0.3) + x3 * x4;
                    ++r;
                }
    // Noise drawn per function in record order, as the peers' generator does.
    for (std::size_t i = 0; i < n; ++i)
        c.functions[0][i] += 0.02 * o.noise * normal(rng);
    for (std::size_t i = 0; i < n; ++i)
        c.functions[1][i] += 0.05 * o.noise * normal(rng);
    write(o, c);
}

double levelValue(const InputSpec& in, std::size_t k, std::size_t levels)
{
    const double t = levels < 2 ? 0.5 : double(k) / double(levels - 1);
    const double v = in.logScale ? in.lo * std::pow(in.hi / in.lo, t) : in.lo + (in.hi - in.lo) * t;
    // Tuning tools store settings with a few significant digits.
    const double scale = std::pow(10.0, 3 - std::floor(std::log10(std::max(std::abs(v), 1e-9))));
    return std::round(v * scale) / scale;
}

void tuning(const Options& o, const Scenario& s)
{
    if (o.inputs < 2 || o.inputs > 6)
        fail("--inputs must be between 2 and 6");
    if (o.functions < 1 || o.functions > 3)
        fail("--functions must be between 1 and 3");
    if (o.holes < 0 || o.holes >= 1)
        fail("--holes must be in [0, 1)");
    const std::size_t k = o.inputs;
    std::vector<std::size_t> levels(k);
    for (std::size_t i = 0; i < k; ++i)
        levels[i] = i < o.levels.size() ? o.levels[i] : !o.levels.empty() ? o.levels.back() : i < 2 ? 12 : 5;
    for (const auto l : levels)
        if (l < 1 || l > 100000)
            fail("--levels must be between 1 and 100000");
    long double combinations = 1;
    for (const auto l : levels)
        combinations *= l;

    Columns c;
    const bool random = o.design == "random", subset = o.design == "subset";
    if (!random && !subset && o.design != "full")
        fail("--design must be full, subset or random");
    c.header.dataType = o.typeGiven ? o.dataType : random ? 2 : subset ? 1 : 0;
    c.header.creator = std::string("ors-generate (") + s.title + ", " + o.design + " design, seed " +
                       std::to_string(o.seed) + ")";
    for (std::size_t i = 0; i < k; ++i)
        c.header.inputs.push_back({s.inputs[i].signal, s.inputs[i].name});
    for (std::size_t f = 0; f < o.functions; ++f)
        c.header.functions.push_back(s.functions[f].name);
    c.inputs.assign(k, {});
    c.functions.assign(o.functions, {});

    std::mt19937_64 rng(o.seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::normal_distribution<double> normal;
    std::vector<double> x(k);
    auto emit = [&]() {
        if (s.infeasible(x) || unit(rng) < o.holes)
            return; // not evaluated
        for (std::size_t i = 0; i < k; ++i)
            c.inputs[i].push_back(x[i]);
        for (std::size_t f = 0; f < o.functions; ++f)
            c.functions[f].push_back(s.functions[f].value(x) + o.noise * s.functions[f].noise * normal(rng));
    };

    if (!random && !subset) {
        if (combinations > 50e6)
            fail("the full-factorial design has more than 50 million combinations; use fewer --levels");
        std::vector<std::size_t> at(k, 0);
        for (;;) {
            for (std::size_t i = 0; i < k; ++i)
                x[i] = levelValue(s.inputs[i], at[i], levels[i]);
            emit();
            std::size_t i = k;
            while (i > 0 && ++at[i - 1] == levels[i - 1])
                at[--i] = 0;
            if (i == 0)
                break;
        }
    } else {
        if (o.records > 50'000'000)
            fail("--records must be at most 50 million");
        if (subset && static_cast<long double>(o.records) > combinations * 0.9L)
            fail("--records is too close to the number of grid combinations for a subset design");
        std::unordered_set<std::uint64_t> taken;
        std::uint64_t attempts = 0;
        while (attempts++ < o.records) {
            if (subset) {
                std::uint64_t key;
                std::vector<std::size_t> at(k);
                do {
                    key = 0;
                    for (std::size_t i = 0; i < k; ++i) {
                        at[i] = std::size_t(unit(rng) * double(levels[i])) % levels[i];
                        key = key * levels[i] + at[i];
                    }
                } while (!taken.insert(key).second);
                for (std::size_t i = 0; i < k; ++i)
                    x[i] = levelValue(s.inputs[i], at[i], levels[i]);
            } else {
                for (std::size_t i = 0; i < k; ++i) {
                    const auto& in = s.inputs[i];
                    const double t = unit(rng);
                    x[i] = in.logScale ? in.lo * std::pow(in.hi / in.lo, t) : in.lo + (in.hi - in.lo) * t;
                }
            }
            emit();
        }
    }
    write(o, c);
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parse(argc, argv);
    if (o.scenario == "benchmark")
        benchmark(o);
    else if (o.scenario == "filter")
        tuning(o, filterScenario());
    else if (o.scenario == "controller")
        tuning(o, controllerScenario());
    else
        fail("--scenario must be filter, controller or benchmark");
    return 0;
}
