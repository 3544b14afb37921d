#include "app/gui/WxText.h"

#include "app/gui/TextDecode.h"

wxString FromNarrow(const std::string& str)
{
    return wxString::FromUTF8(NarrowToUtf8(str));
}

wxString PathFromNarrow(const std::string& str)
{
    if (str.empty())
    {
        return wxString();
    }
    wxString strPath(str.c_str(), *wxConvFileName);
    if (strPath.empty())
    {
        strPath = FromNarrow(str);
    }
    return strPath;
}

std::string PathToNarrow(const wxString& strPath)
{
    const wxCharBuffer buffer = strPath.mb_str(*wxConvFileName);
    if (buffer.data() != nullptr && buffer.length() > 0)
    {
        return std::string(buffer.data(), buffer.length());
    }
    return strPath.utf8_string();
}
