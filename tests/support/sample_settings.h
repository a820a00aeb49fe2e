// The sample settings records the tests, the screenshot tools and the
// settings benchmark share, written out once.
#pragma once

#include "settings/device_settings.h"

namespace test_support {

// A record with a value in every setting and every switch on.
settings::DeviceSettings SampleSettings();

// The dialog's start values with message 1 of the worked example filled in:
// 1,120,30,60,0,60,600,5,Unit7,+8.00,8,60,0,10,3,2,0,1,30,0, (extended layout,
// motion report times 3 in the basic one). It is the sample's message 1 with
// the cell ID, the NMEA format and the echo off; messages 2 to 4 stay empty.
settings::DeviceSettings WorkedExampleMessage1();

}  // namespace test_support
