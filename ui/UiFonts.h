#pragma once

#include <QFont>

namespace tavolix::ui {

// Face names the windows ask for.
inline constexpr const char* kPGothic = "ＭＳ Ｐゴシック"; // not words: a font's name
inline constexpr const char* kGothic = "ＭＳ ゴシック";    // not words: a font's name
inline constexpr const char* kFixedSys = "FixedSys";
inline constexpr const char* kSansSerif = "MS Sans Serif";

// Maps those faces (and their Latin spellings) to the installed IPA fonts
// with the same metrics: proportional faces to IPAPGothic, fixed ones to
// IPAGothic. Safe to call more than once, after the QApplication exists.
void InstallFontSubstitutes();

// The face at a character height of pixelHeight pixels.
QFont UiFont(const char* face, int pixelHeight);

} // namespace tavolix::ui
