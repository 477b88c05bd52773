#include "tests/support/FailingVfs.h"

#include <stdexcept>

namespace {

constexpr auto VfsName = "velliport-failing";

// Our part of an open file; the wrapped VFS's file follows it in the same allocation.
struct ShimFile
{
    sqlite3_file base;
    FailingVfs* owner;
    sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

ShimFile* shim(sqlite3_file* file)
{
    return reinterpret_cast<ShimFile*>(file);
}

sqlite3_file* real(sqlite3_file* file)
{
    return shim(file)->real();
}

FailingVfs* owner(sqlite3_vfs* vfs)
{
    return static_cast<FailingVfs*>(vfs->pAppData);
}

sqlite3_vfs* previous(sqlite3_vfs* vfs)
{
    return owner(vfs)->previous();
}

int shimClose(sqlite3_file* f)
{
    return real(f)->pMethods->xClose(real(f));
}

int shimRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset)
{
    return real(f)->pMethods->xRead(real(f), buffer, amount, offset);
}

int shimWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset)
{
    if (const int rc = shim(f)->owner->beforeOperation(FailingVfs::Write, amount); rc != SQLITE_OK)
        return rc;
    return real(f)->pMethods->xWrite(real(f), buffer, amount, offset);
}

int shimTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    if (const int rc = shim(f)->owner->beforeOperation(FailingVfs::Truncate, 0); rc != SQLITE_OK)
        return rc;
    return real(f)->pMethods->xTruncate(real(f), size);
}

int shimSync(sqlite3_file* f, int flags)
{
    if (const int rc = shim(f)->owner->beforeOperation(FailingVfs::Sync, 0); rc != SQLITE_OK)
        return rc;
    return real(f)->pMethods->xSync(real(f), flags);
}

int shimFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    return real(f)->pMethods->xFileSize(real(f), size);
}

int shimLock(sqlite3_file* f, int level)
{
    return real(f)->pMethods->xLock(real(f), level);
}

int shimUnlock(sqlite3_file* f, int level)
{
    return real(f)->pMethods->xUnlock(real(f), level);
}

int shimCheckReservedLock(sqlite3_file* f, int* out)
{
    return real(f)->pMethods->xCheckReservedLock(real(f), out);
}

int shimFileControl(sqlite3_file* f, int op, void* arg)
{
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}

int shimSectorSize(sqlite3_file* f)
{
    return real(f)->pMethods->xSectorSize(real(f));
}

int shimDeviceCharacteristics(sqlite3_file* f)
{
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}

int shimShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out)
{
    return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
}

int shimShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}

void shimShmBarrier(sqlite3_file* f)
{
    real(f)->pMethods->xShmBarrier(real(f));
}

int shimShmUnmap(sqlite3_file* f, int deleteFlag)
{
    return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
}

int shimFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out)
{
    return real(f)->pMethods->xFetch(real(f), offset, amount, out);
}

int shimUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* page)
{
    return real(f)->pMethods->xUnfetch(real(f), offset, page);
}

// Version 3 methods; the wrapped file answers only for what its own version offers.
const sqlite3_io_methods ShimMethodsV3 = {3,
                                          shimClose,
                                          shimRead,
                                          shimWrite,
                                          shimTruncate,
                                          shimSync,
                                          shimFileSize,
                                          shimLock,
                                          shimUnlock,
                                          shimCheckReservedLock,
                                          shimFileControl,
                                          shimSectorSize,
                                          shimDeviceCharacteristics,
                                          shimShmMap,
                                          shimShmLock,
                                          shimShmBarrier,
                                          shimShmUnmap,
                                          shimFetch,
                                          shimUnfetch};
const sqlite3_io_methods ShimMethodsV1 = {1,
                                          shimClose,
                                          shimRead,
                                          shimWrite,
                                          shimTruncate,
                                          shimSync,
                                          shimFileSize,
                                          shimLock,
                                          shimUnlock,
                                          shimCheckReservedLock,
                                          shimFileControl,
                                          shimSectorSize,
                                          shimDeviceCharacteristics,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr};

int shimOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags)
{
    ShimFile* f = shim(file);
    f->owner = owner(vfs);
    f->base.pMethods = nullptr;
    f->real()->pMethods = nullptr;
    const int rc = previous(vfs)->xOpen(previous(vfs), name, f->real(), flags, outFlags);
    // SQLite closes a file whose open failed only when it has methods.
    if (f->real()->pMethods)
        f->base.pMethods = f->real()->pMethods->iVersion >= 3 ? &ShimMethodsV3 : &ShimMethodsV1;
    return rc;
}

