#pragma once
// The update record (-l:FILE): one JSON object per line for every unit and attempt, for a
// quality audit. What a line says is gathered in SUpdateRecord; FormatUpdateRecord makes the
// line and AppendRecordLine (RecordFile.h) puts it on disk in one piece.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How an attempt ended, as the record names it.
inline constexpr const char* OUTCOME_UPDATED = "updated";
inline constexpr const char* OUTCOME_NOT_FOUND = "not found";
inline constexpr const char* OUTCOME_PORT_ERROR = "port error";
inline constexpr const char* OUTCOME_DOWNLOAD_FAILED = "download failed";
inline constexpr const char* OUTCOME_PROGRAM_FAILED = "programming failed";
inline constexpr const char* OUTCOME_VERIFY_FAILED = "verify failed";

struct SUpdateRecord
{
    std::chrono::system_clock::time_point time;
    unsigned nAttempt = 1; // counts the attempts of this run, from 1

    // The port the unit answered on; empty when none was found.
    std::string strPortPath;
    std::string strPortName;
    std::string strPortSerial; // the USB adapter's serial number, where the system gives one

    std::string strFirmwarePath;
    std::string strFirmwareSha256; // of the file's bytes; empty when it could not be read
    std::string strFirmwareName;
    std::string strFirmwareVersion;
    std::string strProcessor;

    // The options of the run.
    bool bAuto = false;
    bool bRepeat = false;
    bool bGroup = false;
    bool bVerify = false;
    std::vector<std::string> ports; // -p, in order

    std::string strOutcome;                  // one of OUTCOME_*
    int nResult = 0;                         // the programming run's KernelResult (0 unless it failed)
    std::string strResultText;               // the result's description, empty for 0
    std::optional<uint32_t> firstDifference; // verify failed: the first differing address

    // Seconds each phase took, in the order they ran ("search", "download", "erase", ...).
    std::vector<std::pair<std::string, double>> phases;
    uint32_t dwBlocksWritten = 0;
    uint32_t dwCrcRetries = 0;
    bool bVerified = false; // read back and found equal to the image
};

// The record as one line of JSON, ending in '\n'. Strings are escaped so that any byte
// sequence gives valid JSON: quotes, backslashes and control characters as escapes, valid
// UTF-8 as it is, and every byte that is not part of valid UTF-8 as the code point of the
// same value (\u0080..\u00FF), so a path in a legacy encoding stays readable.
std::string FormatUpdateRecord(const SUpdateRecord& record);

// A JSON string literal of the bytes, with the escaping above.
std::string JsonString(std::string_view bytes);

// UTC in ISO 8601 with milliseconds, e.g. "2026-12-07T07:09:01.250Z".
std::string FormatUtcTime(std::chrono::system_clock::time_point time);

// SHA-256 of the file's bytes as 64 hex digits; empty when the file cannot be read.
std::string FileSha256(const std::string& strPath);
