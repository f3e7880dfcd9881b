// Where the record folder is on a desktop: the folder an administrator set
// for every account, or else the system's own place for it.
#pragma once

#include "recordplace.h"

#include <QString>
#include <QStringList>

namespace segni::records {

// The record's place on this machine: the one the administrator set for
// every account, else systemRecordFolder(); what locateRecordPlace() gives.
RecordPlace locateRecordFolder();

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
// The file where an administrator sets the class folder (key "folder" of
// group [records]) or a record on a web server (key "url", which comes
// first).
QString classFolderSettingFile();

// The folder with a trailing separator, ready to have a file name appended.
QString withTrailingSeparator(const QString &folder);

} // namespace segni::records