int shimDelete(sqlite3_vfs* vfs, const char* name, int syncDir)
{
    return previous(vfs)->xDelete(previous(vfs), name, syncDir);
}

int shimAccess(sqlite3_vfs* vfs, const char* name, int flags, int* out)
{
    return previous(vfs)->xAccess(previous(vfs), name, flags, out);
}

int shimFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out)
{
    return previous(vfs)->xFullPathname(previous(vfs), name, size, out);
}

void* shimDlOpen(sqlite3_vfs* vfs, const char* name)
{
    return previous(vfs)->xDlOpen(previous(vfs), name);
}

void shimDlError(sqlite3_vfs* vfs, int size, char* out)
{
    previous(vfs)->xDlError(previous(vfs), size, out);
}

void (*shimDlSym(sqlite3_vfs* vfs, void* handle, const char* symbol))(void)
{
    return previous(vfs)->xDlSym(previous(vfs), handle, symbol);
}

void shimDlClose(sqlite3_vfs* vfs, void* handle)
{
    previous(vfs)->xDlClose(previous(vfs), handle);
}

int shimRandomness(sqlite3_vfs* vfs, int size, char* out)
{
    return previous(vfs)->xRandomness(previous(vfs), size, out);
}

int shimSleep(sqlite3_vfs* vfs, int microseconds)
{
    return previous(vfs)->xSleep(previous(vfs), microseconds);
}

int shimCurrentTime(sqlite3_vfs* vfs, double* out)
{
    return previous(vfs)->xCurrentTime(previous(vfs), out);
}

int shimGetLastError(sqlite3_vfs* vfs, int size, char* out)
{
    return previous(vfs)->xGetLastError(previous(vfs), size, out);
}

int shimCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out)
{
    return previous(vfs)->xCurrentTimeInt64(previous(vfs), out);
}

} // namespace

FailingVfs::FailingVfs()
{
    m_previous = sqlite3_vfs_find(nullptr);
    if (!m_previous || m_previous->iVersion < 2)
        throw std::runtime_error("no default SQLite VFS to wrap");
    m_vfs.iVersion = 2;
    m_vfs.szOsFile = int(sizeof(ShimFile)) + m_previous->szOsFile;
    m_vfs.mxPathname = m_previous->mxPathname;
    m_vfs.zName = VfsName;
    m_vfs.pAppData = this;
    m_vfs.xOpen = shimOpen;
    m_vfs.xDelete = shimDelete;
    m_vfs.xAccess = shimAccess;
    m_vfs.xFullPathname = shimFullPathname;
    m_vfs.xDlOpen = shimDlOpen;
    m_vfs.xDlError = shimDlError;
    m_vfs.xDlSym = shimDlSym;
    m_vfs.xDlClose = shimDlClose;
    m_vfs.xRandomness = shimRandomness;
    m_vfs.xSleep = shimSleep;
    m_vfs.xCurrentTime = shimCurrentTime;
    m_vfs.xGetLastError = shimGetLastError;
    m_vfs.xCurrentTimeInt64 = shimCurrentTimeInt64;
    if (sqlite3_vfs_register(&m_vfs, 1) != SQLITE_OK)
        throw std::runtime_error("cannot register the failing SQLite VFS");
}

FailingVfs::~FailingVfs()
{
    sqlite3_vfs_unregister(&m_vfs);
    sqlite3_vfs_register(m_previous, 1);
}

void FailingVfs::failNth(int operations, int nth, bool persistent)
{
    disarm();
    m_persistent = persistent;
    m_nth = nth;
    m_operations = operations;
}

void FailingVfs::limitBytes(qint64 budget)
{
    disarm();
    m_budget = budget;
}

void FailingVfs::disarm()
{
    m_operations = 0;
    m_nth = 0;
    m_persistent = false;
    m_budget = -1;
    m_calls = 0;
    m_bytes = 0;
    m_fired = false;
}

int FailingVfs::beforeOperation(Operation operation, qint64 bytes)
{
    if (operation == Write && m_budget.load() >= 0) {
        if (m_bytes.fetch_add(bytes) + bytes > m_budget.load()) {
            m_fired = true;
            return SQLITE_FULL;
        }
        return SQLITE_OK;
    }
    if ((m_operations.load() & operation) == 0)
        return SQLITE_OK;
    const int call = ++m_calls;
    if (call < m_nth.load() || (call > m_nth.load() && !m_persistent.load()))
        return SQLITE_OK;
    m_fired = true;
    switch (operation) {
    case Write:
        return SQLITE_IOERR_WRITE;
    case Sync:
        return SQLITE_IOERR_FSYNC;
    case Truncate:
        return SQLITE_IOERR_TRUNCATE;
    }
    return SQLITE_IOERR;
}
