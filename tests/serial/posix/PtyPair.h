#pragma once
// A pseudo-terminal for port tests: the port class opens the slave by name, the test plays the
// far end on the master.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class CPtyPair
{
public:
    // Throws std::runtime_error when no pty can be had.
    CPtyPair();
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;
    ~CPtyPair();

    const std::string& SlaveName() const { return m_strSlave; }
    int Master() const { return m_master; }

    // Writes everything to the master (the port reads it).
    void Send(const std::vector<uint8_t>& data) const;
    void Send(const std::string& strText) const;
    // Reads from the master until nCount bytes came or the time-out passed.
    std::vector<uint8_t> Receive(size_t nCount, std::chrono::milliseconds timeout) const;
    // The far end goes away: the slave is hung up.
    void CloseMaster();

private:
    int m_master = -1;
    std::string m_strSlave;
};

// A temporary folder, removed with everything in it.
class CTempFolder
{
public:
    CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;
    ~CTempFolder();
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};
