#pragma once

#include <QImage>
#include <string>

namespace lingchao {

// The QR code of `text` (its UTF-8 bytes, error correction M) as black modules of moduleSize × moduleSize pixels
// on white, inside the quiet zone of 4 white modules a phone's reader needs to find it. Pure black and white
// only, so it stays sharp when shown 1:1. A null image when moduleSize < 1 or the text is empty or too long.
QImage QrCodeImage(const std::string& text, int moduleSize);

// The quiet zone's width in modules on each side.
constexpr int kQrQuietZone = 4;

}  // namespace lingchao
