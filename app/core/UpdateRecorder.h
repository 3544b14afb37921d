#pragma once
// The wizard's side of the update record (-l:FILE): what every line shares (the firmware, the
// options, the attempt) and a way to add what belongs to one unit.
#include "app/core/UpdateRecord.h"

#include <string>
#include <vector>

class CFirmwareImage;
class CUnitSession;
struct SSerInfo;

class CUpdateRecorder
{
public:
    // An empty path: no record is kept.
    void SetFile(const std::string& strPath) { m_strPath = strPath; }
    bool IsOn() const { return !m_strPath.empty(); }
    void SetOptions(bool bAuto, bool bRepeat, bool bGroup, bool bVerify,
                    const std::vector<std::string>& ports);
    // The firmware loaded: its file is read once more for the SHA-256 of exactly these bytes.
    void SetFirmware(const std::string& strPath, const CFirmwareImage& image);
    // A new search begins a new attempt.
    void NextAttempt() { ++m_nAttempt; }

    // A record about the unit on pPort (nullptr: no unit was found) with strOutcome; the
    // programming run's counts and phases come from pSession when given.
    SUpdateRecord Make(const char* pszOutcome, const SSerInfo* pPort, const CUnitSession* pSession,
                       const std::vector<std::pair<std::string, double>>& phases) const;
    // Appends the record as one line, flushed to disk. True when written or no record is kept.
    bool Write(const SUpdateRecord& record, std::string& strError) const;

private:
    std::string m_strPath;
    SUpdateRecord m_common; // firmware and options
    unsigned m_nAttempt = 0;
};
