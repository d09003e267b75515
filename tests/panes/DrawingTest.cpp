#include "PaneFixture.h"

#include "platform/widgets/Icons.h"

#include <QImage>

using namespace panetest;

namespace {

class DrawingTest : public PaneTest {};

TEST_F(DrawingTest, CheckColumnKeepsTheBackgroundOnTheSelectedRow) {
    drives.writeFile("C:\\a.txt", "x");
    drives.writeFile("C:\\b.txt", "x");
    auto list = Shown<panes::TCheckFileListBoxEx>(200, 100);
    list->SetDirectory("C:\\");
    list->SetItemIndex(1);
    const QImage image = list->viewport()->grab().toImage();
    const int y = list->ItemRect(1).center().y();
    const QColor base = list->palette().color(QPalette::Base);
    const QColor highlight = list->palette().color(QPalette::Highlight);
    EXPECT_EQ(image.pixelColor(17, y), base);
    EXPECT_EQ(image.pixelColor(0, y), base);
    EXPECT_EQ(image.pixelColor(18, list->ItemRect(1).top()), highlight);
    EXPECT_EQ(image.pixelColor(image.width() - 3, y), highlight);
    EXPECT_EQ(image.pixelColor(image.width() - 3, list->ItemRect(0).center().y()), base);
}

TEST_F(DrawingTest, FileIconsComeFromTheNameAlone) {
    // A directory entry is looked up by its text: an unknown type, not a folder.
    const QIcon bracketed = platform::FileIcon("[Photos]");
    ASSERT_FALSE(bracketed.name().isEmpty()) << "no icon theme found";
    EXPECT_EQ(bracketed.name(), platform::FileIcon("x.no-such-type").name());
    EXPECT_NE(bracketed.name(), platform::FolderClosedIcon().name());
    EXPECT_FALSE(platform::FileIcon("notes.txt").isNull());
    // A name that does not exist anywhere still gets its type's icon.
    EXPECT_EQ(platform::FileIcon("/nowhere/at/all/song.mp3").name(),
              platform::FileIcon("other.mp3").name());
}

}  // namespace
