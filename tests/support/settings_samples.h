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

// A record in which every list has a selection and every value suits `use`.
settings::DeviceSettings RandomSettings(std::mt19937& rng, SampleUse use);

}  // namespace test_support
