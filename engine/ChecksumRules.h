#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The checksums a download may be checked against: how they are written by a person or a web
// page, and the one form the program keeps them in ("sha-256=" and lower-case hexadecimal).
// Messages are English sentences that the caller translates.
namespace ChecksumRules {

enum class Algorithm
{
    Md5,
    Sha1,
    Sha256,
    Sha512,
};

struct Checksum
{
    Algorithm algorithm = Algorithm::Sha256;
    QByteArray hex; // lower case

    bool operator==(const Checksum &) const = default;
};

// Reads "sha-256=HEX" (also "sha256=", any letter case, for md5, sha-1, sha-256 and sha-512) or
// a bare hexadecimal digest, whose length tells the algorithm. False with the reason, and with
// the values to put into its %1, %2…, for anything else, an empty text included.
bool parse(const QString &text, Checksum *checksum, QString *problem, QStringList *arguments = nullptr);

// The kept form: "sha-256=3a7b…".
QString toText(const Checksum &checksum);
// The name a person reads: "MD5", "SHA-1", "SHA-256", "SHA-512".
QString displayName(Algorithm algorithm);
// How many hexadecimal digits a digest of the algorithm has.
int hexLength(Algorithm algorithm);

// The sentence of a failed check, naming both values.
QString mismatchMessage(const Checksum &expected, const QByteArray &actualHex);

} // namespace ChecksumRules
