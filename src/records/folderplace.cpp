#include "folderplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace segni::records {

namespace {

const QString kSettingFile = QStringLiteral("segni/segni.conf");

// A folder that is not a full path would name a different folder for
// each pupil: it is refused, and so is "C:Classe", which is what
// "C:\Classe" reads as in a settings file (\C is an escape there).
std::optional<SettingProblem> folderProblem(const QString &folder)
{
    const QString path = QDir::fromNativeSeparators(folder);
    if (isFullPath(path))
        return std::nullopt;
    if (path.size() >= 2 && path.at(0).isLetter() && path.at(1) == QLatin1Char(':'))
        return SettingProblem::DriveRelative;
    return SettingProblem::NotFullPath;
}

// The folder one setting file names: nothing when it names none.
std::optional<RecordPlace> readSetting(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    RecordPlace found;
    found.shared = true;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        found.problem = SettingError{path, info.isFile() ? SettingProblem::Unreadable
                                                         : SettingProblem::IsFolder};
        return found;
    }
    file.close();
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        found.problem = SettingError{path, SettingProblem::NotSettings};
        return found;
    }
    // A record on the school's web server comes before any folder.
    if (auto server = serverSetting(settings, path))
        return server;
    const QVariant value = settings.value(QStringLiteral("records/folder"));
    if (!value.isValid())
        return std::nullopt;
    const QString chosen = value.toString().trimmed();
    if (const auto problem = folderProblem(chosen)) {
        found.problem = SettingError{path, *problem};
        return found;
    }
    found.where = withTrailingSeparator(QDir::cleanPath(QDir::fromNativeSeparators(chosen)));
    return found;
}

} // namespace

QStringList systemConfigFolders()
{
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    folders.removeAll(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    return folders;
}

QString classFolderSettingFile()
{
    const QStringList folders = systemConfigFolders();
    const QString folder = folders.isEmpty() ? QStringLiteral("/etc/xdg") : folders.first();
    return QDir::toNativeSeparators(folder + QLatin1Char('/') + kSettingFile);
}

RecordPlace locateRecordFolder()
{
    // The system-wide folders only: the user's own configuration folder
    // cannot choose for the whole class.
    for (const QString &folder : systemConfigFolders()) {
        if (auto found = readSetting(folder + QLatin1Char('/') + kSettingFile))
            return *found;
    }
    RecordPlace own;
    own.where = withTrailingSeparator(systemRecordFolder());
    return own;
}

Task<RecordPlace> locateRecordPlace()
{
    co_return locateRecordFolder();
}

QString ownRecordFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/segni");
}

QString withTrailingSeparator(const QString &folder)
{
    const QChar separator = QDir::separator();
    if (folder.endsWith(separator) || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + separator;
}

} // namespace segni::records
