#include "StudyLink.h"

#include "Importers.h"
#include "db/SqlConnection.h"

#include "diagnostics/snagwise.h"


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
    // The server may go: the next refresh connects again.
    return withServer([&](SqlConnection& db) {
        std::optional<OrsContent> content = m_reader->Refresh(db, CurrentTimestamp());
        if (content)
            ApplyLogScales(*content, m_options.logColumns, m_msg);
        return content;
    });
}

bool StudyLink::ServerSide() const
{
    const std::lock_guard lock(m_mutex);
    return m_reader->ServerSide();
}

std::uint64_t StudyLink::CompletedCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_reader->CompletedCount();
}

std::vector<std::uint64_t> StudyLink::Reachable(std::uint32_t input, const std::vector<HeldRange>& held)
{
    return withServer([&](SqlConnection& db) { return m_reader->Reachable(db, input, held); });
}

std::uint64_t StudyLink::Count(const std::vector<HeldRange>& held)
{
    return withServer([&](SqlConnection& db) { return m_reader->Count(db, held); });
}

std::optional<std::vector<std::uint64_t>> StudyLink::Match(const std::vector<HeldRange>& held)
{
    return withServer([&](SqlConnection& db) { return m_reader->Match(db, held); });
}

std::pair<OrsContent, std::shared_ptr<StudyLink>> StudyLink::Slice(const std::vector<HeldRange>& held)
{
    std::unique_ptr<OptunaStudyReader> reader;
    {
        const std::lock_guard lock(m_mutex);
        reader = OptunaStudyReader::Slice(*m_reader, held);
    }
    // A connection of its own: the slice is followed apart from this object.
    auto link = std::make_shared<StudyLink>(m_source, m_url, m_options, nullptr, std::move(reader), m_msg);
    OrsContent content = link->withServer([&](SqlConnection& db) { return link->m_reader->Read(db, CurrentTimestamp()); });
    ApplyLogScales(content, m_options.logColumns, m_msg);
    return {std::move(content), std::move(link)};
}

std::uint64_t StudyLink::TrialCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_reader->TrialCount();
}

} // namespace ors
