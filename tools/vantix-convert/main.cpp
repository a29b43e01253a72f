// vantix-convert: writes an Optimization Results File (.ors) from any results
// file the data provider reads: Optuna storage or trials CSV, Dakota tabular
// data, a CSV/TSV table, or another .ors file.
#include "OrsFormat.h"
#include "db/StudyUrl.h"
#include "import/Import.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "Usage: vantix-convert [options] INPUT OUTPUT.ors\n"
    "\n"
    "Writes the results in INPUT as an Optimization Results File. INPUT may be an\n"
    "Optuna storage (SQLite) or trials CSV, Dakota tabular data, a CSV/TSV table\n"
    "with a header line, or an .ors file; the format is recognised by content.\n"
    "INPUT may also be the URL of an Optuna study database:\n"
    "postgresql://USER@HOST:PORT/DB, mysql://USER@HOST:PORT/DB (MariaDB, MySQL),\n"
    "sqlite:///relative/path.db or sqlite:////absolute/path.db.\n"
    "\n"
    "Options:\n"
    "  --inputs A,B,...     the table columns that are inputs\n"
    "  --functions C,...    the table columns that are functions\n"
    "                       (given only one of the two, every other column\n"
    "                       belongs to the other; an unnamed index column never).\n"
    "                       Without them, a table that does not mark its columns\n"
    "                       is split by the best guess, which is printed\n"
    "  --input NAME         one input column (repeatable; for names with commas)\n"
    "  --function NAME      one function column (repeatable)\n"
    "  --signal NAME        signal of inputs the file gives none (tables: \"csv\",\n"
    "                       Dakota: the interface id or \"dakota\")\n"
    "  --study NAME         Optuna storage: the study to convert (needed when the\n"
    "                       storage holds several with completed trials)\n"
    "  --log NAME           draw the input or function NAME on a log scale\n"
    "                       (repeatable; its values must be above zero)\n"
    "  --data-type N        data type to write: 0 or 1 surface, 2 points (default:\n"
    "                       as stored in an .ors file; for other formats 0 when\n"
    "                       the first two inputs fill at least half of their\n"
    "                       grid, else 2)\n"
    "  -h, --help           this text\n";

const char* formatName(ors::SourceFormat f)
{
    switch (f) {
    case ors::SourceFormat::OptunaStorage: return "Optuna storage";
    case ors::SourceFormat::OptunaCsv: return "Optuna trials table";
    case ors::SourceFormat::Dakota: return "Dakota tabular data";
    case ors::SourceFormat::Table: return "table";
    case ors::SourceFormat::StudyDatabase: return "Optuna study database";
    default: return "Optimization Results File";
    }
}

void splitInto(const std::string& list, std::vector<std::string>& out)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty())
            out.push_back(item);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
}

// The roles taken for a table that does not mark its columns, so that the
// user can check them and give --inputs/--functions where they are wrong.
void printGuess(const ors::RolesGuess& guess)
{
    std::string lists[3];
    for (std::size_t c = 0; c < guess.columns.size(); ++c) {
        std::string& list = lists[std::size_t(guess.roles[c])];
        list += (list.empty() ? "" : ",") + guess.columns[c];
    }
    std::fprintf(stderr,
                 "vantix-convert: the file does not say which columns are inputs and which are functions; guessed\n"
                 "  --inputs %s --functions %s",
                 lists[0].c_str(), lists[1].c_str());
    if (!lists[2].empty())
        std::fprintf(stderr, "  (ignored: %s)", lists[2].c_str());
    std::fputs("\n", stderr);
}

