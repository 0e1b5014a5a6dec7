#include "ui/qr_code.h"

#include <qrencode.h>

#include <algorithm>
#include <memory>

namespace lingchao {

QImage QrCodeImage(const std::string& text, int moduleSize) {
    // A side of 177 modules and 8 of quiet zone: larger modules would make an image no screen shows.
    if (moduleSize < 1 || moduleSize > 64 || text.empty()) return {};
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code) return {};
    const int modules = code->width;
    const int side = (modules + 2 * kQrQuietZone) * moduleSize;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < modules; ++y) {
        for (int x = 0; x < modules; ++x) {
            // Bit 0 of each byte is the module's colour (1: dark); the other bits only describe its role.
            if ((code->data[y * modules + x] & 1) == 0) continue;
            const int left = (x + kQrQuietZone) * moduleSize;
            const int top = (y + kQrQuietZone) * moduleSize;
            for (int row = top; row < top + moduleSize; ++row) {
                std::fill_n(image.scanLine(row) + left, moduleSize, uchar{0});
            }
        }
    }
    return image;
}

}  // namespace lingchao
