#pragma once

#include <QString>
#include <QtGlobal>

// How the program writes a size: the largest unit up to TB that keeps the number under 1024,
// bytes without decimals and every larger unit with one, a dot whatever the locale:
// "1023 B", "1.0 KB", "1.5 KB", "96.0 MB". The units are the same in every language.
namespace SizeText {

// The size as written; "Unknown" below zero, which a window translates itself.
QString written(qint64 bytes);

} // namespace SizeText
