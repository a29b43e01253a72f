#include "StudyLink.h"

#include "Importers.h"
#include "db/SqlConnection.h"

#include "diagnostics/snagwise.h"

#include <ctime>

namespace ors {

using namespace import;

StudyLink::StudyLink(std::string source, bool url, ImportOptions options, std::unique_ptr<SqlConnection> db,
                     std::unique_ptr<OptunaStudyReader> reader, ImportMessages msg)
    : m_source(std::move(source)), m_url(url), m_options(std::move(options)), m_db(std::move(db)),
      m_reader(std::move(reader)), m_msg(std::move(msg))
{
}

StudyLink::~StudyLink() = default;

void StudyLink::connect()
{
    ConnectError error;
    if (m_url) {
        const auto url = ParseStudyUrl(m_source, nullptr);
        m_db = url ? ConnectStudyDatabase(*url, m_options.password ? &*m_options.password : nullptr, &error) : nullptr;
    } else {
        StudyUrl file;
        file.database = m_source;
        m_db = ConnectSqlite(file, &error);
    }
    if (!m_db)
        throw OrsError{FromUtf8(error.message.empty() ? "The study could not be reached again." : error.message)};
    SW_TRACE(L"Data provider : connected again to %ls", FromUtf8(RedactStudyUrl(m_source)).c_str());
}

std::optional<OrsContent> StudyLink::Refresh()
{
    const std::lock_guard lock(m_mutex);
    if (!m_db)
        connect();
    char now[32];
    const std::time_t t = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&t, &utc);
    std::strftime(now, sizeof now, "%Y-%m-%dT%H:%M:%SZ", &utc);
    try {
        std::optional<OrsContent> content = m_reader->Refresh(*m_db, now);
        if (content)
            ApplyLogScales(*content, m_options.logColumns, m_msg);
        return content;
    } catch (const OrsError&) {
        // The server may have gone: the next refresh connects again.
        m_db.reset();
        throw;
    }
}

std::uint64_t StudyLink::TrialCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_reader->TrialCount();
}

} // namespace ors
