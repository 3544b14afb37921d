#pragma once
// The error of a failed serial-port operation: the system error code of the call that failed.
// Thrown by value, caught by reference. The text comes from the system on request.
#include <cstdint>
#include <exception>
#include <string>

class CSerialException : public std::exception
{
public:
    explicit CSerialException(uint32_t errorCode) noexcept;

    // The system's text for m_errorCode into pszBuf (at most nSize - 1 characters and a NUL).
    // False and the empty text when the system has no text for the code (0 or unknown codes).
    // *pnHelpContext, when given, becomes 0.
    virtual bool GetErrorMessage(char* pszBuf, unsigned nSize, unsigned* pnHelpContext = nullptr) const;
    // The same text as a string; empty when there is none.
    std::string GetErrorMessage() const;

    const char* what() const noexcept override;

    uint32_t m_errorCode = 0;

private:
    char m_szWhat[96] = {};
};

// Throws CSerialException with the code; 0 takes the calling thread's last system error
// (errno; GetLastError on Windows).
[[noreturn]] void ThrowSerialException(uint32_t errorCode = 0);
