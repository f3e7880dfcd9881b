// The one place that chooses the record's store, from its place.
#pragma once

#include "recordplace.h"
#include "recordstore.h"

#include <memory>

namespace segni::records {

// The store for a place that has no problem.
std::unique_ptr<RecordStore> openStore(const RecordPlace &place);

// This system's own store: the record folder on a desktop
// (folderstore.cpp), the browser's storage in a web page
// (browserstore_wasm.cpp).
std::unique_ptr<RecordStore> openLocalStore(const RecordPlace &place);

} // namespace segni::records
