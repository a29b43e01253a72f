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

// Added by format version 2: what the values mean. Every input and every
// function has a row; labels are numbered 0 .. n-1 per labelled input.
inline constexpr const char* kMeaningSchema = R"SQL(
CREATE TABLE input_meaning(
    idx        INTEGER PRIMARY KEY REFERENCES inputs(idx),
    scale      INTEGER NOT NULL,
    none_value REAL
);
CREATE TABLE input_labels(
    input INTEGER NOT NULL REFERENCES inputs(idx),
    code  INTEGER NOT NULL,
    label TEXT NOT NULL,
    PRIMARY KEY(input, code)
);
CREATE TABLE function_meaning(
    idx       INTEGER PRIMARY KEY REFERENCES functions(idx),
    scale     INTEGER NOT NULL,
    direction INTEGER NOT NULL
);
)SQL";

inline constexpr const char* kMeaningTables[] = {"input_meaning", "input_labels", "function_meaning"};

inline constexpr const char* kRequiredTables[] = {"file_info", "inputs", "functions", "input_values",
                                                  "function_values"};

} // namespace ors
