// SPDX-License-Identifier: MIT
// The names of the form's views and controls: the form gives them, and the command line
// and the tests, which set the form through the display as a user would, find the controls
// by them.
#pragma once

namespace orv::form {

inline constexpr const char* kView = "Orvane_view";
inline constexpr const char* kTitle = "MainText";
inline constexpr const char* kCredit = "AuthorText";
inline constexpr const char* kStatusBar = "StatusBar";
inline constexpr const char* kScaleX = "BT_ScaleX";
inline constexpr const char* kScaleY = "BT_ScaleY";
inline constexpr const char* kKeepRatio = "CB_KeepRatio";
inline constexpr const char* kSmooth = "CB_Smooth";
inline constexpr const char* kRemoveOldExtension = "CB_DelExt";
inline constexpr const char* kAddNewExtension = "CB_AddExt";
inline constexpr const char* kTrash = "RB_Trash";
inline constexpr const char* kKeep = "RB_Keep";
inline constexpr const char* kErase = "RB_Erase";
inline constexpr const char* kFilterMenu = "M_Filter";
inline constexpr const char* kFormatMenu = "M_Translator";
inline constexpr const char* kAdvanced = "BAdvanced";
inline constexpr const char* kConvert = "BValider";

}  // namespace orv::form
