#pragma once
// Conversions between the wizard's UTF-8 strings and the UTF-16 of the Win32 interface.
#include <string>

std::wstring Utf8ToWide(const std::string& str);
std::string WideToUtf8(const std::wstring& str);

// "Name|*.a; *.b|All Files (*.*)|*.*||" as an OPENFILENAME filter: the bars become NULs and
// the list ends with two NULs.
std::wstring OpenFileFilter(const std::string& strFilter);
