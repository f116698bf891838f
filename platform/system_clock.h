#pragma once
// The machine's clock and the user's date format.

#include "core/clock.h"

namespace dorvane {

class SystemClock final : public Clock {
public:
    LocalTime Now() override;
    std::string FormatGeneralDate(const LocalTime& time) override;
};

}  // namespace dorvane
