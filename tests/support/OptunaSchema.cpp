#include "support/OptunaSchema.h"

#include <cstdio>
#include <tuple>

namespace test {

namespace {

std::string exact(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string text(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

} // namespace

std::string OptunaSchemaSql(SqlDialect d)
{
    const bool pg = d == SqlDialect::Postgres, my = d == SqlDialect::MariaDb;
    const std::string id = pg ? "SERIAL" : my ? "INTEGER NOT NULL AUTO_INCREMENT" : "INTEGER NOT NULL";
    const std::string real = pg ? "DOUBLE PRECISION" : my ? "DOUBLE" : "FLOAT";
    const std::string when = pg ? "TIMESTAMP WITHOUT TIME ZONE" : "DATETIME";
    const std::string state = pg ? "trialstate" : my ? "ENUM('RUNNING','COMPLETE','PRUNED','FAIL','WAITING')" : "VARCHAR(8)";
    const std::string dir = pg ? "studydirection" : my ? "ENUM('NOT_SET','MINIMIZE','MAXIMIZE')" : "VARCHAR(8)";
    const std::string vtype = pg ? "trialvaluetype" : my ? "ENUM('FINITE','INF_POS','INF_NEG')" : "VARCHAR(7)";
    std::string sql;
    if (pg)
        sql += "CREATE TYPE trialstate AS ENUM ('RUNNING','COMPLETE','PRUNED','FAIL','WAITING');"
               "CREATE TYPE studydirection AS ENUM ('NOT_SET','MINIMIZE','MAXIMIZE');"
               "CREATE TYPE trialvaluetype AS ENUM ('FINITE','INF_POS','INF_NEG');";
    sql += "CREATE TABLE studies (study_id " + id + ", study_name VARCHAR(512) NOT NULL, PRIMARY KEY (study_id));"
           "CREATE TABLE study_directions (study_direction_id " + id + ", direction " + dir +
           " NOT NULL, study_id INTEGER NOT NULL, objective INTEGER NOT NULL, PRIMARY KEY (study_direction_id));"
           "CREATE TABLE study_system_attributes (study_system_attribute_id " + id +
           ", study_id INTEGER, " + (my ? "`key`" : "\"key\"") +
           " VARCHAR(512), value_json TEXT, PRIMARY KEY (study_system_attribute_id));"
           "CREATE TABLE trials (trial_id " + id + ", number INTEGER, study_id INTEGER, state " + state +
           " NOT NULL, datetime_start " + when + ", datetime_complete " + when + ", PRIMARY KEY (trial_id));"
           "CREATE TABLE trial_params (param_id " + id + ", trial_id INTEGER, param_name VARCHAR(512), param_value " +
           real + ", distribution_json TEXT, PRIMARY KEY (param_id));"
           "CREATE TABLE trial_values (trial_value_id " + id + ", trial_id INTEGER NOT NULL, objective INTEGER NOT "
           "NULL, value " + real + ", value_type " + vtype + " NOT NULL, PRIMARY KEY (trial_value_id));"
           "INSERT INTO studies (study_name) VALUES ('live');"
           "INSERT INTO study_directions (direction, study_id, objective) VALUES ('MINIMIZE', 1, 0);";
    return sql;
}

OptunaTrialSql OptunaTrial(SqlDialect d, int number,
                           const std::vector<std::tuple<std::string, double, std::string>>& params,
                           const std::vector<double>& values, bool fail)
{
    const std::string now = d == SqlDialect::Sqlite ? "CURRENT_TIMESTAMP" : "CURRENT_TIMESTAMP(6)";
    const std::string trial = "(SELECT trial_id FROM trials WHERE study_id = 1 AND number = " + std::to_string(number) + ")";
    // MariaDB cannot read the table an INSERT writes in a subquery: go through a variable.
    const bool my = d == SqlDialect::MariaDb;
    const std::string idOf = my ? "@t" + std::to_string(number) : trial;
    OptunaTrialSql out;
    out.start = "INSERT INTO trials (number, study_id, state, datetime_start) VALUES (" + std::to_string(number) +
                ", 1, 'RUNNING', " + now + ");";
    if (my)
        out.start += "SET " + idOf + " = " + trial + ";";
    for (const auto& [name, value, dist] : params)
        out.start += "INSERT INTO trial_params (trial_id, param_name, param_value, distribution_json) VALUES (" + idOf +
                     ", " + text(name) + ", " + exact(value) + ", " + text(dist) + ");";
    if (my)
        out.finish = "SET " + idOf + " = " + trial + ";";
    for (std::size_t k = 0; k < values.size() && !fail; ++k)
        out.finish += "INSERT INTO trial_values (trial_id, objective, value, value_type) VALUES (" + idOf + ", " +
                      std::to_string(k) + ", " + exact(values[k]) + ", 'FINITE');";
    out.finish += std::string("UPDATE trials SET state = '") + (fail ? "FAIL" : "COMPLETE") +
                  "', datetime_complete = " + now + " WHERE trial_id = " + (my ? idOf : trial) + ";";
    return out;
}

std::string SqlSleep(SqlDialect d, double seconds)
{
    switch (d) {
    case SqlDialect::Postgres: return "SELECT pg_sleep(" + exact(seconds) + ");";
    case SqlDialect::MariaDb: return "DO SLEEP(" + exact(seconds) + ");";
    case SqlDialect::Sqlite: break;
    }
    return {};
}

} // namespace test
