// One 50 MB program file from the local HTTP test server, through the
// download engine as the updater runs it (program checks, signature, the
// file on the disk before it counts) and through curl, alternately; prints
// the medians, their ratio and the engine's peak memory:
//     download_ms@50MB <ms> ms
//     download_curl_ms@50MB <ms> ms
//     download_ratio@50MB <ratio> x
//     download_peak_rss_mb@50MB <MB> MB

#include "downloader.h"
#include "releasecomment.h"
#include "signedprogramcheck.h"
#include "siteserver.h"
#include "updaterinfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
constexpr qint64 kSize = 50LL * 1024 * 1024;
constexpr int kRounds = 9; // the machine may be busy: medians of alternate runs

double peakRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

// A program of this machine (this one) padded to kSize bytes.
bool writeProgram(const QString &path)
{
    QFile self(QCoreApplication::applicationFilePath());
    QFile out(path);
    if (!self.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    qint64 left = kSize - out.write(self.readAll());
    const QByteArray filler(1 << 20, '\x5a');
    while (left > 0)
        left -= out.write(filler.left(int(qMin<qint64>(left, filler.size()))));
    return left == 0 && out.flush();
}

// Milliseconds for the engine to fetch url into path, or -1 on failure.
double engineRun(const QString &url, const QString &path)
{
    Downloader engine;
    AsyncReadOptions options;
    // As the updater does it: the signature first, then the body.
    const auto check = std::make_shared<SignedProgramCheck>(
        updater::signatureUrl(url), SiteServer::demoPublicKey(),
        SignedProgramCheck::Expected{QStringLiteral("vlbook.exe"), release::builtVersion()});
    options.check = check;
    options.maxBytes = updater::maxProgramBytes();
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&engine, &Downloader::DownloadAllComplete, &loop,
                     [&](const QStringList &failed) {
                         ok = failed.size() == 1;
                         loop.quit();
                     });
    QElapsedTimer timer;
    timer.start();
    check->prepare([&](const QString &refusal) {
        if (refusal.isEmpty() && engine.BeginDownload(url, path, options))
            return;
        std::fprintf(stderr, "bench_download: %s\n", qPrintable(refusal));
        loop.quit();
    });
    loop.exec();
    const double ms = timer.nsecsElapsed() / 1e6;
    return ok && QFileInfo(path).size() == kSize ? ms : -1;
}

double curlRun(const QString &url, const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    QProcess curl;
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), path, url});
    if (!curl.waitForFinished(120000) || curl.exitCode() != 0)
        return -1;
    const double ms = timer.nsecsElapsed() / 1e6;
    return QFileInfo(path).size() == kSize ? ms : -1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SiteServer::Options options;
    options.download = dir.filePath(QStringLiteral("vlbook.exe"));
    options.signKey = SiteServer::demoSecretKey();
    if (!dir.isValid() || !writeProgram(options.download)) {
        std::fprintf(stderr, "bench_download: cannot write the program to serve\n");
        return 1;
    }
    SiteServer server(options);
    if (!server.ok()) {
        std::fprintf(stderr, "bench_download: %s\n", qPrintable(server.error()));
        return 1;
    }
    const QString url = server.url(QStringLiteral("/update/vlbook.exe"));
    const QString enginePath = dir.filePath(QStringLiteral("engine.bin"));
    const QString curlPath = dir.filePath(QStringLiteral("curl.bin"));

    // The site signs the file at its first request for the signature.
    engineRun(url, enginePath);
    QFile::remove(enginePath);
    std::vector<double> engine, curl;
    for (int round = 0; round < kRounds; ++round) {
        engine.push_back(engineRun(url, enginePath));
        curl.push_back(curlRun(url, curlPath));
        QFile::remove(enginePath);
        QFile::remove(curlPath);
    }
    if (std::count(engine.begin(), engine.end(), -1.0) ||
        std::count(curl.begin(), curl.end(), -1.0)) {
        std::fprintf(stderr, "bench_download: a download failed\n");
        return 1;
    }
    const double engineMs = median(engine);
    const double curlMs = median(curl);
    std::printf("download_ms@50MB %.1f ms\n", engineMs);
    std::printf("download_curl_ms@50MB %.1f ms\n", curlMs);
    std::printf("download_ratio@50MB %.2f x\n", engineMs / curlMs);
    std::printf("download_peak_rss_mb@50MB %.1f MB\n", peakRssMb());
    return 0;
}
