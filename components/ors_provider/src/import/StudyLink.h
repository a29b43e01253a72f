#pragma once
// The way back to a study a data object was read from: its address, the
// reader that remembers what it read, and the connection, made again after a
// failure.
#include "Import.h"
#include "ImportCommon.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace ors {

class SqlConnection;

namespace import {
class OptunaStudyReader;
}

class StudyLink {
public:
    StudyLink(std::string source, bool url, ImportOptions options, std::unique_ptr<SqlConnection> db,
              std::unique_ptr<import::OptunaStudyReader> reader, import::ImportMessages msg);
    ~StudyLink();

    // Every completed trial when one finished since the last read, nothing
    // otherwise. Throws OrsError (and std::bad_alloc); the next call connects again.
    std::optional<OrsContent> Refresh();
    std::uint64_t TrialCount() const;

private:
    void connect();

    mutable std::mutex m_mutex;
    const std::string m_source; // a URL (password included, never shown) or a file path
    const bool m_url;
    const ImportOptions m_options;
    std::unique_ptr<SqlConnection> m_db;
    std::unique_ptr<import::OptunaStudyReader> m_reader;
    const import::ImportMessages m_msg;
};

} // namespace ors
