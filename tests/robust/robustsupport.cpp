#include "robustsupport.h"

#include "store/database.h"
#include "testfolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace robust
{

void addSeedRows()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u, 20240601u})
        QTest::addRow("seed %u", seed) << seed;
    // VARNEL_SEED replays the clock seed of a run that failed.
    bool given = false;
    const quint32 replayed = qEnvironmentVariable("VARNEL_SEED").toUInt(&given);
    const auto clock =
        given ? replayed : quint32(QDateTime::currentMSecsSinceEpoch() % 1000000007);
    QTest::addRow("clock seed %u", clock) << clock;
}

namespace
{

QString codePoint(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

char32_t inRange(QRandomGenerator &rng, char32_t first, char32_t last)
{
    return first + char32_t(rng.bounded(quint32(last - first + 1)));
}

QString oneOf(QRandomGenerator &rng, std::initializer_list<const char16_t *> choices)
{
    const auto *it = choices.begin() + rng.bounded(int(choices.size()));
    return QString::fromUtf16(*it);
}

} // namespace

QString RandomText::piece(unsigned kind)
{
    switch (kind) {
    case Ascii: {
        // Printable ASCII without the wildcards, which are a kind of their own.
        char32_t c = 0;
        do
            c = inRange(rng_, 0x20, 0x7E);
        while (c == '%' || c == '_');
        return codePoint(c);
    }
    case Chinese:
        return rng_.bounded(8) == 0 ? oneOf(rng_, {u"，", u"。", u"！", u"“", u"”", u"：", u"、"})
                                    : codePoint(inRange(rng_, 0x4E00, 0x9FA5));
    case Emoji:
        return codePoint(rng_.bounded(3) == 0 ? inRange(rng_, 0x20000, 0x2A6DF)
                                              : inRange(rng_, 0x1F300, 0x1FAFF));
    case RightToLeft:
        switch (rng_.bounded(4)) {
        case 0:
            return codePoint(inRange(rng_, 0x05D0, 0x05EA)); // Hebrew
        case 1:
            return oneOf(rng_, {u"\u200E", u"\u200F", u"\u202A", u"\u202B", u"\u202C", u"\u202D",
                                u"\u202E", u"\u2066", u"\u2067", u"\u2068", u"\u2069"});
        default:
            return codePoint(inRange(rng_, 0x0627, 0x064A)); // Arabic
        }
    case Wildcards:
        return rng_.bounded(2) ? QStringLiteral("%") : QStringLiteral("_");
    case Quotes:
        return oneOf(rng_, {u"'", u"\"", u"\\", u"''", u"\\'", u";", u"--", u"/*", u"*/", u"`",
                            u"[", u"]", u"?1", u":a", u"@b", u"$c"});
    case Controls: {
        char32_t c = 0;
        do
            c = rng_.bounded(4) == 0 ? inRange(rng_, 0x7F, 0x9F) : inRange(rng_, 0x01, 0x1F);
        while (c == '\r');
        return codePoint(c);
    }
    default: // Odd
        return oneOf(rng_, {u"\u0301", u"e\u0301", u"\uFEFF", u"\uFFFD", u"\u200B", u"\u200D",
                            u"\u00A0", u"\u3000", u"\uFFFC", u"\u2028", u"\uFB01", u"\u1E9E",
                            u"\u0130", u"\u00DF", u"\U0001F468\u200D\U0001F469\u200D\U0001F467",
                            u"\U0001F1E8\U0001F1F3", u"\uE000"});
    }
}

QString RandomText::text(int length, unsigned kinds)
{
    QList<unsigned> chosen;
    for (unsigned bit = 1; bit <= Odd; bit <<= 1) {
        if (kinds & bit)
            chosen.append(bit);
    }
    QString out;
    if (chosen.isEmpty())
        return out;
    out.reserve(length + 8);
    // Pieces come in runs of one kind, as real text does.
    while (out.size() < length) {
        const unsigned kind = chosen.at(bounded(int(chosen.size())));
        const int run = 1 + bounded(6);
        for (int i = 0; i < run && out.size() < length; ++i)
            out += piece(kind);
    }
    return out;
}

QString RandomText::any(int maxLength, unsigned without)
{
    unsigned kinds = 0;
    while ((kinds & ~without & Everything) == 0)
        kinds = rng_.generate() & Everything;
    return text(bounded(maxLength + 1), kinds & ~without);
}

// A connection that a throwing read leaves open is replaced by the next OpenDb.
std::vector<StoredNote> storedNotes()
{
    using varnel::DbRs;
    varnel::OpenDb();
    std::vector<StoredNote> notes;
    DbRs->Open(QStringLiteral("select bookid, 标题, 内容, 分类, 处理, 时间 from 企业日记 "
                              "order by bookid"),
               *varnel::DbConn, varnel::RsMode::Read);
    for (; !DbRs->Eof(); DbRs->MoveNext()) {
        notes.push_back({DbRs->Field(0).toLongLong(), DbRs->Field(1).toString(),
                         DbRs->Field(2).toString(), DbRs->Field(3).toLongLong(),
                         DbRs->Field(4).toLongLong(), DbRs->Field(5).toString()});
    }
    varnel::CloseDb();
    return notes;
}

QString integrityCheck()
{
    using varnel::DbRs;
    varnel::OpenDb();
    QStringList lines;
    DbRs->Open(QStringLiteral("PRAGMA integrity_check"), *varnel::DbConn, varnel::RsMode::Read);
    for (; !DbRs->Eof(); DbRs->MoveNext())
        lines.append(DbRs->Field(0).toString());
    varnel::CloseDb();
    return lines.join(QLatin1Char('\n'));
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QByteArray databaseWithOtherKey(const QString &from)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("other.db"));
    if (!QFile::copy(from, copy) || !rekeyDatabase(copy))
        return {};
    return fileContents(copy);
}

