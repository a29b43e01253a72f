// Floors of the end-to-end benchmark, each a whole process like the pipelines
// it is compared with:
//   e2e_floor read FILE   reads every byte of FILE (the .ors floor)
//   e2e_floor csv FILE    reads FILE and parses its header and numeric columns
//                         into one array of doubles per column, one thread
// Buffers are mapped with huge pages requested, so the floor pays the least
// for fresh memory, as a careful loader would.
#include <sys/mman.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& text)
{
    std::fprintf(stderr, "e2e_floor: %s\n", text.c_str());
    std::exit(1);
}

void* HugeAlloc(std::size_t bytes)
{
    constexpr std::size_t kHuge = std::size_t(2) << 20;
    const std::size_t size = (bytes + kHuge - 1) / kHuge * kHuge + kHuge;
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        Fail("out of memory");
    auto* aligned = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1));
    madvise(aligned, size - kHuge, MADV_HUGEPAGE);
    return aligned;
}

// The whole file in one buffer (plus a terminating zero).
std::pair<char*, std::size_t> ReadAll(const char* path)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        Fail(std::string(path) + ": " + std::strerror(errno));
    struct stat st {};
    fstat(fd, &st);
    const auto n = static_cast<std::size_t>(st.st_size);
    auto* buffer = static_cast<char*>(HugeAlloc(n + 1));
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = read(fd, buffer + got, n - got);
        if (r <= 0)
            Fail(std::string(path) + ": short read");
        got += std::size_t(r);
    }
    buffer[n] = '\0';
    close(fd);
    return {buffer, n};
}

int ParseCsv(const char* path)
{
    const auto [text, n] = ReadAll(path);
    const char* p = text;
    const char* const end = text + n;
    std::size_t columns = 1;
    while (p < end && *p != '\n')
        columns += *p++ == ',' ? 1 : 0;
    ++p;
    // Rows at most as many as lines; every column gets its own array.
    std::size_t lines = 0;
    for (const char* q = p; q < end; ++q)
        lines += *q == '\n';
    std::vector<double*> cols(columns);
    for (auto& c : cols)
        c = static_cast<double*>(HugeAlloc((lines + 1) * sizeof(double)));
    std::size_t rows = 0;
    while (p < end) {
        for (std::size_t c = 0; c < columns; ++c) {
            const auto [next, ec] = std::from_chars(p, end, cols[c][rows]);
            if (ec != std::errc())
                Fail("bad number in row " + std::to_string(rows + 1));
            p = next + 1; // the separator or the line end
        }
        ++rows;
    }
    double sum = 0;
    for (const double* c : cols)
        sum += c[rows / 2];
    std::printf("%zu rows, %zu columns (%g)\n", rows, columns, sum);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        Fail("usage: e2e_floor read|csv FILE");
    if (std::strcmp(argv[1], "csv") == 0)
        return ParseCsv(argv[2]);
    if (std::strcmp(argv[1], "read") != 0)
        Fail("usage: e2e_floor read|csv FILE");
    const auto [text, n] = ReadAll(argv[2]);
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; i += 4096)
        sum += static_cast<unsigned char>(text[i]);
    std::printf("%zu bytes (%u)\n", n, sum);
    return 0;
}
