// Random settings records for round-trip tests, from a seeded generator so
// that a failure repeats.
#pragma once

#include <random>

#include "settings/device_settings.h"

namespace test_support {

enum class SampleUse {
  Message,  // values a tracker message can carry, every message within its size
  File,     // values a settings file keeps exactly: up to 255 characters, no
            // CR, LF or NUL, no blanks at the ends, no enclosing quotes
};

// The dialog's start values with message 1 of the worked example filled in:
// 1,120,30,60,0,60,600,5,Unit7,+8.00,8,60,0,10,3,2,0,1,30,0, (extended layout,
// motion report times 3 in the basic one). Messages 2 to 4 stay empty.
settings::DeviceSettings WorkedExampleMessage1();

// A record in which every list has a selection and every value suits `use`.
settings::DeviceSettings RandomSettings(std::mt19937& rng, SampleUse use);

}  // namespace test_support
