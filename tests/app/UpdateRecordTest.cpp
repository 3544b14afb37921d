// The update record's JSON escaping of any bytes and its UTC time. Whole records, appended and
// read back with jq, are checked end to end in tests/faults/MultiUnitTest.
#include "app/core/UpdateRecord.h"

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
        EXPECT_EQ(JsonString(strIn), strOut);
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
        EXPECT_EQ(FormatUtcTime(system_clock::time_point(milliseconds(nMs))), pszText);
}

} // namespace
