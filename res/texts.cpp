#include "texts.h"

#include <QFile>

namespace vantix_res {

namespace {
QByteArray ReadResource(const char* path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

QByteArray StringTableData()
{
    return ReadResource(":/vantix/strings.json");
}

QByteArray VersionBlockData()
{
    return ReadResource(":/vantix/version.json");
}

} // namespace vantix_res
