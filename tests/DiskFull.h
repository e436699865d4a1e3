#pragma once

// A full disk for the tests, without a small file system: while a DiskFull
// object lives, every write SQLite makes through the default file layer fails
// with SQLITE_FULL, the error a full disk gives. Reading goes on.

#include <sqlite3.h>

namespace TestSupport {

class DiskFull {
public:
    DiskFull()
    {
        Install();
        Full() = true;
    }
    ~DiskFull() { Full() = false; }
    DiskFull(const DiskFull &) = delete;
    DiskFull &operator=(const DiskFull &) = delete;

private:
    struct File {
        sqlite3_file base;
        sqlite3_file *real;
    };

    static bool &Full()
    {
        static bool full = false;
        return full;
    }
    static sqlite3_vfs *&Real()
    {
        static sqlite3_vfs *real = nullptr;
        return real;
    }
    static sqlite3_file *R(sqlite3_file *f) { return reinterpret_cast<File *>(f)->real; }

    static int Close(sqlite3_file *f)
    {
        return R(f)->pMethods ? R(f)->pMethods->xClose(R(f)) : SQLITE_OK;
    }
    static int Read(sqlite3_file *f, void *b, int n, sqlite3_int64 o)
    {
        return R(f)->pMethods->xRead(R(f), b, n, o);
    }
    static int Write(sqlite3_file *f, const void *b, int n, sqlite3_int64 o)
    {
        return Full() ? SQLITE_FULL : R(f)->pMethods->xWrite(R(f), b, n, o);
    }
    static int Truncate(sqlite3_file *f, sqlite3_int64 s)
    {
        return R(f)->pMethods->xTruncate(R(f), s);
    }
    static int Sync(sqlite3_file *f, int flags) { return R(f)->pMethods->xSync(R(f), flags); }
    static int Size(sqlite3_file *f, sqlite3_int64 *s)
    {
        return R(f)->pMethods->xFileSize(R(f), s);
    }
    static int Lock(sqlite3_file *f, int l) { return R(f)->pMethods->xLock(R(f), l); }
    static int Unlock(sqlite3_file *f, int l) { return R(f)->pMethods->xUnlock(R(f), l); }
    static int Check(sqlite3_file *f, int *out)
    {
        return R(f)->pMethods->xCheckReservedLock(R(f), out);
    }
    static int Control(sqlite3_file *f, int op, void *arg)
    {
        return R(f)->pMethods->xFileControl(R(f), op, arg);
    }
    static int Sector(sqlite3_file *f) { return R(f)->pMethods->xSectorSize(R(f)); }
    static int Device(sqlite3_file *f) { return R(f)->pMethods->xDeviceCharacteristics(R(f)); }

    static int Open(sqlite3_vfs *, const char *name, sqlite3_file *f, int flags, int *outFlags)
    {
        static const sqlite3_io_methods io{
            1,       Close,  Read,   Write,   Truncate, Sync,    Size,    Lock,    Unlock, Check,
            Control, Sector, Device, nullptr, nullptr,  nullptr, nullptr, nullptr, nullptr};
        auto *s = reinterpret_cast<File *>(f);
        s->real = reinterpret_cast<sqlite3_file *>(s + 1);
        const int rc = Real()->xOpen(Real(), name, s->real, flags, outFlags);
        // Version 1 methods only: the data file's rollback journal needs no
        // shared memory or memory mapping.
        f->pMethods = s->real->pMethods ? &io : nullptr;
        return rc;
    }

    // The default file layer, wrapped once for the whole test program.
    static void Install()
    {
        if (Real())
            return;
        Real() = sqlite3_vfs_find(nullptr);
        static sqlite3_vfs vfs = *Real();
        vfs.zName = "tallimo-test-full-disk";
        vfs.szOsFile = int(sizeof(File)) + Real()->szOsFile;
        vfs.xOpen = Open;
        sqlite3_vfs_register(&vfs, 1);
    }
};

} // namespace TestSupport
