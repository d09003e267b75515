#pragma once
// JPEG pictures decoded through libjpeg's IJG API. A picture that does not
// decode, in part or whole, gives a null image: a broken file shows nothing
// and never ends the process (libjpeg's own error handler would exit()).

#include <QByteArray>
#include <QImage>

namespace app {

QImage DecodeJpeg(const QByteArray& data);

// Pictures larger than this are refused rather than decoded.
inline constexpr int kMaxJpegSide = 4096;
inline constexpr long long kMaxJpegPixels = 4096LL * 1024;

}  // namespace app
