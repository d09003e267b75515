// The table widget at scale: the CPU time of what the runner does per finished
// row (write the status, repaint at once, drop the top row) with a shown
// TStringGridEx over 100,000 rows, against the same over 100 rows. A ratio
// near 1 means the view's cost does not grow with the queue. CPU time rather
// than wall time, so a loaded machine still measures the work done.

#include "platform/StringGrid.h"
#include "platform/widgets/StringGridEx.h"

#include "BenchClock.h"

#include <QtWidgets/qtestsupport_widgets.h>
#include <QApplication>

#include <cstdio>
#include <ctime>

namespace {

constexpr int Steps = 300;

using bench::CpuSeconds;

// Microseconds of CPU per finished row with `rows` data rows in view.
double PerRow(int rows) {
    platform::StringGrid grid(8, rows + 1);
    for (int r = 1; r <= rows; ++r)
        for (int c = 0; c < 8; ++c)
            grid.SetCell(c, r, QStringLiteral("C:\\Data\\file%1.txt").arg(r));
    platform::TStringGridEx view(&grid);
    view.resize(900, 500);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) std::fprintf(stderr, "window not exposed\n");
    QApplication::processEvents();

    const double start = CpuSeconds();
    for (int i = 0; i < Steps; ++i) {
        grid.SetCell(7, 1, QStringLiteral("In Progress"));
        grid.Repaint();
        grid.SetCell(7, 1, QStringLiteral("Complete"));
        grid.DeleteRow(1);
        QApplication::processEvents();
    }
    return (CpuSeconds() - start) * 1e6 / Steps;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double small = PerRow(100 + Steps);
    const double large = PerRow(100000);
    std::printf("grid_view_us_per_row_100: %.1f\n", small);
    std::printf("grid_view_us_per_row_100k: %.1f\n", large);
    std::printf("grid_view_ratio_100k_vs_100: %.2f\n", large / small);
    return 0;
}
