// The open-file dialog's filter, from the core's classic form to wx's.
#include "app/gui/FileFilter.h"
#include "app/core/OrlixDlg.h"

#include <gtest/gtest.h>

TEST(FileFilter, ConvertsTheWizardsFilter)
{
    EXPECT_EQ(ConvertFileFilter(FIRMWARE_FILE_FILTER),
              "S format files (*.mhx, *.cnv, *.ahx)|*.mhx;*.cnv;*.ahx|All Files (*.*)|*.*");
}

TEST(FileFilter, EndsAtTheDoubleBarOrTheEnd)
{
    EXPECT_EQ(ConvertFileFilter("Text (*.txt)|*.txt"), "Text (*.txt)|*.txt");
    EXPECT_EQ(ConvertFileFilter("Text (*.txt)|*.txt||"), "Text (*.txt)|*.txt");
    EXPECT_EQ(ConvertFileFilter("Text (*.txt)|*.txt||Other|*.o|"), "Text (*.txt)|*.txt");
    EXPECT_EQ(ConvertFileFilter("Text (*.txt)|*.txt|"), "Text (*.txt)|*.txt");
}

TEST(FileFilter, CleansThePatternListsButNotTheNames)
{
    EXPECT_EQ(ConvertFileFilter("A; B (x)|  *.a ;\t*.b ; |C|*.c"), "A; B (x)|*.a;*.b|C|*.c");
    EXPECT_EQ(ConvertFileFilter("A|*.a;;*.b|"), "A|*.a;*.b");
}

TEST(FileFilter, DropsIncompleteAndEmptyEntries)
{
    EXPECT_EQ(ConvertFileFilter(""), "");
    EXPECT_EQ(ConvertFileFilter("||"), "");
    EXPECT_EQ(ConvertFileFilter("Lonely name"), "");
    EXPECT_EQ(ConvertFileFilter("A|*.a|Name without patterns"), "A|*.a");
    EXPECT_EQ(ConvertFileFilter("Empty| ; |B|*.b"), "B|*.b");
    EXPECT_EQ(ConvertFileFilter("|*.a"), "|*.a"); // an empty name still filters
}
