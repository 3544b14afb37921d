// The Windows input thread on a pipe, as a script feeds orlix-cli.exe: lines (CR LF or LF), the
// unterminated last line, the end of input, and a Stop that does not hang on a pipe still open.
#include "app/cli/InputReader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <memory>
#include <thread>

TEST(WinInputReader, SplitsLinesEndsWithTheEndAndStopsWhileInputIsOpen)
{
    int fds[2];
    ASSERT_EQ(_pipe(fds, 4096, _O_BINARY), 0);
    CEventQueue queue;
    CInputReader reader(queue, fds[0]);
    ASSERT_TRUE(reader.Start());
    ASSERT_EQ(_write(fds[1], "first\r\n\nsec", 11), 11);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(_write(fds[1], "ond\nlast", 8), 8);
    _close(fds[1]);
    std::string strLines;
    SCliEvent event = queue.Take(true, true);
    for (; event.kind == ECliEvent::Line; event = queue.Take(true, true))
    {
        strLines += event.strLine + "|";
    }
    EXPECT_EQ(strLines, "first||second|last|");
    EXPECT_EQ(event.kind, ECliEvent::InputEnd);
    reader.Stop();
    _close(fds[0]);

    ASSERT_EQ(_pipe(fds, 4096, _O_BINARY), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(std::make_unique<CInputReader>(queue, fds[0])->Start());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
        << "Stop hung on the open pipe";
    EXPECT_TRUE(queue.Empty());
    _close(fds[0]);
    _close(fds[1]);
}
