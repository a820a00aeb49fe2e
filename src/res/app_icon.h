// The tool's icon, embedded in the program (drawn by scripts/make_icon.py).
#pragma once

#include <QIcon>

namespace res {

extern const unsigned char kAppIconPng[];
extern const unsigned int kAppIconPngSize;

QIcon AppIcon();

}  // namespace res
