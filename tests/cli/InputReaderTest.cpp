// The input thread on a pipe, as a script feeds orlix-cli: lines (CR LF or LF), the unterminated
// last line, the end of input, and a Stop that does not hang on a pipe still open. Built for the
// POSIX reader and, in tests/win32/cli, for the Windows one.
#include "app/cli/InputReader.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define PIPE(fds) _pipe(fds, 4096, _O_BINARY)
#define WRITE _write
#define CLOSE _close
#else
#include <unistd.h>
#define PIPE pipe
#define WRITE write
#define CLOSE close
#endif

TEST(InputReader, SplitsLinesDropsCarriageReturnsEndsWithTheEndAndStopsWhileInputIsOpen)
{
    int fds[2];
    ASSERT_EQ(PIPE(fds), 0);
    CEventQueue queue;
    CInputReader reader(queue, fds[0]);
    ASSERT_TRUE(reader.Start());
    ASSERT_EQ(WRITE(fds[1], "first\r\n\nsec", 11), 11);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(WRITE(fds[1], "ond\nlast", 8), 8);
    CLOSE(fds[1]);
    std::string strLines;
    SCliEvent event = queue.Take(true, true);
    for (; event.kind == ECliEvent::Line; event = queue.Take(true, true))
        strLines += event.strLine + "|";
    EXPECT_EQ(strLines, "first||second|last|");
    EXPECT_EQ(event.kind, ECliEvent::InputEnd);
    reader.Stop();
    CLOSE(fds[0]);

    ASSERT_EQ(PIPE(fds), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(std::make_unique<CInputReader>(queue, fds[0])->Start());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
        << "Stop hung on the open pipe";
    EXPECT_TRUE(queue.Empty());
    CLOSE(fds[0]);
    CLOSE(fds[1]);
}
