#pragma once
// Reading the number in front of Outlook's version text.
#include <string>

namespace corvanta {

// The leading major.minor number of an OutlookVersion text ("9.0.0.2711"
// gives 9.0); host::Error when the text does not begin with a number.
double ParseOutlookVersion(const std::string& text);

}  // namespace corvanta
