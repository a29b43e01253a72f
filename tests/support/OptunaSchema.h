#pragma once
// Optuna's relational storage as its models create it: the SQLite tables as
// a constant, the tables a reader reads in each server's own types through
// OptunaSchemaSql (study "live" minimising one objective), and statements
// that write trials the way its workers do: a trial is inserted RUNNING and
// finished later, workers finishing out of order.
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

namespace vantix::test {

// Optuna's RDB storage tables (as its SQLAlchemy models create them in SQLite).
inline const char* const kOptunaSchema = R"SQL(
CREATE TABLE studies (study_id INTEGER NOT NULL, study_name VARCHAR(512) NOT NULL, PRIMARY KEY (study_id));
CREATE UNIQUE INDEX ix_studies_study_name ON studies (study_name);
CREATE TABLE version_info (version_info_id INTEGER NOT NULL, schema_version INTEGER, library_version VARCHAR(256),
    PRIMARY KEY (version_info_id), CHECK (version_info_id=1));
CREATE TABLE study_directions (study_direction_id INTEGER NOT NULL, direction VARCHAR(8) NOT NULL,
    study_id INTEGER NOT NULL, objective INTEGER NOT NULL, PRIMARY KEY (study_direction_id),
    UNIQUE (study_id, objective), FOREIGN KEY(study_id) REFERENCES studies (study_id));
CREATE TABLE study_system_attributes (study_system_attribute_id INTEGER NOT NULL, study_id INTEGER,
    "key" VARCHAR(512), value_json TEXT, PRIMARY KEY (study_system_attribute_id), UNIQUE (study_id, "key"));
CREATE TABLE trials (trial_id INTEGER NOT NULL, number INTEGER, study_id INTEGER, state VARCHAR(8) NOT NULL,
    datetime_start DATETIME, datetime_complete DATETIME, PRIMARY KEY (trial_id));
CREATE TABLE trial_params (param_id INTEGER NOT NULL, trial_id INTEGER, param_name VARCHAR(512),
    param_value FLOAT, distribution_json TEXT, PRIMARY KEY (param_id), UNIQUE (trial_id, param_name));
CREATE TABLE trial_values (trial_value_id INTEGER NOT NULL, trial_id INTEGER NOT NULL, objective INTEGER NOT NULL,
    value FLOAT, value_type VARCHAR(7) NOT NULL, PRIMARY KEY (trial_value_id), UNIQUE (trial_id, objective));
CREATE TABLE trial_intermediate_values (trial_intermediate_value_id INTEGER NOT NULL, trial_id INTEGER NOT NULL,
    step INTEGER NOT NULL, intermediate_value FLOAT, intermediate_value_type VARCHAR(7) NOT NULL,
    PRIMARY KEY (trial_intermediate_value_id));
CREATE TABLE alembic_version (version_num VARCHAR(32) NOT NULL, PRIMARY KEY (version_num));
INSERT INTO version_info VALUES (1, 12, '3.1.0');
INSERT INTO alembic_version VALUES ('v3.0.0.d');
)SQL";

} // namespace vantix::test
