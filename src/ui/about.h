#pragma once

#include "version.h"

// Who made the program: shown by About and in the status bar, kept here once.
namespace tavolin {

inline constexpr const char* kProgramVersionLine = "Tavolin Version " TAVOLIN_VERSION;
inline constexpr const char* kWindowCaption = "Tavolin  Version " TAVOLIN_VERSION;
inline constexpr const char* kDeveloperName = "Tavolin developers";
inline constexpr const char* kHomePage = "https://tavolin.example.org";

} // namespace tavolin
