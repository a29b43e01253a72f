// The installed MIME package as a desktop sees it once the package manager has
// run update-mime-database: install_tree_test.sh builds one database from the
// system's types and the installed package, and CTest points XDG_DATA_DIRS at
// it. (One database matters: Qt 6.4 lets the last folder's content match win
// over a higher priority in an earlier folder.)
#include <QByteArray>
#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr const char* kOrsType = "application/x-vantix-ors";
constexpr const char* kSqliteType = "application/vnd.sqlite3";

class InstalledMimeType : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_share.isEmpty()) << "VANTIX_INSTALLED_SHARE is not set";
        QFile sample(m_share + "/vantix/samples/filter-tuning.ors");
        ASSERT_TRUE(sample.open(QIODevice::ReadOnly)) << "installed sample missing";
        m_sample = sample.readAll();
        const QString cache = qEnvironmentVariable("XDG_DATA_DIRS") + "/mime/mime.cache";
        ASSERT_TRUE(QFile::exists(cache)) << cache.toStdString() << " was not built";
    }
    // The type of a file of that name and content.
    std::string FileType(const QString& name, const QByteArray& bytes,
                         QMimeDatabase::MatchMode mode = QMimeDatabase::MatchDefault) const
    {
        QFile f(m_dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();
        return m_db.mimeTypeForFile(f.fileName(), mode).name().toStdString();
    }
    std::string DataType(const QByteArray& bytes) const { return m_db.mimeTypeForData(bytes).name().toStdString(); }

    const QString m_share = qEnvironmentVariable("VANTIX_INSTALLED_SHARE");
    QMimeDatabase m_db;
    QByteArray m_sample;
    QTemporaryDir m_dir;
};

TEST_F(InstalledMimeType, IsKnownAsAnSqliteDatabaseWithTheInstalledIcon)
{
    const QMimeType type = m_db.mimeTypeForName(kOrsType);
    ASSERT_TRUE(type.isValid()) << "the installed package is not read";
    EXPECT_TRUE(type.inherits(kSqliteType));
    // The name a desktop looks up in the icon theme must be one that is installed.
    const QString icon = m_share + "/icons/hicolor/scalable/mimetypes/" + type.iconName() + ".svg";
    EXPECT_TRUE(QFile::exists(icon)) << icon.toStdString();
}

TEST_F(InstalledMimeType, NameOrContentIdentifiesAResultsFile)
{
    EXPECT_EQ(FileType("RESULTS.ORS", m_sample), kOrsType);
    // Without a telling name the header decides; SQLite's own rule matches too
    // and must lose.
    EXPECT_EQ(FileType("results", m_sample), kOrsType);
    EXPECT_EQ(FileType("results.db", m_sample, QMimeDatabase::MatchContent), kOrsType);

    // Another application id at byte 68: an SQLite database, not ours.
    EXPECT_EQ(FileType("other", QByteArray(m_sample).replace(68, 4, QByteArray(4, '\0'))), kSqliteType);
    // The id where it belongs but no SQLite header.
    QByteArray fake(128, '\0');
    fake.replace(0, 16, "NotSQLite form 3").replace(68, 4, "ORSF");
    EXPECT_NE(DataType(fake), kOrsType);
    // A header cut before the id cannot be told apart from any SQLite database.
    EXPECT_NE(DataType(m_sample.left(60)), kOrsType);
}

} // namespace
