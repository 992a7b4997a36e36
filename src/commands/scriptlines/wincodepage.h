#pragma once

#include <string>

// Text in and out of a Windows code page through the Win32 API, which knows every
// code page the machine can be set to. Windows only, and free of Qt so that a
// cross compiler can build it and wine can run it in a test.
namespace WinCodePage {

// text in codePage; false when a character has no place in it (no best-fit
// stand-ins: "é" never quietly becomes "e").
bool encode(unsigned codePage, const std::wstring &text, std::string &bytes);

// bytes read in codePage; false when they are no valid text in it.
bool decode(unsigned codePage, const std::string &bytes, std::wstring &text);

} // namespace WinCodePage
