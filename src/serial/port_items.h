// Items of the main window's port list: the port name followed by a colon
// ("COM4:", "ttyUSB0:", "/dev/pts/5:"), held in a 16-character buffer, so a
// port name has at most 14 characters. Every user of an item strips the
// colon again before it opens the port.
//
// Thread contract: plain functions, any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/port_enum.h"

// The item buffer, its NUL included.
constexpr std::size_t PORT_ITEM_BUFFER = 16;
constexpr std::size_t PORT_NAME_MAX = PORT_ITEM_BUFFER - 2;

// "COM4" gives "COM4:". Empty when the name is empty or does not fit the
// buffer: a port name is never cut, since a cut name would open another port.
std::string PortItemText(std::string_view portName);

// The items for the tracker ports among `ports`, in their order: ports whose
// friendly name holds the tracker mark and names a port in parentheses.
// Names that do not fit an item are skipped.
std::vector<std::string> TrackerPortItems(const std::vector<platform::PortInfo>& ports);

// The port name of an item: its text without the trailing colons.
std::string PortNameFromItem(std::string_view item);
