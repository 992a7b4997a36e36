#include "commands/scriptlines/wincodepage.h"

#include <windows.h>

namespace {
// UTF-8 and GB18030 take neither WC_NO_BEST_FIT_CHARS nor a used-default flag;
// they report an unencodable character through WC_ERR_INVALID_CHARS instead.
bool isUnicodeForm(unsigned codePage)
{
    return codePage == CP_UTF8 || codePage == 54936;
}
} // namespace

bool WinCodePage::encode(unsigned codePage, const std::wstring &text, std::string &bytes)
{
    bytes.clear();
    if (text.empty())
        return true;
    const int length = int(text.size());
    const bool unicodeForm = isUnicodeForm(codePage);
    const DWORD flags = unicodeForm ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL *usedDefaultOut = unicodeForm ? nullptr : &usedDefault;
    const int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, usedDefaultOut);
    if (size <= 0 || usedDefault)
        return false;
    bytes.resize(size_t(size));
    const int written
            = WideCharToMultiByte(codePage, flags, text.data(), length, &bytes[0], size, nullptr, usedDefaultOut);
    return written == size && !usedDefault;
}

bool WinCodePage::decode(unsigned codePage, const std::string &bytes, std::wstring &text)
{
    text.clear();
    if (bytes.empty())
        return true;
    const int length = int(bytes.size());
    const int size = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (size <= 0)
        return false;
    text.resize(size_t(size));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, &text[0], size) == size;
}
