// Advice for the pupil's box when the record folder cannot be used or
// written, beyond the reason itself.
#pragma once

#include "recordstore.h"

#include <QString>

namespace segni::records {

// The file where an administrator sets the class folder for every account
// (the system-wide segni/segni.conf that locateRecordFolder() reads).
QString classFolderSettingFile();

// Extra lines for such a box, or the empty text. On Windows the folder
// nobody chose is the Windows directory, which an ordinary user may not
// write: the advice points to the class folder setting.
QString folderAdvice(const RecordFolder &where);

} // namespace segni::records
