#include "serial/SerialException.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

TEST(SerialExceptionMessage, KnownCodeGivesTheSystemText)
{
    const CSerialException ex(EACCES);
    char szBuf[256];
    unsigned nHelp = 77;
    EXPECT_TRUE(ex.GetErrorMessage(szBuf, sizeof szBuf, &nHelp));
    EXPECT_STREQ(szBuf, std::strerror(EACCES));
    EXPECT_EQ(nHelp, 0u);
    EXPECT_EQ(ex.GetErrorMessage(), std::strerror(EACCES));
    EXPECT_STREQ(ex.what(), std::strerror(EACCES));
}

TEST(SerialExceptionMessage, CodesWithoutTextGiveEmptyTextAndFalse)
{
    for (const uint32_t code : {0u, 99999u, 0x80000000u, 0xFFFFFFFFu})
    {
        const CSerialException ex(code);
        char szBuf[64];
        std::strcpy(szBuf, "stale");
        unsigned nHelp = 5;
        EXPECT_FALSE(ex.GetErrorMessage(szBuf, sizeof szBuf, &nHelp)) << code;
        EXPECT_STREQ(szBuf, "") << code;
        EXPECT_EQ(nHelp, 0u);
        EXPECT_EQ(ex.GetErrorMessage(), "") << code;
        EXPECT_STRNE(ex.what(), ""); // what() always says something
    }
}

TEST(SerialExceptionMessage, SmallBuffersAreCutAndTerminated)
{
    const CSerialException ex(EACCES);
    const std::string strFull = std::strerror(EACCES);

    char szOne[1] = {'x'};
    EXPECT_TRUE(ex.GetErrorMessage(szOne, 1));
    EXPECT_EQ(szOne[0], '\0');

    char szFive[8];
    std::memset(szFive, 'x', sizeof szFive);
    EXPECT_TRUE(ex.GetErrorMessage(szFive, 5));
    EXPECT_EQ(std::string(szFive), strFull.substr(0, 4));
    EXPECT_EQ(szFive[5], 'x'); // nothing written past the given size

    EXPECT_FALSE(ex.GetErrorMessage(nullptr, 10));
    char szUntouched[4] = {'a', 'b', 'c', '\0'};
    EXPECT_FALSE(ex.GetErrorMessage(szUntouched, 0));
    EXPECT_STREQ(szUntouched, "abc");
}

TEST(SerialExceptionThrow, ZeroTakesErrnoAndOtherCodesAreKept)
{
    errno = ENOENT;
    try
    {
        ThrowSerialException();
        FAIL() << "no exception";
    }
    catch (const CSerialException& ex)
    {
        EXPECT_EQ(ex.m_errorCode, static_cast<uint32_t>(ENOENT));
    }
    errno = ENOENT;
    try
    {
        ThrowSerialException(EBUSY);
        FAIL() << "no exception";
    }
    catch (const std::exception& ex) // catchable as a standard exception, too
    {
        EXPECT_EQ(dynamic_cast<const CSerialException&>(ex).m_errorCode, static_cast<uint32_t>(EBUSY));
    }
}
