// The class folder: one record folder an administrator sets for every
// user of the computer, and what the game says when the folder it would
// use cannot be used.
#pragma once

#include <QString>

namespace segni::records {

// The folder named by the key "folder" in the group [records] of the
// system-wide segni settings (segni/segni.conf in $XDG_CONFIG_DIRS, by
// default /etc/xdg, on Linux; %ProgramData%\segni\segni.ini on Windows),
// or the empty text when none is set. The pupil's own settings play no part.
QString classFolderSetting();

// The file that holds that setting, as an administrator would look for it.
QString classFolderSettingFile();

// The record folder the game uses: the class folder when one is set,
// otherwise the system's own (systemRecordFolder()).
QString recordFolder();

// Extra lines for the box that reports an unusable record folder, or the
// empty text. On Windows an ordinary user may not write the Windows
// directory: the advice points to the class folder setting.
QString unusableFolderAdvice(const QString &cartella);

} // namespace segni::records