ChildRun runInChild(const QStringList &wrapper, const QString &testClass, const QString &function)
{
    constexpr auto kOpen = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                           QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ChildRun run;
    QTemporaryDir bin;
    const QString copy = bin.filePath(QStringLiteral("tst_robust"));
    const QString home = bin.filePath(QStringLiteral("home"));
    if (!bin.isValid() || !QFile::copy(QCoreApplication::applicationFilePath(), copy) ||
        !QFile::setPermissions(copy, kOpen) || !QFile::setPermissions(bin.path(), kOpen) ||
        !QDir().mkpath(home) ||
        !QFile::setPermissions(home, kOpen | QFile::WriteGroup | QFile::WriteOther)) {
        run.output = QStringLiteral("could not lay out the child's program");
        return run;
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("VARNEL_TEST_CHILD"), QStringLiteral("1"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(wrapper.first(), wrapper.mid(1) + QStringList{copy, testClass, function});
    if (!child.waitForStarted(10000) || !child.waitForFinished(100000)) {
        run.output = QStringLiteral("the child did not run: ") + child.errorString();
        return run;
    }
    run.output = QString::fromLocal8Bit(child.readAll());
    const QString name = function.section(QLatin1Char(':'), 0, 0);
    run.skipped =
        run.output.contains(QStringLiteral("SKIP   : ") + testClass + QStringLiteral("::") + name);
    run.passed =
        child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
        run.output.contains(QStringLiteral("PASS   : ") + testClass + QStringLiteral("::") + name);
    return run;
}

bool inChild()
{
    return qEnvironmentVariableIsSet("VARNEL_TEST_CHILD");
}

QStringList asOrdinaryUser()
{
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
            QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")};
}

QByteArray randomBytes(QRandomGenerator &rng, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(rng.bounded(256));
    return bytes;
}

void rerunAsOrdinaryUser(const QString &testClass, const QString &function)
{
    const ChildRun child = runInChild(asOrdinaryUser(), testClass, function);
    qInfo("%s", qPrintable(child.output));
    QVERIFY2(child.passed, "the test did not pass as an ordinary user");
}

void rerunInChild(const QStringList &wrapper, const QString &testClass, const QString &function,
                  const char *skipReason)
{
    const ChildRun child = runInChild(wrapper, testClass, function);
    qInfo("%s", qPrintable(child.output));
    if (child.skipped)
        QSKIP(skipReason);
    QVERIFY2(child.passed, "the case failed in its child process");
}

} // namespace robust
