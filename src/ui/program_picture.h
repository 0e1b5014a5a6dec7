#pragma once

#include <QPixmap>

namespace lingchao {

// The program's picture: a golden bell on a blue disc, drawn at any size.
QPixmap ProgramPicture(int size);

}  // namespace lingchao
