// Why the record cannot be read or saved, in terms the pupil's boxes can
// say: a file or folder of the record folder, the school's web server, the
// browser's storage, or the setting that names where the record is.
#pragma once

#include <QByteArray>
#include <QString>

#include <variant>

namespace segni::records {

// A file or folder, in terms every system shares.
enum class FileProblem {
    None,
    Missing,
    Exists,
    Denied,
    NoSpace,
    ReadOnlyFileSystem,
    IsFolder,
    NotFolder,
    IsLink,
    NotPlainFile,
    TooLarge,
    Busy, // another copy of the game holds the lock
    Other,
};

struct FileError
{
    QString folder; // the record folder
    QString path;   // the file or folder itself
    FileProblem problem = FileProblem::Other;
    int code = 0; // the system's error number, for FileProblem::Other
};

// The record's web server.
enum class ServerProblem {
    Unreachable,       // no answer in time
    Status,            // it answered with this status
    Moved,             // a redirect: the record is at location
    NeedsPassword,     // 401 or 403: the game sends no password
    WriteRefused,      // it does not let this game write
    NoStrongEtag,      // it does not tell one version from another
    IgnoresConditions, // it overwrites whatever a save expected
    CheckRefused,      // it refused the check of If-Match, sent to location
    TooManySaves,      // other games' saves kept coming first
    NotARecord,        // what this save would write could not be read back
};

struct ServerError
{
    QString url;
    ServerProblem problem = ServerProblem::Status;
    int status = 0;
    QByteArray location; // where a redirect points, or the check was sent
};

// The browser's storage, for a web page.
enum class BrowserProblem {
    StorageRefused, // a profile or policy that keeps no data for the page
    Busy,           // another tab of the page holds the record's lock
};

struct BrowserError
{
    BrowserProblem problem = BrowserProblem::StorageRefused;
};

using StoreError = std::variant<FileError, ServerError, BrowserError>;

// The setting that names the record's place.
enum class SettingProblem {
    Unreadable,    // the file is there but cannot be read
    IsFolder,      // a folder stands where the file should be
    NotSettings,   // it cannot be parsed
    NotFullPath,   // folder= is not a full path
    DriveRelative, // folder= reads like "C:Classe" (a lost backslash)
    NotUrl,        // url= is not an http(s) address
    Unreachable,   // a web page's server did not answer for it
    Status,        // a web page's server answered with this status
};

struct SettingError
{
    QString file;
    SettingProblem problem = SettingProblem::NotSettings;
    int status = 0;
};

} // namespace segni::records
