#include "serial/EnumPorts.h"

#include <algorithm>

std::string DescriptionFromFriendlyName(const std::string& strFriendlyName)
{
    const size_t nOpen = strFriendlyName.find(" (");
    const size_t nClose = strFriendlyName.find(')');
    if (nOpen != std::string::npos && nOpen > 0 && nClose != std::string::npos &&
        nClose == strFriendlyName.size() - 1)
        return strFriendlyName.substr(0, nOpen);
    return strFriendlyName;
}

void FinishPortList(std::vector<SSerInfo>& list, bool bProbe, std::vector<SPortProbeFailure>* pFailures,
                    const PortProbeFn& probe)
{
    for (size_t i = 0; i < list.size();)
    {
        SSerInfo& info = list[i];
        if (bProbe)
        {
            if (const uint32_t dwError = probe(info.devicePath); dwError != 0)
            {
                if (pFailures != nullptr)
                    pFailures->push_back({info.devicePath, static_cast<int>(dwError)});
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
        }
        if (info.friendlyName.empty())
            info.friendlyName = info.shortName;
        if (info.description.empty())
            info.description = DescriptionFromFriendlyName(info.friendlyName);
        ++i;
    }
}

void EnumerateSerialPorts(std::vector<SSerInfo>& list, const std::vector<std::string>& devicePaths,
                          bool bProbe, std::vector<SPortProbeFailure>* pFailures)
{
    list.clear();
    if (pFailures != nullptr)
        pFailures->clear();
    for (const std::string& strPath : devicePaths)
    {
        // A port named twice is searched once: two sessions of one run on one device would
        // wait for each other's port lock.
        if (std::any_of(list.begin(), list.end(), [&](const SSerInfo& i) { return i.devicePath == strPath; }))
            continue;
        SSerInfo info;
        info.devicePath = strPath;
        info.shortName = strPath;
        info.friendlyName = strPath;
        list.push_back(info);
    }
    FinishPortList(list, bProbe, pFailures, &ProbeListedPort);
}
