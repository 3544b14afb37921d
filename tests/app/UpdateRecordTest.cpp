// The update record: JSON escaping of any bytes, the UTC time, whole lines appended, and the
// result read back by jq as an auditor would.
#include "app/core/UpdateRecord.h"
#include "app/core/RecordFile.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{

TEST(UpdateRecord, JsonStringEscapesEveryByteSequence)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain /dev/ttyUSB0", "\"plain /dev/ttyUSB0\""},
        {"q\"b\\s/", "\"q\\\"b\\\\s/\""},
        {std::string("\n\t\r\x01\x1F\x7F", 6) + std::string(1, '\0'),
         "\"\\n\\t\\u000D\\u0001\\u001F\\u007F\\u0000\""},
        {"\xC3\xBC \xE2\x82\xAC \xF0\x9F\x94\x8C",
         "\"\xC3\xBC \xE2\x82\xAC \xF0\x9F\x94\x8C\""},           // ü € and a plug
        {"\xFC", "\"\\u00FC\""},                                  // Windows-1252 ü, not UTF-8
        {"\xC0\x80", "\"\\u00C0\\u0080\""},                       // overlong NUL
        {"\xED\xA0\x80", "\"\\u00ED\\u00A0\\u0080\""},            // a surrogate
        {"\xE2\x82", "\"\\u00E2\\u0082\""},                       // cut short at the end
        {"\xF4\x90\x80\x80", "\"\\u00F4\\u0090\\u0080\\u0080\""}, // above U+10FFFF
    };
    for (const auto& [strIn, strOut] : cases)
    {
        EXPECT_EQ(JsonString(strIn), strOut);
    }
}

TEST(UpdateRecord, UtcTimeInIso8601)
{
    using namespace std::chrono;
    const std::pair<long long, const char*> cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {951'782'400'000, "2000-02-29T00:00:00.000Z"},
        {1'709'251'199'999, "2024-02-29T23:59:59.999Z"},
        {4'102'444'800'000, "2100-01-01T00:00:00.000Z"},
    };
    for (const auto& [nMs, pszText] : cases)
    {
        EXPECT_EQ(FormatUtcTime(system_clock::time_point(milliseconds(nMs))), pszText);
    }
}

// Two records appended to one file: each a whole line that jq reads back field by field.
TEST(UpdateRecord, AppendedLinesReadBackWithJq)
{
    CTempDir dir;
    WriteFileText(dir.File("fw.mhx"), "abc");
    SUpdateRecord record;
    record.strPortPath = "/dev/ttyUSB0";
    record.strPortName = "FTDI \"FT232R\" (ttyUSB0)\n\xFC";
    record.strPortSerial = "A50285BI";
    record.strFirmwarePath = dir.File("fw.mhx");
    record.strFirmwareSha256 = FileSha256(record.strFirmwarePath);
    record.bVerify = true;
    record.ports = {"/dev/ttyUSB0", "C:\\COM3"};
    record.strOutcome = OUTCOME_VERIFY_FAILED;
    record.nResult = 12;
    record.firstDifference = 0xF80203;
    record.phases = {{"search", 0.8}, {"verify", 1.25}};
    std::string strError;
    ASSERT_TRUE(AppendRecordLine(dir.File("log.jsonl"), FormatUpdateRecord(record), strError)) << strError;
    SUpdateRecord notFound;
    notFound.nAttempt = 2;
    notFound.strOutcome = OUTCOME_NOT_FOUND;
    ASSERT_TRUE(AppendRecordLine(dir.File("log.jsonl"), FormatUpdateRecord(notFound), strError)) << strError;

    SRunOptions jqRun;
    jqRun.args = {"-r",
                  "[.attempt, .port.name, .port.serial, .firmware.sha256, .options.v, .options.p[1], "
                  ".result.outcome, .result.first_difference, .phase_seconds.verify] | @json",
                  dir.File("log.jsonl")};
    const SProcessResult jq = RunProcess("/usr/bin/jq", jqRun);
    ASSERT_EQ(jq.nExitCode, 0) << jq.strStderr << ReadFileText(dir.File("log.jsonl"));
    EXPECT_EQ(jq.strStdout,
              "[1,\"FTDI \\\"FT232R\\\" (ttyUSB0)\\n\xC3\xBC\",\"A50285BI\","
              "\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\",true,\"C:\\\\COM3\","
              "\"verify failed\",\"0xF80203\",1.25]\n"
              "[2,null,null,\"\",false,null,\"not found\",null,null]\n");
    EXPECT_FALSE(AppendRecordLine(dir.Path(), "{}\n", strError)) << "a folder is no record file";
    EXPECT_FALSE(strError.empty());
    EXPECT_TRUE(FileSha256(dir.File("missing")).empty());
}

} // namespace
