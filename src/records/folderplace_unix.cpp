#include "folderplace.h"

namespace segni::records {

QString systemRecordFolder()
{
    return ownRecordFolder();
}

bool isFullPath(const QString &path)
{
    return path.startsWith(QLatin1Char('/'));
}

} // namespace segni::records
