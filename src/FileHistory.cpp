#include "FileHistory.h"

#include "VersionInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace {

std::unique_ptr<QSettings> FilesKey()
{
    return OpenProgramSettings(L"\\Files");
}

const QString kRecent = QStringLiteral("Recent");
const QString kFolder = QStringLiteral("Folder");

} // namespace

std::vector<std::wstring> ReadRecentFiles()
{
    std::vector<std::wstring> out;
    if (const auto settings = FilesKey())
        for (const QString& f : settings->value(kRecent).toStringList())
            if (!f.isEmpty() && out.size() < kRecentFilesMax)
                out.push_back(f.toStdWString());
    return out;
}

void AddRecentFile(const std::wstring& path)
{
    const auto settings = FilesKey();
    if (!settings || path.empty())
        return;
    QStringList files = settings->value(kRecent).toStringList();
    // A password in a source URL never reaches the settings file.
    QString entry = QString::fromStdWString(path);
    if (const QUrl url(entry); url.isValid() && url.scheme().size() > 1 && !url.isLocalFile() && !url.password().isEmpty())
        entry = url.toString(QUrl::RemovePassword);
    files.removeAll(entry);
    files.prepend(entry);
    while (files.size() > qsizetype(kRecentFilesMax))
        files.removeLast();
    settings->setValue(kRecent, files);
    settings->sync();
}

std::wstring ReadDialogFolder()
{
    const auto settings = FilesKey();
    return settings ? settings->value(kFolder).toString().toStdWString() : std::wstring();
}

void RememberDialogFolder(const std::wstring& chosenPath)
{
    const auto settings = FilesKey();
    if (!settings || chosenPath.empty())
        return;
    settings->setValue(kFolder, QFileInfo(QString::fromStdWString(chosenPath)).absolutePath());
    settings->sync();
}
