// The installed MIME package as a desktop sees it once the package manager has
// run update-mime-database: install_tree_test.sh builds one database from the
// system's types and the installed package, and CTest points XDG_DATA_DIRS at
// it. (One database matters: Qt 6.4 lets the last folder's content match win
// over a higher priority in an earlier folder.)
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr const char* kOrsType = "application/x-vantix-ors";
constexpr const char* kSqliteType = "application/vnd.sqlite3";

std::string Name(const QMimeType& type)
{
    return type.name().toStdString();
}

QString InstalledShare()
{
    const char* share = std::getenv("VANTIX_INSTALLED_SHARE");
    return share ? QString::fromLocal8Bit(share) : QString();
}

QByteArray InstalledSample()
{
    QFile f(InstalledShare() + "/vantix/samples/filter-tuning.ors");
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class InstalledMimeType : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(InstalledShare().isEmpty()) << "VANTIX_INSTALLED_SHARE is not set";
        m_sample = InstalledSample();
        ASSERT_GT(m_sample.size(), 100) << "installed sample missing";
        ASSERT_TRUE(m_dir.isValid());
        const QString cache = qEnvironmentVariable("XDG_DATA_DIRS") + "/mime/mime.cache";
        ASSERT_TRUE(QFile::exists(cache)) << cache.toStdString() << " was not built";
    }

    QString Write(const QString& name, const QByteArray& bytes) const
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QMimeDatabase m_db;
    QByteArray m_sample;
    QTemporaryDir m_dir;
};

TEST_F(InstalledMimeType, IsKnownAsAnSqliteDatabaseWithTheInstalledIcon)
{
    const QMimeType type = m_db.mimeTypeForName(kOrsType);
    ASSERT_TRUE(type.isValid()) << "the installed package is not read";
    EXPECT_TRUE(type.inherits(kSqliteType));
    EXPECT_FALSE(type.comment().isEmpty());
    EXPECT_TRUE(type.suffixes().contains("ors"));
    // The name a desktop looks up in the icon theme must be one that is installed.
    const QString icon = InstalledShare() + "/icons/hicolor/scalable/mimetypes/" + type.iconName() + ".svg";
    EXPECT_TRUE(QFile::exists(icon)) << icon.toStdString();
}

TEST_F(InstalledMimeType, NameOrContentIdentifiesAResultsFile)
{
    EXPECT_EQ(Name(m_db.mimeTypeForFile(InstalledShare() + "/vantix/samples/filter-tuning.ors")), kOrsType);
    EXPECT_EQ(Name(m_db.mimeTypeForFile(Write("RESULTS.ORS", m_sample))), kOrsType);
    // Without a telling name the header decides; SQLite's own rule matches too
    // and must lose.
    EXPECT_EQ(Name(m_db.mimeTypeForFile(Write("results", m_sample))), kOrsType);
    EXPECT_EQ(Name(m_db.mimeTypeForFile(Write("results.db", m_sample), QMimeDatabase::MatchContent)), kOrsType);
    EXPECT_EQ(Name(m_db.mimeTypeForData(m_sample.left(128))), kOrsType);
}

TEST_F(InstalledMimeType, OtherSqliteDatabasesAndLookAlikesAreNotResultsFiles)
{
    // Another application id at byte 68: an SQLite database, not ours.
    QByteArray other = m_sample;
    other.replace(68, 4, QByteArray("\x00\x00\x00\x00", 4));
    EXPECT_EQ(Name(m_db.mimeTypeForFile(Write("other", other))), kSqliteType);

    // The id where it belongs but no SQLite header.
    QByteArray fake(128, '\0');
    fake.replace(0, 16, QByteArray("NotSQLite form 3", 16));
    fake.replace(68, 4, QByteArray("ORSF", 4));
    EXPECT_NE(Name(m_db.mimeTypeForData(fake)), kOrsType);

    // A header cut before the id cannot be told apart from any SQLite database.
    EXPECT_NE(Name(m_db.mimeTypeForData(m_sample.left(60))), kOrsType);
}

} // namespace
