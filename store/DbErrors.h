#pragma once

// The store's errors, apart from the store itself, so that the engines and
// their callers can name them without the whole facade. Each carries a
// sentence for the user (TError) and the engine's own words on its last line.

#include "HiClass.h"

class EDbError : public TError {
public:
    using TError::TError;
};

// Another running copy holds the write lock longer than the busy timeout.
class EDbBusy : public EDbError {
public:
    using EDbError::EDbError;
};

// A long operation stopped because its progress callback (TProgress) asked
// to; nothing was changed.
class EDbCancelled : public EDbError {
public:
    using EDbError::EDbError;
};

// A write that the disk or the file does not take: the disk is full, or the
// data file (or database) is read-only. Reading still works.
class EDbCannotWrite : public EDbError {
public:
    using EDbError::EDbError;
};

// A ledger (data file, server or backup) of a newer release than this one:
// refused before anything is written to it.
class EDbTooNew : public EDbError {
public:
    using EDbError::EDbError;
};

// AddUser of a name that is already an account (names are unique).
class EUserExists : public EDbError {
public:
    using EDbError::EDbError;
};
