#include "app/core/UpdateRecord.h"

#include "firmware/Sha256.h"

#include <cstdio>
#include <fstream>
#include <vector>

namespace
{

// Length of the valid UTF-8 sequence starting at p (at most nLeft bytes), or 0 when it is not
// one: no overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t Utf8Length(const unsigned char* p, std::size_t nLeft)
{
    const unsigned char by = p[0];
    std::size_t nLength = 0;
    uint32_t dwMin = 0;
    uint32_t dwCode = 0;
    if (by >= 0xC2 && by <= 0xDF)
    {
        nLength = 2;
        dwMin = 0x80;
        dwCode = by & 0x1Fu;
    }
    else if (by >= 0xE0 && by <= 0xEF)
    {
        nLength = 3;
        dwMin = 0x800;
        dwCode = by & 0x0Fu;
    }
    else if (by >= 0xF0 && by <= 0xF4)
    {
        nLength = 4;
        dwMin = 0x10000;
        dwCode = by & 0x07u;
    }
    else
    {
        return 0;
    }
    if (nLeft < nLength)
    {
        return 0;
    }
    for (std::size_t i = 1; i < nLength; ++i)
    {
        if ((p[i] & 0xC0u) != 0x80u)
        {
            return 0;
        }
        dwCode = (dwCode << 6) | (p[i] & 0x3Fu);
    }
    const bool bSurrogate = dwCode >= 0xD800 && dwCode <= 0xDFFF;
    return dwCode < dwMin || bSurrogate || dwCode > 0x10FFFF ? 0 : nLength;
}

void AppendEscape(std::string& strOut, unsigned nCode)
{
    char sz[8];
    std::snprintf(sz, sizeof sz, "\\u%04X", nCode);
    strOut += sz;
}

std::string Seconds(double dSeconds)
{
    char sz[32];
    std::snprintf(sz, sizeof sz, "%.3f", dSeconds < 0 ? 0.0 : dSeconds);
    return sz;
}

// Builds "{"key":value,...}" one member at a time.
class CJsonObject
{
public:
    CJsonObject& Raw(const char* pszKey, const std::string& strJson)
    {
        m_strText += m_strText.empty() ? "{" : ",";
        m_strText += JsonString(pszKey) + ":" + strJson;
        return *this;
    }
    CJsonObject& Text(const char* pszKey, std::string_view text) { return Raw(pszKey, JsonString(text)); }
    CJsonObject& Number(const char* pszKey, long long nValue) { return Raw(pszKey, std::to_string(nValue)); }
    CJsonObject& Bool(const char* pszKey, bool bValue) { return Raw(pszKey, bValue ? "true" : "false"); }
    std::string Close() const { return m_strText.empty() ? "{}" : m_strText + "}"; }

private:
    std::string m_strText;
};

} // namespace

std::string JsonString(std::string_view bytes)
{
    std::string strOut = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t nSize = bytes.size();
    for (std::size_t i = 0; i < nSize;)
    {
        const unsigned char by = p[i];
        if (by == '"' || by == '\\')
        {
            strOut += '\\';
            strOut += static_cast<char>(by);
            ++i;
        }
        else if (by == '\n')
        {
            strOut += "\\n";
            ++i;
        }
        else if (by == '\t')
        {
            strOut += "\\t";
            ++i;
        }
        else if (by < 0x20 || by == 0x7F)
        {
            AppendEscape(strOut, by);
            ++i;
        }
        else if (by < 0x80)
        {
            strOut += static_cast<char>(by);
            ++i;
        }
        else if (const std::size_t nLength = Utf8Length(p + i, nSize - i); nLength > 0)
        {
            strOut.append(bytes.substr(i, nLength));
            i += nLength;
        }
        else
        {
            AppendEscape(strOut, by);
            ++i;
        }
    }
    return strOut + "\"";
}

std::string FormatUtcTime(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    const long long nDays = (ms >= 0 ? ms : ms - 86'399'999) / 86'400'000;
    const long long nMsOfDay = ms - nDays * 86'400'000;
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
    const long long z = nDays + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long nDay = doy - (153 * mp + 2) / 5 + 1;
    const long long nMonth = mp < 10 ? mp + 3 : mp - 9;
    const long long nYear = yoe + era * 400 + (nMonth <= 2 ? 1 : 0);
    char sz[96];
    std::snprintf(sz, sizeof sz, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", nYear, nMonth, nDay,
                  nMsOfDay / 3'600'000, nMsOfDay / 60'000 % 60, nMsOfDay / 1000 % 60, nMsOfDay % 1000);
    return sz;
}

std::string FileSha256(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    if (!file)
    {
        return {};
    }
    CSha256 sha;
    std::vector<char> buffer(64 * 1024);
    while (file)
    {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize nGot = file.gcount();
        if (nGot > 0)
        {
            sha.Update(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<std::size_t>(nGot));
        }
    }
    if (!file.eof())
    {
        return {};
    }
    return CSha256::ToHex(sha.Final());
}

std::string FormatUpdateRecord(const SUpdateRecord& record)
{
    CJsonObject port;
    if (!record.strPortPath.empty())
    {
        port.Text("path", record.strPortPath).Text("name", record.strPortName);
        if (!record.strPortSerial.empty())
        {
            port.Text("serial", record.strPortSerial);
        }
    }
    CJsonObject firmware;
    firmware.Text("path", record.strFirmwarePath)
        .Text("sha256", record.strFirmwareSha256)
        .Text("name", record.strFirmwareName)
        .Text("version", record.strFirmwareVersion)
        .Text("processor", record.strProcessor);
    std::string strPorts = "[";
    for (const std::string& strPort : record.ports)
    {
        strPorts += (strPorts.size() > 1 ? "," : "") + JsonString(strPort);
    }
    CJsonObject options;
    options.Bool("a", record.bAuto)
        .Bool("r", record.bRepeat)
        .Bool("g", record.bGroup)
        .Bool("v", record.bVerify)
        .Raw("p", strPorts + "]");
    CJsonObject result;
    result.Text("outcome", record.strOutcome)
        .Number("code", record.nResult)
        .Text("text", record.strResultText);
    if (record.firstDifference)
    {
        char sz[16];
        std::snprintf(sz, sizeof sz, "0x%06X", *record.firstDifference);
        result.Text("first_difference", sz);
    }
    CJsonObject phases;
    for (const auto& [strName, dSeconds] : record.phases)
    {
        phases.Raw(strName.c_str(), Seconds(dSeconds));
    }
    CJsonObject line;
    line.Text("time", FormatUtcTime(record.time))
        .Number("attempt", record.nAttempt)
        .Raw("port", record.strPortPath.empty() ? "null" : port.Close())
        .Raw("firmware", firmware.Close())
        .Raw("options", options.Close())
        .Raw("result", result.Close())
        .Raw("phase_seconds", phases.Close())
        .Number("blocks_written", record.dwBlocksWritten)
        .Number("crc_retries", record.dwCrcRetries)
        .Bool("verified", record.bVerified);
    return line.Close() + "\n";
}
