// Measures how fast a downloaded file can be checked against its checksum: Qt's
// QCryptographicHash against OpenSSL's EVP digests, both reading the same file in the same
// chunks, interleaved round by round, with the file in the page cache as it is right after a
// download. Prints a Markdown table of medians.
//
//   rushlet-hash-bench [--size MiB] [--rounds N] [--chunk KiB]

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Algorithm
{
    const char *name;
    QCryptographicHash::Algorithm qt;
    const EVP_MD *(*openssl)();
};

QByteArray hashWithQt(QFile &file, QCryptographicHash::Algorithm algorithm, QByteArray &buffer)
{
    QCryptographicHash hash(algorithm);
    file.seek(0);
    for (;;) {
        const qint64 length = file.read(buffer.data(), buffer.size());
        if (length <= 0)
            break;
        hash.addData(QByteArrayView(buffer.constData(), length));
    }
    return hash.result();
}

QByteArray hashWithOpenSsl(QFile &file, const EVP_MD *md, QByteArray &buffer)
{
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, md, nullptr);
    file.seek(0);
    for (;;) {
        const qint64 length = file.read(buffer.data(), buffer.size());
        if (length <= 0)
            break;
        EVP_DigestUpdate(context, buffer.constData(), size_t(length));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context, digest, &size);
    EVP_MD_CTX_free(context);
    return QByteArray(reinterpret_cast<const char *>(digest), int(size));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qint64 sizeMiB = 1024;
    int rounds = 5;
    qint64 chunkKiB = 1024;
    const QStringList arguments = app.arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == QLatin1String("--size"))
            sizeMiB = arguments.at(i + 1).toLongLong();
        else if (arguments.at(i) == QLatin1String("--rounds"))
            rounds = arguments.at(i + 1).toInt();
        else if (arguments.at(i) == QLatin1String("--chunk"))
            chunkKiB = arguments.at(i + 1).toLongLong();
    }
    if (sizeMiB < 1 || rounds < 1 || chunkKiB < 1) {
        std::fputs("Usage: rushlet-hash-bench [--size MiB] [--rounds N] [--chunk KiB]\n", stderr);
        return 2;
    }

    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("data.bin")));
    if (!folder.isValid() || !file.open(QIODevice::ReadWrite)) {
        std::fputs("Cannot create the data file\n", stderr);
        return 1;
    }
    QByteArray block(1 << 20, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (qint64 i = 0; i < sizeMiB; ++i) {
        generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        file.write(block);
    }
    file.flush();

    const Algorithm algorithms[] = {
        {"SHA-256", QCryptographicHash::Sha256, EVP_sha256},
        {"SHA-512", QCryptographicHash::Sha512, EVP_sha512},
        {"SHA-1", QCryptographicHash::Sha1, EVP_sha1},
        {"MD5", QCryptographicHash::Md5, EVP_md5},
    };
    QByteArray buffer(int(chunkKiB * 1024), Qt::Uninitialized);
    std::printf("%lld MiB in the page cache, %lld KiB reads, %d rounds (after one warm-up), medians\n\n",
                sizeMiB, chunkKiB, rounds);
    std::printf("| algorithm | Qt MiB/s | OpenSSL MiB/s | OpenSSL / Qt |\n|---|---:|---:|---:|\n");
    for (const Algorithm &algorithm : algorithms) {
        std::vector<double> qtRates;
        std::vector<double> opensslRates;
        for (int round = 0; round <= rounds; ++round) {
            QElapsedTimer clock;
            clock.start();
            const QByteArray viaQt = hashWithQt(file, algorithm.qt, buffer);
            const double qtSeconds = double(clock.nsecsElapsed()) / 1e9;
            clock.restart();
            const QByteArray viaOpenSsl = hashWithOpenSsl(file, algorithm.openssl(), buffer);
            const double opensslSeconds = double(clock.nsecsElapsed()) / 1e9;
            if (viaQt != viaOpenSsl) {
                std::fprintf(stderr, "%s: the two digests differ\n", algorithm.name);
                return 1;
            }
            if (round == 0)
                continue;
            qtRates.push_back(double(sizeMiB) / qtSeconds);
            opensslRates.push_back(double(sizeMiB) / opensslSeconds);
        }
        const double qt = median(qtRates);
        const double openssl = median(opensslRates);
        std::printf("| %s | %.0f | %.0f | %.2f |\n", algorithm.name, qt, openssl, openssl / qt);
    }
    return 0;
}
