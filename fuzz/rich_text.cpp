// Arbitrary markup through the renderer: measuring must end, in bounded time,
// without touching memory it does not own, whatever the text holds.
#include "app/richtext/RichText.h"
#include "platform/widgets/Fonts.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>

namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "fuzz_rich_text";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    App();
    static const QFont font = platform::ProgramFont();
    static const QList<QPixmap> images = [] {
        QPixmap pm(8, 8);
        pm.fill(Qt::red);
        return QList<QPixmap>{pm};
    }();
    // Qt trims its font caches on a timer; without an event loop they would
    // only grow, so let the timers run now and then.
    static unsigned runs = 0;
    if (++runs % 256 == 0) QCoreApplication::processEvents();
    if (size < 2) return 0;
    // The first two bytes choose the rectangle's width and the options; the
    // rest is the markup, 8-bit characters as the program's texts are.
    const int width = int(data[0]) * 4 - 8;
    const uint8_t flags = data[1];
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));

    app::RichTextOptions options;
    options.mode = app::RichMode::MeasureOnly;
    options.wrap = (flags & 1) ? app::RichWrap::Off : app::RichWrap::On;
    options.pointer = QPoint(int(flags >> 1) * 3, int(flags >> 4) * 5);
    options.images = (flags & 2) ? &images : nullptr;
    options.pictureScale = (flags & 4) ? 2.5 : 1.0;
    const QRect rect(0, 0, width, 200);
    const app::RichTextResult m = app::MeasureRichText(font, text, rect, options);
    if (m.height <= 0 || m.width < 0) __builtin_trap();

    // Drawing walks the same layout; keep it to small inputs so one case
    // stays quick.
    if (size <= 512) {
        QImage canvas(96, 48, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter p(&canvas);
        p.setFont(font);
        options.mode = app::RichMode::Draw;
        app::DrawRichText(p, text, QRect(2, 2, std::max(width, 0) % 120, 40), options);
    }
    return 0;
}
