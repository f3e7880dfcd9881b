// Where the record is kept: the game's own place on this system (a folder
// on a desktop, the browser for a web page), or the school's web server
// that a setting names.
#pragma once

#include "base/task.h"
#include "recorderror.h"

#include <QSettings>
#include <QString>

#include <optional>

namespace segni::records {

struct RecordPlace
{
    enum class Kind {
        Local,  // the system's own: a folder, or the browser's storage
        Server, // the record on a web server
    };
    Kind kind = Kind::Local;
    // The folder, ending in a separator, or the server's address; empty
    // for the browser's storage and where problem is set.
    QString where;
    // Set by the administrator (or the school, for a page): the game never
    // makes it, and never uses another place instead (the class would have
    // two records).
    bool shared = false;
    // Why the setting could not be used.
    std::optional<SettingError> problem;
};

// The record's place for this program. A desktop reads the
// administrator's setting; a page asks its server for the school's.
Task<RecordPlace> locateRecordPlace();

// The record on a web server that key "url" of [records] names in a
// settings file; nothing when there is no such key.
std::optional<RecordPlace> serverSetting(const QSettings &settings, const QString &file);

} // namespace segni::records
