// Where the record files live: the folder an administrator set for every
// account, or else the system's own place for them.
#pragma once

#include "recordfile.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace segni::records {

struct RecordFolder
{
    QString path;
    // Set by the administrator: the game never makes it, and never uses
    // another folder in its place (the class would have two records).
    bool shared = false;
    // Why the administrator's setting could not be used; path is empty.
    std::optional<FileError> problem;
};

// The record folder of this machine: the one the administrator set for
// every account (key "folder" of group [records] in segni/segni.conf in
// the system configuration folders), else systemRecordFolder(). Key "url"
// there names a record on a web server instead (see recordweb.h), and
// comes first.
RecordFolder locateRecordFolder();

// Where the record lives when nobody chose: on Windows the Windows
// directory where this account may make files in it (an older Windows, an
// elevated run), else the pupil's own folder; elsewhere the pupil's own
// folder. The pupil's own folder is "segni" in the user's data folder
// ($XDG_DATA_HOME/segni, %LOCALAPPDATA%\segni).
QString systemRecordFolder();
QString ownRecordFolder();
// Whether the path, with forward slashes, names one folder whoever uses
// it: "/..." on Unix; "C:/..." or "//server/..." on Windows.
bool isFullPath(const QString &path);

// The system-wide configuration folders, most important first
// ($XDG_CONFIG_DIRS or /etc/xdg, %ProgramData%); the user's own
// configuration folder is not among them.
QStringList systemConfigFolders();
// The file where an administrator sets the class folder.
QString classFolderSettingFile();

// The folder with a trailing separator, ready to have a file name appended.
QString withTrailingSeparator(const QString &folder);

} // namespace segni::records
