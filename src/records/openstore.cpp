#include "openstore.h"

#include "serverstore.h"

namespace segni::records {

std::unique_ptr<RecordStore> openStore(const RecordPlace &place, Pause pause)
{
    switch (place.kind) {
    case RecordPlace::Kind::Local:
        return openLocalStore(place, std::move(pause));
    case RecordPlace::Kind::Server:
        return std::make_unique<ServerStore>(place.where, std::move(pause));
    }
    return nullptr;
}

} // namespace segni::records
