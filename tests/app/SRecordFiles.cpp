#include "tests/app/SRecordFiles.h"

#include <cstdio>

std::string SRecordLine(int nType, uint32_t dwAddress, const std::vector<uint8_t>& data)
{
    const int nAddressBytes = nType == 3 || nType == 7 ? 4 : (nType == 2 || nType == 8 ? 3 : 2);
    std::vector<uint8_t> body;
    body.push_back(static_cast<uint8_t>(nAddressBytes + static_cast<int>(data.size()) + 1));
    for (int i = nAddressBytes - 1; i >= 0; --i)
    {
        body.push_back(static_cast<uint8_t>(dwAddress >> (8 * i)));
    }
    body.insert(body.end(), data.begin(), data.end());
    unsigned nSum = 0;
    for (uint8_t byte : body)
    {
        nSum += byte;
    }
    body.push_back(static_cast<uint8_t>(~nSum));
    std::string strLine = "S" + std::to_string(nType);
    for (uint8_t byte : body)
    {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        strLine += hex;
    }
    return strLine + "\n";
}

std::string FirmwareText(const std::string& strProcessor, const std::string& strName,
                         const std::string& strVersion)
{
    std::vector<uint8_t> ident(48, 0);
    const std::string fields[3] = {strProcessor, strVersion, strName};
    for (std::size_t nField = 0; nField < 3; ++nField)
    {
        for (std::size_t i = 0; i < fields[nField].size() && i < 16; ++i)
        {
            ident[nField * 16 + i] = static_cast<uint8_t>(fields[nField][i]);
        }
    }
    std::vector<uint8_t> code;
    for (int i = 0; i < 32; ++i)
    {
        code.push_back(static_cast<uint8_t>(i * 7 + 1));
    }
    // At most 32 data bytes per record.
    return SRecordLine(0, 0, {'t', 'e', 's', 't'}) + SRecordLine(2, 0xF80000, code) +
           SRecordLine(2, 0xFF8000, std::vector<uint8_t>(ident.begin(), ident.begin() + 32)) +
           SRecordLine(2, 0xFF8020, std::vector<uint8_t>(ident.begin() + 32, ident.end())) +
           SRecordLine(8, 0xF80000, {});
}
