// The record: the best score ever reached and the name of the pupil who
// reached it, kept by one of three stores behind one interface: the
// record folder (folderstore.h), the school's web server (serverstore.h)
// or, in a web page, the browser (browserstore_wasm.cpp). Which one is
// chosen once, from the record's place (openstore.h).
//
// A store never decides whether a score beats the record: it reads the
// stored pair under whatever keeps saves apart (a lock, a version), and
// the save (savetransaction.h) decides, writes, or tries again.
#pragma once

#include "base/task.h"
#include "recorderror.h"

#include <QString>

#include <memory>
#include <optional>

namespace segni::records {

struct Record
{
    QString score;  // the score file's whole text, line end included
    QString holder; // the holder file's whole text, line end included

    friend bool operator==(const Record &a, const Record &b)
    {
        return a.score == b.score && a.holder == b.holder;
    }
};

struct Loaded
{
    Record record;
    // The record cannot be used: none is shown, and none is saved.
    std::optional<StoreError> error;
    // The record can be read, but this game cannot save one.
    std::optional<StoreError> readOnly;
    // Saves are made, but nothing keeps two copies saving at the same
    // moment apart.
    std::optional<StoreError> unsafe;
};

// What one write under a save's exclusion came to.
struct Written
{
    // Another copy's save came first (the lock was taken over, the
    // server's version changed): nothing of this one stands.
    bool overtaken = false;
    std::optional<StoreError> error;
    // The pair as it now stands (a server's record keeps a shorter name).
    std::optional<Record> pair;
};

// One try of a save, holding the store's exclusion until it goes: the
// stored pair was read under it.
class SaveTry
{
public:
    virtual ~SaveTry() = default;
    virtual const Record &stored() const = 0;
    // Replaces the stored pair with this one.
    virtual Task<Written> write(const QString &score, const QString &holder) = 0;
};

struct Begun
{
    std::unique_ptr<SaveTry> held;
    // Another copy is saving now: try again after a pause.
    bool busy = false;
    std::optional<StoreError> error;
};

class RecordStore
{
public:
    virtual ~RecordStore() = default;

    // Start-up: makes what is missing, completes a save that was
    // interrupted where the store can, and reads the pair.
    virtual Task<Loaded> load() = 0;
    // The stored pair as it stands now, without waiting for another copy
    // and without changing anything: never one save's score beside
    // another's holder. Nothing when it cannot be read.
    virtual Task<std::optional<Record>> peek() = 0;
    // Takes the store's exclusion and reads the stored pair.
    virtual Task<Begun> beginSave() = 0;
    // What a save that found the store busy at every try reports.
    virtual StoreError busyError() const = 0;
};

} // namespace segni::records
