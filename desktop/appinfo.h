// Fixed texts of the desktop program: its title, version caption and the
// maker's web address (also handed to the library as the PDF producer).
#pragma once

namespace zentro {

inline constexpr const char* kAppTitle = "Zentro PDF";
inline constexpr const char* kVersionText = "Version 1.0";
inline constexpr const char* kMainCaption = "Zentro PDF - Version 1.0";
inline constexpr const char* kMakerWeb = "www.zentropdf.example";
inline constexpr const char* kTempImageName = "OVINPDF.TMP";

} // namespace zentro
