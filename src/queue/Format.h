#pragma once
// The short texts byte and second counts are shown with, everywhere.

#include <QString>

#include <cstdint>

namespace queue {

QString FormatSize(std::int64_t bytes);
QString FormatDuration(std::int64_t seconds);
// Four significant digits at most, thousands grouping, 0 or 2 decimals.
QString FormatFigure(double value, int decimals);

}  // namespace queue
