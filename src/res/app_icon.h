// The tool's icon, embedded in the program as PNG bytes (drawn by
// scripts/make_icon.py).
#pragma once

namespace res {

extern const unsigned char kAppIconPng[];
extern const unsigned int kAppIconPngSize;

}  // namespace res
