// Texts between the tool's 8-bit strings and Qt. Window texts are 8-bit
// ANSI (Latin-1 here): a character that has no 8-bit form becomes '?'.
// File paths use the system's own encoding instead, so any file can be named.
//
// Thread contract: plain functions, any thread.
#pragma once

#include <string>
#include <string_view>

#include <QString>

namespace ui {

QString ToQt(std::string_view text);
std::string FromQt(const QString& text);

QString PathToQt(std::string_view path);
std::string PathFromQt(const QString& path);

}  // namespace ui
