#pragma once
// Optuna's relational storage as its models create it in each server's own
// types, and statements that write trials the way its workers do: a trial is
// inserted RUNNING and finished later, workers finishing out of order.
#include <string>
#include <vector>

namespace test {

enum class SqlDialect { Sqlite, Postgres, MariaDb };

std::string OptunaSchemaSql(SqlDialect dialect);

struct OptunaTrialSql {
    // Inserts the trial RUNNING with its parameters; its id comes from the server.
    std::string start;
    // Sets it COMPLETE with its values (or FAIL with none).
    std::string finish;
};

// Statements for a trial of study 1 with parameters (name, value,
// distribution JSON) and objective values; the trial is found by its number.
OptunaTrialSql OptunaTrial(SqlDialect dialect, int number,
                           const std::vector<std::tuple<std::string, double, std::string>>& params,
                           const std::vector<double>& values, bool fail = false);

// A pause inside a script, so concurrent writers interleave.
std::string SqlSleep(SqlDialect dialect, double seconds);

} // namespace test
