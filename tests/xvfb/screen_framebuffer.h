// The pixels a monitor would show: Xvfb's framebuffer, which the server
// keeps in a file in XWD form when started with -fbdir DIR
// (DIR/Xvfb_screen0). Reading it needs no X request, so no screenshot tool's
// way of putting windows together comes between the screen and the check.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

namespace xvfb {

// The part `area` (screen coordinates) of the framebuffer in `path`, or a
// null image when the file is missing or not a 24/32-bit ZPixmap dump.
QImage ReadFramebuffer(const QString& path, const QRect& area);

}  // namespace xvfb
