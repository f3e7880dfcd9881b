#include "recordplace.h"

namespace segni::records {

QString systemRecordFolder()
{
    return ownRecordFolder();
}

} // namespace segni::records
