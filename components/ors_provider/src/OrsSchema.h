#pragma once
// The tables of an .ors file, shared by the reader, the writer and the docs.
namespace ors {

inline constexpr const char* kSchema = R"SQL(
CREATE TABLE file_info(
    data_type    INTEGER NOT NULL,
    record_count INTEGER NOT NULL,
    creator      TEXT NOT NULL,
    created      TEXT NOT NULL
);
CREATE TABLE inputs(
    idx    INTEGER PRIMARY KEY,
    signal TEXT NOT NULL,
    name   TEXT NOT NULL
);
CREATE TABLE functions(
    idx  INTEGER PRIMARY KEY,
    name TEXT NOT NULL
);
CREATE TABLE input_values(
    idx  INTEGER PRIMARY KEY REFERENCES inputs(idx),
    data BLOB NOT NULL
);
CREATE TABLE function_values(
    idx  INTEGER PRIMARY KEY REFERENCES functions(idx),
    data BLOB NOT NULL
);
)SQL";

inline constexpr const char* kRequiredTables[] = {"file_info", "inputs", "functions", "input_values",
                                                  "function_values"};

} // namespace ors
