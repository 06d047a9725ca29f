#include "platform/FileNames.h"

#include <QFile>

namespace FileNames {

// The Linux file systems a user keeps downloads on tell names apart by letter case; the rare
// folder that does not (a FAT memory stick) still refuses the second name when it is created.
bool caseSensitive()
{
    return true;
}

// A Linux file system takes any name of up to 255 bytes without "/" and NUL. Other control
// characters are refused as well: a line break in a name breaks every list it appears in.
QString nameProblem(const QString &name, qsizetype suffixBytes)
{
    constexpr qsizetype maxNameBytes = 255;
    if (name.isEmpty())
        return QStringLiteral("Enter a file name.");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("\".\" and \"..\" cannot be used as file names.");
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return QStringLiteral("A file name cannot contain \"/\" or control characters.");
    }
    if (QFile::encodeName(name).size() + suffixBytes > maxNameBytes)
        return QStringLiteral("The file name is too long. Choose a shorter name.");
    return {};
}

} // namespace FileNames
