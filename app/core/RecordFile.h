#pragma once
// Appending to the update record: a platform service (posix/ and win32/ hold one each).
#include <string>

// Appends strLine to the file (created when missing) with a single write in append mode, then
// flushes it to the disk before returning, so a record that was reported written survives the
// program being killed or the machine losing power. A write that took only part of the line
// (a full disk) is cut off again, so no reader ever sees half a record. False with the
// system's reason in strError when the line could not be written whole.
bool AppendRecordLine(const std::string& strPath, const std::string& strLine, std::string& strError);
