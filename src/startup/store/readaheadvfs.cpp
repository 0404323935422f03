#include "store/readaheadvfs.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

namespace varnel::db
{

namespace
{

constexpr int kLargestPiece = 256 * 1024;
constexpr int kFirstPiece = 16 * 1024;
// A read this far past the last one still goes forward through the file
// (the pages of the indexes lie between the table's).
constexpr sqlite3_int64 kForwardGap = 64 * 1024;

// A file of this layer: what was read ahead, and the one of SQLite's layer
// right behind it in the same allocation.
struct AheadFile {
    sqlite3_file base;
    sqlite3_file *real;
    bool mainDb;
    int lock;
    char *piece;           // kLargestPiece bytes, for the main file
    sqlite3_int64 pieceAt; // -1: nothing read ahead
    int pieceBytes;
    sqlite3_int64 lastEnd; // where the last read ended, -1 at first
    int window;            // bytes the next read ahead takes
    sqlite3_int64 size;    // of the file while it is locked, -1 unknown
};

// Where the file of the layer below starts, aligned for it.
constexpr int kOwnBytes = int((sizeof(AheadFile) + 15) / 16 * 16);

AheadFile *ahead(sqlite3_file *file)
{
    return reinterpret_cast<AheadFile *>(file);
}

sqlite3_file *real(sqlite3_file *file)
{
    return ahead(file)->real;
}

void forget(AheadFile *f)
{
    f->pieceAt = -1;
    f->pieceBytes = 0;
    f->size = -1;
}

int aheadClose(sqlite3_file *file)
{
    AheadFile *f = ahead(file);
    const int rc = f->real->pMethods ? f->real->pMethods->xClose(f->real) : SQLITE_OK;
    delete[] f->piece;
    f->piece = nullptr;
    return rc;
}

// The bytes a read ahead at `offset` takes: more while the reads go forward.
int windowFor(AheadFile *f, sqlite3_int64 offset, int amount)
{
    const bool forward =
        f->lastEnd >= 0 && offset >= f->lastEnd && offset - f->lastEnd <= kForwardGap;
    f->window = forward ? std::clamp(f->window * 2, kFirstPiece, kLargestPiece) : 0;
    if (f->window <= amount)
        return 0;
    if (f->size < 0 && f->real->pMethods->xFileSize(f->real, &f->size) != SQLITE_OK)
        f->size = -1;
    if (f->size < 0)
        return 0;
    const sqlite3_int64 left = f->size - offset;
    return left > amount ? int(std::min<sqlite3_int64>(f->window, left)) : 0;
}

int aheadRead(sqlite3_file *file, void *out, int amount, sqlite3_int64 offset)
{
    AheadFile *f = ahead(file);
    if (!f->piece)
        return f->real->pMethods->xRead(f->real, out, amount, offset);
    if (f->pieceAt >= 0 && offset >= f->pieceAt && offset + amount <= f->pieceAt + f->pieceBytes) {
        std::memcpy(out, f->piece + (offset - f->pieceAt), std::size_t(amount));
        f->lastEnd = offset + amount;
        return SQLITE_OK;
    }
    const int take = windowFor(f, offset, amount);
    f->lastEnd = offset + amount;
    if (take > 0 && f->real->pMethods->xRead(f->real, f->piece, take, offset) == SQLITE_OK) {
        f->pieceAt = offset;
        f->pieceBytes = take;
        std::memcpy(out, f->piece, std::size_t(amount));
        return SQLITE_OK;
    }
    forget(f);
    return f->real->pMethods->xRead(f->real, out, amount, offset);
}

int aheadWrite(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset)
{
    forget(ahead(file));
    return real(file)->pMethods->xWrite(real(file), data, amount, offset);
}

int aheadTruncate(sqlite3_file *file, sqlite3_int64 size)
{
    forget(ahead(file));
    return real(file)->pMethods->xTruncate(real(file), size);
}

int aheadSync(sqlite3_file *file, int flags)
{
    return real(file)->pMethods->xSync(real(file), flags);
}

int aheadFileSize(sqlite3_file *file, sqlite3_int64 *size)
{
    return real(file)->pMethods->xFileSize(real(file), size);
}

// Another program may write the file whenever this handle holds no lock on
// it: what was read ahead goes when the lock is taken again.
int aheadLock(sqlite3_file *file, int level)
{
    AheadFile *f = ahead(file);
    if (f->lock == SQLITE_LOCK_NONE)
        forget(f);
    const int rc = f->real->pMethods->xLock(f->real, level);
    if (rc == SQLITE_OK)
        f->lock = level;
    return rc;
}

int aheadUnlock(sqlite3_file *file, int level)
{
    AheadFile *f = ahead(file);
    const int rc = f->real->pMethods->xUnlock(f->real, level);
    if (rc == SQLITE_OK)
        f->lock = level;
    if (level == SQLITE_LOCK_NONE)
        forget(f);
    return rc;
}

int aheadCheckReservedLock(sqlite3_file *file, int *out)
{
    return real(file)->pMethods->xCheckReservedLock(real(file), out);
}

int aheadFileControl(sqlite3_file *file, int op, void *arg)
{
    return real(file)->pMethods->xFileControl(real(file), op, arg);
}

int aheadSectorSize(sqlite3_file *file)
{
    return real(file)->pMethods->xSectorSize(real(file));
}

int aheadDeviceCharacteristics(sqlite3_file *file)
{
    return real(file)->pMethods->xDeviceCharacteristics(real(file));
}

int aheadShmMap(sqlite3_file *file, int region, int size, int extend, void volatile **out)
{
    return real(file)->pMethods->xShmMap(real(file), region, size, extend, out);
}

int aheadShmLock(sqlite3_file *file, int offset, int n, int flags)
{
    return real(file)->pMethods->xShmLock(real(file), offset, n, flags);
}

void aheadShmBarrier(sqlite3_file *file)
{
    real(file)->pMethods->xShmBarrier(real(file));
}

int aheadShmUnmap(sqlite3_file *file, int deleteFlag)
{
    return real(file)->pMethods->xShmUnmap(real(file), deleteFlag);
}

// No memory map: every page goes through xRead (SQLCipher maps none anyway).
int aheadFetch(sqlite3_file *, sqlite3_int64, int, void **out)
{
    *out = nullptr;
    return SQLITE_OK;
}

int aheadUnfetch(sqlite3_file *, sqlite3_int64, void *)
{
    return SQLITE_OK;
}

const sqlite3_io_methods kMethods = {
    3,
    aheadClose,
    aheadRead,
    aheadWrite,
    aheadTruncate,
    aheadSync,
    aheadFileSize,
    aheadLock,
    aheadUnlock,
    aheadCheckReservedLock,
    aheadFileControl,
    aheadSectorSize,
    aheadDeviceCharacteristics,
    aheadShmMap,
    aheadShmLock,
    aheadShmBarrier,
    aheadShmUnmap,
    aheadFetch,
    aheadUnfetch,
};

sqlite3_vfs g_vfs;

int aheadOpen(sqlite3_vfs *vfs, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    auto *below = static_cast<sqlite3_vfs *>(vfs->pAppData);
    AheadFile *f = ahead(file);
    f->real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(f) + kOwnBytes);
    f->real->pMethods = nullptr;
    const int rc = below->xOpen(below, name, f->real, flags, outFlags);
    if (!f->real->pMethods) {
        file->pMethods = nullptr;
        return rc;
    }
    file->pMethods = &kMethods;
    f->mainDb = (flags & SQLITE_OPEN_MAIN_DB) != 0;
    f->lock = SQLITE_LOCK_NONE;
    f->piece = f->mainDb ? new (std::nothrow) char[kLargestPiece] : nullptr;
    f->lastEnd = -1;
    f->window = 0;
    forget(f);
    return rc;
}

} // namespace

const char *readAheadVfs()
{
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        sqlite3_vfs *below = sqlite3_vfs_find(nullptr);
        if (!below)
            return;
        g_vfs = *below;
        g_vfs.pNext = nullptr;
        g_vfs.zName = "varnel-readahead";
        g_vfs.pAppData = below;
        g_vfs.szOsFile = kOwnBytes + below->szOsFile;
        g_vfs.xOpen = aheadOpen;
        registered = sqlite3_vfs_register(&g_vfs, 0) == SQLITE_OK;
    });
    return registered ? g_vfs.zName : nullptr;
}

} // namespace varnel::db
