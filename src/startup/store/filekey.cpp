#include "store/filekey.h"

#include "store/dbengine.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <openssl/evp.h>

#include <atomic>

namespace varnel::db
{

namespace
{

// SQLCipher 3's derivation: PBKDF2-HMAC-SHA1 over the 16-byte salt at the
// start of the file, 64,000 rounds, a 256-bit key.
constexpr int kSaltBytes = 16;
constexpr int kRounds = 64000;
constexpr int kKeyBytes = 32;

QMutex g_lock;
QHash<QByteArray, QByteArray> g_keys; // by salt and passphrase; empty: does not open
std::atomic<int> g_derived{0};
std::atomic<int> g_reused{0};

QByteArray saltOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 1024)
        return {};
    const QByteArray salt = file.read(kSaltBytes);
    return salt.size() == kSaltBytes ? salt : QByteArray();
}

QByteArray derive(const QByteArray &passphrase, const QByteArray &salt)
{
    unsigned char key[kKeyBytes];
    if (PKCS5_PBKDF2_HMAC_SHA1(passphrase.constData(), int(passphrase.size()),
                               reinterpret_cast<const unsigned char *>(salt.constData()),
                               int(salt.size()), kRounds, kKeyBytes, key) != 1)
        return {};
    ++g_derived;
    const QByteArray hex = QByteArray(reinterpret_cast<const char *>(key), kKeyBytes).toHex();
    return "x'" + hex + "'";
}

enum class Check { Opens, DoesNot, Unknown };

// Whether `raw` opens the file: a handle of its own reads the first page.
Check opensWith(const QString &path, const QByteArray &raw)
{
    sqlite3 *db = nullptr;
    int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_key(db, raw.constData(), int(raw.size()));
    if (rc == SQLITE_OK)
        rc = readFirstPage(db);
    sqlite3_close_v2(db);
    if (rc == SQLITE_OK)
        return Check::Opens;
    // Locked by a writer, or not there: the next handle asks again.
    return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT ? Check::DoesNot : Check::Unknown;
}

} // namespace

QByteArray rawKeyFor(const QString &path, const QByteArray &passphrase)
{
    const QByteArray salt = saltOf(path);
    if (salt.isEmpty())
        return {};
    const QByteArray id = salt + passphrase;
    // Held while deriving: a second handle waits for this key rather than
    // deriving its own.
    const QMutexLocker locker(&g_lock);
    if (const auto known = g_keys.constFind(id); known != g_keys.constEnd())
        return *known;
    const QByteArray raw = derive(passphrase, salt);
    if (raw.isEmpty())
        return {};
    const Check check = opensWith(path, raw);
    if (check != Check::Unknown)
        g_keys.insert(id, check == Check::Opens ? raw : QByteArray());
    return check == Check::Opens ? raw : QByteArray();
}

int keyHandle(sqlite3 *db, const QByteArray &passphrase)
{
    const char *file = sqlite3_db_filename(db, "main");
    const QByteArray raw =
        file && *file ? rawKeyFor(QFile::decodeName(file), passphrase) : QByteArray();
    if (raw.isEmpty())
        return sqlite3_key(db, passphrase.constData(), int(passphrase.size()));
    ++g_reused;
    return sqlite3_key(db, raw.constData(), int(raw.size()));
}

int keysDerived()
{
    return g_derived.load();
}

int keysReused()
{
    return g_reused.load();
}

} // namespace varnel::db
