#pragma once

// The font of the window's controls on Windows. Qt asks Windows for "MS Shell
// Dlg 2", a name that only stands for installed fonts (Tahoma, SimSun, ...).
// Where none of them is there, Qt takes the first family it knows in its place,
// which can be a math font whose glyphs sit far above their baseline: the
// one-line boxes, 25 pixels high, then show nothing of what is typed. So the
// controls take the font Windows itself uses in its dialogs, or, where that is
// missing too, the first of a few ordinary user-interface fonts that is there.
// Elsewhere nothing changes.
namespace UiFont {

// Sets the application's font on Windows as told above; does nothing elsewhere.
// Call once the QApplication exists.
void install();

} // namespace UiFont
