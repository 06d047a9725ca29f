#pragma once

#include <QString>

// The user-interface fonts cover Latin, Greek and Cyrillic; Japanese and Chinese texts need a
// CJK family behind them, and Han characters must take the shapes of the language being shown
// (the same code point is drawn differently in Japan, mainland China and Taiwan).
//
// Families by writing system:
//   Windows: Hiragana and Katakana "Yu Gothic UI"; Han "Yu Gothic UI" when the language in force
//            is Japanese, otherwise "Microsoft YaHei".
//   Linux:   the fontconfig families installed for the same purpose: "Noto Sans CJK JP" for
//            Japanese (kana, and Han under Japanese), "Noto Sans CJK TC" for Han under
//            Traditional Chinese and "Noto Sans CJK SC" for Han under every other language.
namespace FontFallbacks {

// The family that draws Hiragana and Katakana.
QString kanaFamily();

// The family that draws Han characters while `effectiveLanguage` (a language code such as "ja"
// or "zh_TW") is in force.
QString hanFamily(const QString &effectiveLanguage);

// The desktop's own interface family, which leads the application font in every language.
QString desktopFamily();

// Makes the application's fonts fall back to the families above; takes effect at once for every
// widget that uses the application font, without a restart.
void apply(const QString &effectiveLanguage);

} // namespace FontFallbacks
