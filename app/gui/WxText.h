#pragma once
// From the core's 8-bit strings to wxString and back.
#include <wx/string.h>

#include <string>

// A text for display: UTF-8 when it is valid UTF-8, else Windows-1252.
wxString FromNarrow(const std::string& str);

// A file path: its bytes as the file system's encoding reads them, so that the open-file
// dialog shows the file the core names; a path the encoding cannot read is shown as text.
wxString PathFromNarrow(const std::string& str);

// A path the user chose, as the bytes the file system knows it by.
std::string PathToNarrow(const wxString& strPath);
