#include "openstore.h"

#include "serverstore.h"

namespace segni::records {

std::unique_ptr<RecordStore> openStore(const RecordPlace &place)
{
    switch (place.kind) {
    case RecordPlace::Kind::Local:
        return openLocalStore(place);
    case RecordPlace::Kind::Server:
        return std::make_unique<ServerStore>(place.where);
    }
    return nullptr;
}

} // namespace segni::records
