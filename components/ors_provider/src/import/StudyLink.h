#pragma once
// The way back to a study a data object was read from: its address, the
// reader that remembers what it read, and the connection, made again after a
// failure.
#include "Import.h"
#include "ImportCommon.h"
#include "Importers.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace ors {

class StudyLink {
public:
    StudyLink(std::string source, bool url, ImportOptions options, std::unique_ptr<SqlConnection> db,
              std::unique_ptr<import::OptunaStudyReader> reader, import::ImportMessages msg);
    ~StudyLink();

    // Every completed trial when one finished since the last read, nothing
    // otherwise. Throws OrsError (and std::bad_alloc); the next call connects again.
    std::optional<OrsContent> Refresh();
    std::uint64_t TrialCount() const;

    // A study left on its server (above the memory budget): questions about
    // its trials are queries (OptunaStudyReader), and a slice is read into a
    // data object of its own with a link of its own. Throw as Refresh.
    bool ServerSide() const;
    std::uint64_t CompletedCount() const;
    std::vector<std::uint64_t> Reachable(std::uint32_t input, const std::vector<import::HeldRange>& held);
    std::uint64_t Count(const std::vector<import::HeldRange>& held);
    std::optional<std::vector<std::uint64_t>> Match(const std::vector<import::HeldRange>& held);
    std::pair<OrsContent, std::shared_ptr<StudyLink>> Slice(const std::vector<import::HeldRange>& held);

private:
    void connect();
    // f(connection) under the lock, connected first; a failure drops the
    // connection so that the next call connects again.
    template <class F>
    auto withServer(F f)
    {
        const std::lock_guard lock(m_mutex);
        if (!m_db)
            connect();
        try {
            return f(*m_db);
        } catch (const OrsError&) {
            m_db.reset();
            throw;
        }
    }

    mutable std::mutex m_mutex;
    const std::string m_source; // a URL (password included, never shown) or a file path
    const bool m_url;
    const ImportOptions m_options;
    std::unique_ptr<SqlConnection> m_db;
    std::unique_ptr<import::OptunaStudyReader> m_reader;
    const import::ImportMessages m_msg;
};

} // namespace ors
