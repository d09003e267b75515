#include "app/JpegImage.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace app {

namespace {

// A failure anywhere inside libjpeg jumps back to Decode. Everything the jump
// crosses is libjpeg's C code; the state it leaves lives in Decoder, which
// belongs to the caller's frame, so nothing with a destructor is skipped and
// nothing Decode reads after the jump is a local changed since setjmp.
struct Decoder {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
};

constexpr int kMaxScans = 100;

[[noreturn]] void Fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<Decoder*>(info->client_data)->jump, 1);
}

// Warnings (corrupt data, a premature end) make the picture broken too: a
// half-grey banner is worse than none.
void OnMessage(j_common_ptr info, int level) {
    if (level < 0) Fail(info);
}

// Crafted progressive files can hold thousands of scans, each a pass over
// the whole picture; no real banner needs more than a few.
void OnProgress(j_common_ptr info) {
    if (info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans)
        Fail(info);
}

bool Decode(Decoder* d, const QByteArray* data, QImage* image) {
    d->info.err = jpeg_std_error(&d->errors);
    // Before creation: a failure while creating already jumps through it.
    d->info.client_data = d;
    d->errors.error_exit = Fail;
    d->errors.emit_message = OnMessage;
    d->errors.output_message = [](j_common_ptr) {};
    if (setjmp(d->jump)) {
        jpeg_destroy_decompress(&d->info);
        return false;
    }
    jpeg_create_decompress(&d->info);
    d->progress.progress_monitor = OnProgress;
    d->info.progress = &d->progress;
    jpeg_mem_src(&d->info, reinterpret_cast<const unsigned char*>(data->constData()),
                 static_cast<unsigned long>(data->size()));
    jpeg_read_header(&d->info, TRUE);
    if (d->info.image_width > static_cast<JDIMENSION>(kMaxJpegSide) ||
        d->info.image_height > static_cast<JDIMENSION>(kMaxJpegSide) ||
        static_cast<long long>(d->info.image_width) * d->info.image_height > kMaxJpegPixels) {
        jpeg_destroy_decompress(&d->info);
        return false;
    }
    d->info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d->info);
    *image = QImage(static_cast<int>(d->info.output_width), static_cast<int>(d->info.output_height),
                    QImage::Format_RGB888);
    if (image->isNull() || d->info.output_components != 3) {
        jpeg_destroy_decompress(&d->info);
        return false;
    }
    // QImage pads its rows, so each scanline goes straight into its own row.
    while (d->info.output_scanline < d->info.output_height) {
        JSAMPROW row = image->scanLine(static_cast<int>(d->info.output_scanline));
        jpeg_read_scanlines(&d->info, &row, 1);
    }
    jpeg_finish_decompress(&d->info);
    jpeg_destroy_decompress(&d->info);
    return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
    if (data.isEmpty()) return {};
    Decoder decoder;
    QImage image;
    if (!Decode(&decoder, &data, &image)) return {};
    return image;
}

}  // namespace app
