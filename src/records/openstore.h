// The one place that chooses the record's store, from its place.
#pragma once

#include "recordplace.h"
#include "recordstore.h"
#include "savetransaction.h"

#include <memory>

namespace segni::records {

// The store for a place that has no problem; its waits (a save that reads
// its record back a moment later) are pauses.
std::unique_ptr<RecordStore> openStore(const RecordPlace &place, Pause pause);

// This system's own store: the record folder on a desktop
// (folderstore.cpp), the browser's storage in a web page
// (browserstore_wasm.cpp).
std::unique_ptr<RecordStore> openLocalStore(const RecordPlace &place, Pause pause);

} // namespace segni::records
