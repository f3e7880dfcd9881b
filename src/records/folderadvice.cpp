#include "folderadvice.h"

#include <QDir>

namespace segni::records {

QString classFolderSettingFile()
{
    const QStringList folders = systemConfigFolders();
    const QString folder = folders.isEmpty() ? QStringLiteral("/etc/xdg") : folders.first();
    return QDir::toNativeSeparators(folder + QStringLiteral("/segni/segni.conf"));
}

QString folderAdvice(const RecordFolder &where)
{
#ifdef Q_OS_WIN
    if (where.shared)
        return QString();
    return QStringLiteral(
               "Su questo computer solo l'amministratore può scrivere nella cartella di Windows. "
               "Per tenere il record, l'amministratore indichi una cartella della classe in cui "
               "tutti possono scrivere: nel file %1, gruppo [records], chiave folder.")
        .arg(classFolderSettingFile());
#else
    Q_UNUSED(where);
    return QString();
#endif
}

} // namespace segni::records
