#pragma once
// The wizard core describes the open-file dialog's file types the classic way:
// "S format files (*.mhx, *.cnv, *.ahx)|*.mhx; *.cnv; *.ahx|All Files (*.*)|*.*||".
// wxFileDialog wants "Name|*.mhx;*.cnv;*.ahx|All Files (*.*)|*.*": no terminating empty
// entries and no blanks between the patterns (GTK would take " *.cnv" literally).
#include <string>
#include <string_view>

// Converts a classic filter string. The list ends at the first "||" or at the end of the text;
// a name without a pattern list is dropped, and so are empty patterns. Names keep their
// spelling. An input without any complete entry gives an empty string.
std::string ConvertFileFilter(std::string_view strFilter);