int usageError(const char* text)
{
    std::fprintf(stderr, "vantix-convert: %s\n\n%s", text, kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    ors::ImportOptions options;
    std::vector<std::string> files;
    std::optional<std::int32_t> dataType;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                return nullptr;
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--inputs" || arg == "--functions" || arg == "--input" || arg == "--function" ||
            arg == "--signal" || arg == "--study" || arg == "--data-type" || arg == "--log") {
            const char* v = value();
            if (!v)
                return usageError((arg + " needs a value").c_str());
            if (arg == "--inputs")
                splitInto(v, options.inputColumns);
            else if (arg == "--functions")
                splitInto(v, options.functionColumns);
            else if (arg == "--input")
                options.inputColumns.emplace_back(v);
            else if (arg == "--function")
                options.functionColumns.emplace_back(v);
            else if (arg == "--signal")
                options.signal = v;
            else if (arg == "--study")
                options.study = v;
            else if (arg == "--log")
                options.logColumns.emplace_back(v);
            else {
                char* end = nullptr;
                const long n = std::strtol(v, &end, 10);
                if (!*v || *end || n < INT32_MIN || n > INT32_MAX)
                    return usageError("--data-type needs a whole number");
                dataType = std::int32_t(n);
            }
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-' && arg != "--")
            return usageError(("unknown option " + arg).c_str());
        if (arg == "--") {
            for (++i; i < argc; ++i)
                files.emplace_back(argv[i]);
            break;
        }
        files.push_back(arg);
    }
    if (files.size() != 2)
        return usageError("give one input file and one output file");

    const std::wstring input = ors::FromUtf8(files[0]);
    const std::string shown = ors::RedactStudyUrl(files[0]); // a URL's password is never printed
    const std::wstring output = ors::FromUtf8(files[1]);
    const ors::SourceFormat format = ors::DetectResultsFormat(input);
    if (!options.study.empty() && format != ors::SourceFormat::OptunaStorage &&
        format != ors::SourceFormat::StudyDatabase)
        return usageError("--study applies to Optuna storage files only");
    if (options.explicitColumns() && format != ors::SourceFormat::Table && format != ors::SourceFormat::Dakota)
        return usageError("--inputs and --functions apply to CSV/TSV tables and Dakota tabular data only");
    options.acceptGuess = true;
    try {
        ors::OrsContent content = ors::ReadResultsFile(input, options);
        ors::OrsHeader& h = content.header;
        if (content.guessedRoles)
            printGuess(*content.guessedRoles);
        if (dataType)
            h.dataType = *dataType;
        std::printf("%s: %s, %u records, data type %d\n", shown.c_str(), formatName(format), h.recordCount,
                    int(h.dataType));
        for (const auto& in : h.inputs) {
            std::string notes;
            if (in.labelled())
                notes += ", " + std::to_string(in.labels.size()) + " labels";
            if (in.noneValue)
                notes += std::string(", ") + ors::kNoneText;
            if (in.scale == ors::kLogScale)
                notes += ", log scale";
            std::printf("  input    %s:%s%s\n", in.signal.c_str(), in.name.c_str(), notes.c_str());
        }
        for (std::size_t f = 0; f < h.functions.size(); ++f)
            std::printf("  function %s%s%s\n", h.functions[f].c_str(),
                        h.functionDirection(f) == ors::kMaximize ? ", maximised" : "",
                        h.functionScale(f) == ors::kLogScale ? ", log scale" : "");
        if (content.skippedRecords)
            std::fprintf(stderr, "vantix-convert: skipped %llu failed %s\n",
                         static_cast<unsigned long long>(content.skippedRecords),
                         content.skippedRecords == 1 ? "row" : "rows");
        const ors::HugeArray<double> inputValues = ors::ExpandInputValues(content);
        std::vector<const double*> inputs, functions;
        for (std::size_t i = 0; i < h.inputs.size(); ++i)
            inputs.push_back(inputValues.data() + i * h.recordCount);
        for (std::size_t f = 0; f < h.functions.size(); ++f)
            functions.push_back(content.functionValues.data() + f * h.recordCount);
        ors::WriteOrsFile(output, h, inputs, functions);
        std::printf("written %s\n", files[1].c_str());
        return 0;
    } catch (const ors::ChoiceNeeded& e) {
        if (e.password) {
            std::fprintf(stderr, "vantix-convert: %s. Put it in the URL, in PGPASSWORD or ~/.pgpass (PostgreSQL), "
                                 "or in MYSQL_PWD or ~/.my.cnf (MariaDB, MySQL).\n",
                         ors::ToUtf8(e.message).c_str());
            return 1;
        }
        if (e.studies.empty()) {
            std::fprintf(stderr, "vantix-convert: %s\n", ors::ToUtf8(e.message).c_str());
            return 1;
        }
        std::fprintf(stderr, "vantix-convert: %s holds several Optuna studies; choose one with --study NAME:\n",
                     shown.c_str());
        for (const auto& study : e.studies)
            std::fprintf(stderr, "  %s (%llu completed %s)\n", study.name.c_str(),
                         static_cast<unsigned long long>(study.trials), study.trials == 1 ? "trial" : "trials");
        return 2;
    } catch (const ors::OrsError& e) {
        std::fprintf(stderr, "vantix-convert: %s\n", ors::ToUtf8(e.message).c_str());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vantix-convert: out of memory\n");
        return 1;
    }
}
