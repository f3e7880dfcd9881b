#include "classfolder.h"

#include "recordstore.h"

#include <QDir>
#include <QSettings>

namespace segni::records {

namespace {

// Only the system-wide file is read: a pupil cannot move the record.
// Windows keeps native settings in the registry; the file under
// %ProgramData% is easier for an administrator to write and to copy.
constexpr QSettings::Format kFormat =
#ifdef Q_OS_WIN
    QSettings::IniFormat;
#else
    QSettings::NativeFormat;
#endif

} // namespace

QString classFolderSetting()
{
    const QSettings settings(kFormat, QSettings::SystemScope, QStringLiteral("segni"),
                             QStringLiteral("segni"));
    return QDir::toNativeSeparators(
        settings.value(QStringLiteral("records/folder")).toString().trimmed());
}

QString classFolderSettingFile()
{
    const QSettings settings(kFormat, QSettings::SystemScope, QStringLiteral("segni"),
                             QStringLiteral("segni"));
    return QDir::toNativeSeparators(settings.fileName());
}

QString recordFolder()
{
    const QString configured = classFolderSetting();
    return configured.isEmpty() ? systemRecordFolder() : configured;
}

QString unusableFolderAdvice(const QString &cartella)
{
#ifdef Q_OS_WIN
    const auto normal = [](const QString &path) {
        return QDir::cleanPath(QDir::fromNativeSeparators(path)).toLower();
    };
    if (normal(cartella) != normal(systemRecordFolder()))
        return QString();
    return QStringLiteral(
               "Su questo computer la cartella di Windows è riservata all'amministratore. "
               "Per tenere il record, l'amministratore indichi una cartella della classe "
               "in cui tutti possono scrivere: nel file %1, gruppo [records], chiave folder.")
        .arg(classFolderSettingFile());
#else
    Q_UNUSED(cartella);
    return QString();
#endif
}

} // namespace segni::records
